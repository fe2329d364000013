#include <atomic>

#include "core/central_state.h"
#include "core/window_port.h"
#include "discovery/discovery.h"
#include "platform/threads.h"

namespace {
constexpr int kBurstMilliseconds = 50;  // datagrams go in small bursts this far apart
constexpr int kPerBurst = kLookAroundPerSecond * kBurstMilliseconds / 1000;

std::atomic<bool> running{false};
std::atomic<bool> everStarted{false};
std::atomic<uint32_t> lastStart{0};

// Ends early when discovery stopped (no socket left) or a peer was found meanwhile.
bool goOn() { return discoverySocketCount() > 0 && portGetRecipient().empty(); }

void lookAroundLoop(void*) {
    std::string datagram = discoveryDatagram(kNotifyKind, instanceNumber);
    int inBurst = 0;
    for (const DiscoverySubnet& subnet : discoverySubnets()) {
        if (!goOn()) break;
        for (uint32_t target : lookAroundTargets(subnet.local, subnet.mask)) {
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
}  // namespace

std::vector<uint32_t> lookAroundTargets(uint32_t local, uint32_t mask) {
    std::vector<uint32_t> targets;
    const uint32_t hosts = ~mask;
    if (hosts < 3) return targets;  // a /31 or /32 has nobody else to look for
    const uint32_t network = local & mask, broadcast = local | hosts;
    uint32_t first = network, last = broadcast;
    if (hosts >= static_cast<uint32_t>(kLookAroundPerAdapter)) {
        first = local & ~static_cast<uint32_t>(kLookAroundPerAdapter - 1);
        last = first + (kLookAroundPerAdapter - 1);
    }
    for (uint32_t a = first;; ++a) {
        if (a != local && a != network && a != broadcast) targets.push_back(a);
        if (a == last) break;
    }
    return targets;
}

bool startLookAround() {
    const uint32_t now = tickCount();
    if (running || (everStarted && now - lastStart < kLookAroundIntervalMilliseconds)) return false;
    if (running.exchange(true)) return false;
    everStarted = true;
    lastStart = now;
    if (!startThread(lookAroundLoop, nullptr)) {
        running = false;
        return false;
    }
    return true;
}

bool lookAroundRunning() { return running; }
