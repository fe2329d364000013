#include "store/name_claims.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <map>

namespace {
// A waiter looks at its stop flag this often while the name stays held.
constexpr int kStopLookMilliseconds = 50;

std::mutex claimsLock;
std::condition_variable claimsChanged;
std::map<std::string, bool> claimed;  // under claimsLock: whether a stranger's reception holds it

}  // namespace

std::string claimKey(const std::string& path) {
    std::string key = path;
    for (char& c : key)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return key;
}

bool claimStoreName(const std::string& path, const std::atomic<bool>& stopped, int milliseconds,
                    void (*pushStranger)()) {
    const std::string key = claimKey(path);
    const std::chrono::milliseconds wait(milliseconds);
    auto until = std::chrono::steady_clock::now() + wait;
    const bool stranger = !pushStranger;
    std::unique_lock<std::mutex> guard(claimsLock);
    for (auto held = claimed.find(key); held != claimed.end(); held = claimed.find(key)) {
        if (stopped) return false;
        if (std::chrono::steady_clock::now() >= until) {
            if (!held->second || !pushStranger) return false;
            // Its time is up: the stranger's reception is pushed out, and gives the name up
            // as it ends.
            guard.unlock();
            pushStranger();
            pushStranger = nullptr;
            until = std::chrono::steady_clock::now() + wait;
            guard.lock();
            continue;
        }
        claimsChanged.wait_for(guard, std::chrono::milliseconds(kStopLookMilliseconds));
    }
    claimed[key] = stranger;
    return true;
}

void releaseStoreName(const std::string& path) {
    {
        std::lock_guard<std::mutex> guard(claimsLock);
        claimed.erase(claimKey(path));
    }
    claimsChanged.notify_all();
}

StoreNameClaim::StoreNameClaim(const std::string& name, const std::atomic<bool>& stopped, void (*pushStranger)())
    : path(name), held(!name.empty() && claimStoreName(name, stopped, kNameClaimWaitMilliseconds, pushStranger)) {}

StoreNameClaim::~StoreNameClaim() {
    if (held) releaseStoreName(path);
}
