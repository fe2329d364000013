#include "store/name_claims.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>

namespace {
// A waiter looks at its stop flag this often while the name stays held.
constexpr int kStopLookMilliseconds = 50;

std::mutex claimsLock;
std::condition_variable claimsChanged;
std::set<std::string> claimed;  // under claimsLock

std::string claimKey(const std::string& path) {
    std::string key = path;
    for (char& c : key)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return key;
}
}  // namespace

bool claimStoreName(const std::string& path, const std::atomic<bool>& stopped, int milliseconds) {
    const std::string key = claimKey(path);
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    std::unique_lock<std::mutex> guard(claimsLock);
    while (claimed.count(key) > 0) {
        if (stopped || std::chrono::steady_clock::now() >= until) return false;
        claimsChanged.wait_for(guard, std::chrono::milliseconds(kStopLookMilliseconds));
    }
    claimed.insert(key);
    return true;
}

void releaseStoreName(const std::string& path) {
    {
        std::lock_guard<std::mutex> guard(claimsLock);
        claimed.erase(claimKey(path));
    }
    claimsChanged.notify_all();
}

StoreNameClaim::StoreNameClaim(const std::string& name, const std::atomic<bool>& stopped)
    : path(name), held(!name.empty() && claimStoreName(name, stopped)) {}

StoreNameClaim::~StoreNameClaim() {
    if (held) releaseStoreName(path);
}
