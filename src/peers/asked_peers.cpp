#include "peers/asked_peers.h"

#include <map>
#include <mutex>
#include <vector>

#include "platform/adapters.h"
#include "platform/net.h"

namespace {
std::mutex lock;
bool groupAsked = false;
uint32_t groupAskedAt = 0;
std::map<uint32_t, uint32_t> askedAt;  // peer -> tick of the last datagram to it
// A sweep asks at most a few hundred addresses per adapter in the window; past this the
// oldest are gone already, and if not, forgetting all only costs an answer its place.
constexpr size_t kAskedLimit = 4096;

bool within(uint32_t then, uint32_t now) { return now - then < kAnswerWindowMilliseconds; }

// Whether peer is on the subnet of one of this host's adapters: a group datagram is only
// heard on the link, so an answer to it from further away is someone else's record.
bool onOwnSubnet(uint32_t peer) {
    std::vector<AdapterRecord> adapters;
    fetchAdapterList(&adapters);
    for (const AdapterRecord& adapter : adapters) {
        uint32_t address = 0, mask = 0;
        if (netParseDotted(adapter.firstAddress, &address) && address != 0 &&
            netParseDotted(adapter.firstMask, &mask) && (address & mask) == (peer & mask))
            return true;
    }
    return false;
}

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
    bool group = false;
    {
        std::lock_guard<std::mutex> guard(lock);
        auto found = askedAt.find(peer);
        if (found != askedAt.end() && within(found->second, now)) return true;
        group = groupAsked && within(groupAskedAt, now);
    }
    return group && onOwnSubnet(peer);  // the adapter list is fetched outside the lock
}

void forgetAsked() {
    std::lock_guard<std::mutex> guard(lock);
    groupAsked = false;
    askedAt.clear();
}
