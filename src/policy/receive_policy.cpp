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
    bool stopped = false;  // its transfer was stopped here, rather than declined
    std::string id;        // the stopped trusted computer's key
};
Declined declined[kDeclinedKept];

// The browsers the user said yes to, oldest first; forgetting one only asks it again.
constexpr int kBrowsersKept = 16;
std::vector<uint32_t> acceptedBrowsers;

bool stillDeclined(const Declined& d, uint32_t now) { return d.used && now - d.at < kDeclinedMilliseconds; }

bool sameList(const std::vector<SenderRange>& a, const std::vector<SenderRange>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].network != b[i].network || a[i].mask != b[i].mask) return false;
    return true;
}

bool browserAccepted(uint32_t address) {
    for (uint32_t a : acceptedBrowsers)
        if (a == address) return true;
    return false;
}

bool declinedRecently(uint32_t address, uint32_t now, bool stopped) {
    for (const Declined& d : declined)
        if (d.address == address && d.stopped == stopped && stillDeclined(d, now)) return true;
    return false;
}

// A stopped computer is known by its key wherever it comes from, and by its address.
bool stoppedRecently(uint32_t address, const std::string& id, uint32_t now) {
    for (const Declined& d : declined)
        if (d.stopped && stillDeclined(d, now) && (d.address == address || (!id.empty() && d.id == id))) return true;
    return false;
}

void remember(uint32_t address, uint32_t now, bool stopped, const std::string& id = std::string()) {
    Declined* slot = nullptr;
    for (Declined& d : declined)
        if (d.used && d.address == address && d.stopped == stopped && d.id == id) slot = &d;
    for (Declined& d : declined)
        if (!slot && !stillDeclined(d, now)) slot = &d;
    if (!slot) {
        slot = &declined[0];
        for (Declined& d : declined)
            if (now - d.at > now - slot->at) slot = &d;  // the oldest
    }
    *slot = Declined{address, now, true, stopped, id};
}
}  // namespace

AcceptFrom acceptFromStored(uint32_t value) {
    return value <= static_cast<uint32_t>(AcceptFrom::TrustedOnly) ? static_cast<AcceptFrom>(value)
                                                                   : AcceptFrom::Nobody;
}

void setReceivePolicy(AcceptFrom newChoice, const std::vector<SenderRange>& listed) {
    std::lock_guard<std::mutex> guard(lock);
    if (newChoice != choice || !sameList(listed, listedSenders)) acceptedBrowsers.clear();
    choice = newChoice;
    listedSenders = listed;
}

AcceptFrom receivePolicyChoice() {
    std::lock_guard<std::mutex> guard(lock);
    return choice;
}

bool refuses(Verdict verdict) { return verdict != Verdict::Allowed && verdict != Verdict::Ask; }

Verdict receiveVerdict(uint32_t address, uint32_t now, bool byBrowser, bool trusted, const std::string& id) {
    std::lock_guard<std::mutex> guard(lock);
    if (trusted && stoppedRecently(address, id, now)) return Verdict::StoppedRecently;
    switch (choice) {
        case AcceptFrom::Everyone: return Verdict::Allowed;
        case AcceptFrom::Listed:
            return trusted || senderListed(listedSenders, address) ? Verdict::Allowed : Verdict::NotListed;
        case AcceptFrom::TrustedOnly: return trusted ? Verdict::Allowed : Verdict::NotTrusted;
        case AcceptFrom::TrustedWithoutAsking:
            if (trusted) return Verdict::Allowed;
            [[fallthrough]];
        case AcceptFrom::Ask:
            if (byBrowser && browserAccepted(address)) return Verdict::Allowed;
            return declinedRecently(address, now, false) ? Verdict::DeclinedRecently : Verdict::Ask;
        default: return Verdict::Paused;
    }
}

void rememberBrowserAccepted(uint32_t address) {
    std::lock_guard<std::mutex> guard(lock);
    if (browserAccepted(address)) return;
    if (acceptedBrowsers.size() >= static_cast<size_t>(kBrowsersKept)) acceptedBrowsers.erase(acceptedBrowsers.begin());
    acceptedBrowsers.push_back(address);
}

void forgetBrowserAccepts() {
    std::lock_guard<std::mutex> guard(lock);
    acceptedBrowsers.clear();
}

void rememberDeclined(uint32_t address, uint32_t now) {
    std::lock_guard<std::mutex> guard(lock);
    remember(address, now, false);
}

void rememberStopped(uint32_t address, const std::string& id, uint32_t now) {
    std::lock_guard<std::mutex> guard(lock);
    remember(address, now, true, id);
}

void forgetDeclined() {
    std::lock_guard<std::mutex> guard(lock);
    for (Declined& d : declined) d = Declined{};
}
