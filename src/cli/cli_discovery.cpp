#include "cli/cli_discovery.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>

#include "core/central_state.h"
#include "discovery/discovery.h"
#include "discovery/own_address.h"
#include "platform/adapters.h"
#include "platform/threads.h"

namespace {
std::atomic<bool> announcing{false};
std::atomic<bool> announcerRunning{false};

// The program's discovery tick, on a thread of its own instead of a window timer.
void announceLoop(void*) {
    while (announcing) {
        if (discoveryTick()) break;  // a recipient is known: only answers from now on
        for (int slept = 0; announcing && slept < kDiscoveryTickMilliseconds; slept += 50) sleepMilliseconds(50);
    }
    announcerRunning = false;
}
}  // namespace

void drawCliInstanceNumber() { drawInstanceNumber(tickCount() ^ (static_cast<unsigned>(getpid()) << 12)); }

std::vector<std::string> cliDiscoveryAdapters(const std::vector<std::string>& given) {
    if (!given.empty()) return given;
    std::vector<AdapterRecord> list;
    fetchAdapterList(&list);
    return discoveryAddressesOf(list);
}

std::string cliOwnAddress(const std::vector<std::string>& adapters) {
    return adapters.empty() ? findOwnAddress() : adapters.front();
}

int startCliDiscovery(uint16_t port, const std::vector<std::string>& adapters) {
    discoveryDiagnostics = stderr;
    drawCliInstanceNumber();
    DiscoverySettings settings;
    settings.port = port;
    settings.handOverPort = port;
    int opened = startDiscoveryOn(cliDiscoveryAdapters(adapters), settings);
    if (opened == 0) {
        fputs("quorvalinthexa: discovery is off: no usable network adapter\n", stderr);
        return 0;
    }
    announcing = true;
    announcerRunning = true;
    if (!startThread(announceLoop, nullptr)) announcerRunning = false;
    return opened;
}

void stopCliDiscovery() {
    announcing = false;
    while (announcerRunning) sleepMilliseconds(10);
    stopDiscovery();
}
