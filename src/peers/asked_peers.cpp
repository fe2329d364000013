#include "peers/asked_peers.h"

#include <map>
#include <mutex>

namespace {
std::mutex lock;
bool groupAsked = false;
uint32_t groupAskedAt = 0;
std::map<uint32_t, uint32_t> askedAt;  // peer -> tick of the last datagram to it
// A sweep asks at most a few hundred addresses per adapter in the window; past this the
// oldest are gone already, and if not, forgetting all only costs an answer its place.
constexpr size_t kAskedLimit = 4096;

bool within(uint32_t then, uint32_t now) { return now - then < kAnswerWindowMilliseconds; }

void makeRoom(uint32_t now) {
    for (auto it = askedAt.begin(); it != askedAt.end();)
        it = within(it->second, now) ? std::next(it) : askedAt.erase(it);
    if (askedAt.size() >= kAskedLimit) askedAt.clear();
}
}  // namespace

void noteAsked(uint32_t destination, uint32_t now) {
    std::lock_guard<std::mutex> guard(lock);
    if (destination >> 28 == 0xE) {  // 224.0.0.0/4
        groupAsked = true;
        groupAskedAt = now;
        return;
    }
    if (askedAt.size() >= kAskedLimit && askedAt.find(destination) == askedAt.end()) makeRoom(now);
    askedAt[destination] = now;
}

bool askedLately(uint32_t peer, uint32_t now) {
    std::lock_guard<std::mutex> guard(lock);
    if (groupAsked && within(groupAskedAt, now)) return true;
    auto found = askedAt.find(peer);
    return found != askedAt.end() && within(found->second, now);
}

void forgetAsked() {
    std::lock_guard<std::mutex> guard(lock);
    groupAsked = false;
    askedAt.clear();
}
