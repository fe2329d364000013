#include "discovery/look_around.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "core/central_state.h"
#include "core/window_port.h"
#include "discovery/discovery.h"
#include "platform/threads.h"

namespace {
constexpr int kBurstMilliseconds = 50;  // datagrams go in small bursts this far apart
constexpr int kPerBurst = kLookAroundPerSecond * kBurstMilliseconds / 1000;
// How often the adapter list is read for a change while nobody is found.
constexpr uint32_t kAdapterLookMilliseconds = 10000;

std::atomic<bool> running{false};
std::atomic<int> rounds{0};  // sweeps this run: the block a large subnet sweeps next

std::mutex timesLock;  // the timetable, and the adapters last read
LookAroundTimes times;
uint32_t adaptersNow = 0;
uint32_t adaptersReadAt = 0;
bool adaptersRead = false;

// Ends early when discovery stopped (no socket left) or a peer was found meanwhile.
bool goOn() { return discoverySocketCount() > 0 && portGetRecipient().empty(); }

void lookAroundLoop(void* cell) {
    const int round = static_cast<int>(reinterpret_cast<intptr_t>(cell));
    std::string datagram = discoveryDatagram(kNotifyKind, instanceNumber);
    int inBurst = 0;
    for (const DiscoverySubnet& subnet : discoverySubnets()) {
        if (!goOn()) break;
        for (uint32_t target : lookAroundTargets(subnet.local, subnet.mask, round)) {
            if (inBurst == kPerBurst) {
                sleepMilliseconds(kBurstMilliseconds);
                inBurst = 0;
                if (!goOn()) break;
            }
            sendDiscoveryDatagramFrom(subnet.local, datagram, target);
            ++inBurst;
        }
    }
    running = false;
}

// The adapters' fingerprint, read again when the last reading is old; under timesLock.
uint32_t currentAdapters(uint32_t now) {
    if (!adaptersRead || now - adaptersReadAt >= kAdapterLookMilliseconds) {
        std::vector<AdapterRecord> list;
        fetchAdapterList(&list);
        adaptersNow = adapterFingerprint(list);
        adaptersReadAt = now;
        adaptersRead = true;
    }
    return adaptersNow;
}
}  // namespace

std::vector<uint32_t> lookAroundTargets(uint32_t local, uint32_t mask, int round) {
    std::vector<uint32_t> targets;
    const uint32_t hosts = ~mask;
    if (hosts < 3) return targets;  // a /31 or /32 has nobody else to look for
    const uint32_t network = local & mask, broadcast = local | hosts;
    uint32_t first = network, last = broadcast;
    if (hosts >= static_cast<uint32_t>(kLookAroundPerSweep)) {
        const uint32_t window = hosts >= static_cast<uint32_t>(kLookAroundPerAdapter) ? kLookAroundPerAdapter
                                                                                      : hosts + 1;
        const uint32_t windowFirst = local & ~(window - 1);
        const uint32_t blocks = window / kLookAroundPerSweep;
        const uint32_t own = (local - windowFirst) / kLookAroundPerSweep;
        first = windowFirst + (own + static_cast<uint32_t>(round)) % blocks * kLookAroundPerSweep;
        last = first + (kLookAroundPerSweep - 1);
    }
    for (uint32_t a = first;; ++a) {
        if (a != local && a != network && a != broadcast) targets.push_back(a);
        if (a == last) break;
    }
    return targets;
}

uint32_t lookAroundPause(int sweeps) {
    uint32_t pause = kLookAroundIntervalMilliseconds;
    for (int i = 1; i < sweeps && pause < kLookAroundLongestPause; ++i) pause *= 2;
    return pause < kLookAroundLongestPause ? pause : kLookAroundLongestPause;
}

bool lookAroundDue(LookAroundTimes* t, uint32_t now, uint32_t adapters) {
    if (adapters != t->adapters) {
        t->adapters = adapters;
        t->sweeps = 0;
    }
    if (t->sweeps > 0 && now - t->lastStart < lookAroundPause(t->sweeps)) return false;
    ++t->sweeps;
    t->lastStart = now;
    return true;
}

uint32_t adapterFingerprint(const std::vector<AdapterRecord>& adapters) {
    uint32_t hash = 2166136261u;  // FNV-1a over the fields, each ended by a NUL
    auto add = [&hash](const std::string& text) {
        for (char c : text + '\0') hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    };
    for (const AdapterRecord& adapter : adapters) {
        add(std::to_string(adapter.type));
        add(adapter.firstAddress);
        add(adapter.firstMask);
    }
    return hash;
}

void lookAroundAsked() {
    std::lock_guard<std::mutex> guard(timesLock);
    times.sweeps = 0;
}

bool startLookAround() {
    if (running) return false;
    {
        std::lock_guard<std::mutex> guard(timesLock);
        const uint32_t now = tickCount();
        if (!lookAroundDue(&times, now, currentAdapters(now))) return false;
    }
    if (running.exchange(true)) return false;
    if (!startThread(lookAroundLoop, reinterpret_cast<void*>(static_cast<intptr_t>(rounds++)))) {
        running = false;
        return false;
    }
    return true;
}

bool lookAroundRunning() { return running; }
