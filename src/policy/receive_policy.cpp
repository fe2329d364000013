#include "policy/receive_policy.h"

#include <mutex>

std::atomic<int> askMilliseconds{kAskMilliseconds};

namespace {
std::mutex lock;
AcceptFrom choice = AcceptFrom::Everyone;
std::vector<SenderRange> listedSenders;

// Few hosts are declined within one half minute; when more are, the oldest is forgotten
// first, which can only let it ask once more.
constexpr int kDeclinedKept = 32;
struct Declined {
    uint32_t address = 0;
    uint32_t at = 0;
    bool used = false;
};
Declined declined[kDeclinedKept];

bool stillDeclined(const Declined& d, uint32_t now) { return d.used && now - d.at < kDeclinedMilliseconds; }
}  // namespace

AcceptFrom acceptFromStored(uint32_t value) {
    return value <= static_cast<uint32_t>(AcceptFrom::Nobody) ? static_cast<AcceptFrom>(value) : AcceptFrom::Nobody;
}

void setReceivePolicy(AcceptFrom newChoice, const std::vector<SenderRange>& listed) {
    std::lock_guard<std::mutex> guard(lock);
    choice = newChoice;
    listedSenders = listed;
}

AcceptFrom receivePolicyChoice() {
    std::lock_guard<std::mutex> guard(lock);
    return choice;
}

Refusal refusalOnArrival(uint32_t address, uint32_t now) {
    std::lock_guard<std::mutex> guard(lock);
    if (choice == AcceptFrom::Nobody) return Refusal::Paused;
    if (choice == AcceptFrom::Listed && !senderListed(listedSenders, address)) return Refusal::NotListed;
    if (choice == AcceptFrom::Ask)
        for (const Declined& d : declined)
            if (d.address == address && stillDeclined(d, now)) return Refusal::DeclinedRecently;
    return Refusal::None;
}

void rememberDeclined(uint32_t address, uint32_t now) {
    std::lock_guard<std::mutex> guard(lock);
    Declined* slot = nullptr;
    for (Declined& d : declined)
        if (d.used && d.address == address) slot = &d;
    for (Declined& d : declined)
        if (!slot && !stillDeclined(d, now)) slot = &d;
    if (!slot) {
        slot = &declined[0];
        for (Declined& d : declined)
            if (now - d.at > now - slot->at) slot = &d;  // the oldest
    }
    *slot = Declined{address, now, true};
}

void forgetDeclined() {
    std::lock_guard<std::mutex> guard(lock);
    for (Declined& d : declined) d = Declined{};
}
