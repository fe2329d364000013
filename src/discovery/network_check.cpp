#include "discovery/network_check.h"

#include <atomic>
#include <memory>

#include "discovery/look_around.h"
#include "peers/remembered_peers.h"
#include "platform/net.h"
#include "platform/threads.h"
#include "resource.h"
#include "private/private_channel.h"

namespace {
struct Probe {
    uint32_t address = 0;
    uint16_t port = 0;
    int milliseconds = 0;
    std::atomic<bool> connected{false};
    std::atomic<bool> done{false};
};

void connectProbe(void* cell) {
    std::shared_ptr<Probe> probe = *static_cast<std::shared_ptr<Probe>*>(cell);
    delete static_cast<std::shared_ptr<Probe>*>(cell);
    Socket s = netTcpSocket();
    // A connection closed before its first byte: the peer's receiver takes it as nothing sent.
    if (s != kInvalidSocket && netConnectWithTimeout(s, probe->address, probe->port, probe->milliseconds) == 0)
        probe->connected = true;
    netClose(s);
    probe->done = true;
}

// Replaces each "%s" of format in turn with the next value.
std::string filled(std::string format, const std::vector<std::string>& values) {
    size_t at = 0;
    for (const std::string& value : values) {
        at = format.find("%s", at);
        if (at == std::string::npos) break;
        format.replace(at, 2, value);
        at += value.size();
    }
    return format;
}

std::string portLine(CheckText textOf, const char* protocol, uint16_t port, int error) {
    std::string number = std::to_string(port), code = "error " + std::to_string(error);
    if (error == 0) return filled(textOf(IDS_CHECK_PORT_OURS), {protocol, number});
    switch (netBindFailure(error)) {
        case BindFailure::InUse: return filled(textOf(IDS_CHECK_PORT_IN_USE), {protocol, number});
        case BindFailure::Denied: return filled(textOf(IDS_CHECK_PORT_DENIED), {protocol, number, code});
        default: return filled(textOf(IDS_CHECK_PORT_FAILED), {protocol, number, code});
    }
}

int peerText(const PeerAnswer& peer) {
    if (peer.datagram && peer.connection) return IDS_CHECK_PEER_BOTH;
    if (peer.datagram) return IDS_CHECK_PEER_UDP;
    return peer.connection ? IDS_CHECK_PEER_TCP : IDS_CHECK_PEER_NONE;
}
}  // namespace

std::vector<PeerAnswer> probeRememberedPeers(uint16_t port, int milliseconds) {
    const uint32_t since = tickCount();
    std::vector<std::shared_ptr<Probe>> probes;
    for (const std::string& peer : rememberedPeers()) {
        auto probe = std::make_shared<Probe>();
        if (!netParseDotted(peer, &probe->address)) continue;
        probe->port = port;
        probe->milliseconds = milliseconds;
        probes.push_back(probe);
        sendDiscoveryDatagramTo(kNotifyKind, peer);
        auto* cell = new std::shared_ptr<Probe>(probe);
        if (!startThread(connectProbe, cell)) {
            delete cell;
            probe->done = true;
        }
    }
    // The answers to the datagrams come while the connections are tried; all are in
    // once every connection ended and the time for a hand-over has passed.
    for (int waited = 0; waited < milliseconds; waited += 50) {
        bool all = true;
        for (const std::shared_ptr<Probe>& probe : probes)
            all = all && probe->done && peerHeardSince(probe->address, since);
        if (all) break;
        sleepMilliseconds(50);
    }
    std::vector<PeerAnswer> answers;
    answers.reserve(probes.size());
    for (const std::shared_ptr<Probe>& probe : probes)
        answers.push_back({netDotted(probe->address), peerHeardSince(probe->address, since), probe->connected});
    return answers;
}

int udpPortError(const std::vector<AdapterOutcome>& adapters) {
    bool opened = false;
    for (const AdapterOutcome& adapter : adapters) {
        // Only a port in use or refused is the port's failure; any other bind error (an
        // address this host does not have) is the adapter's own.
        if (adapter.bindFailed && adapter.error > 0 && netBindFailure(adapter.error) != BindFailure::Other)
            return adapter.error;
        if (adapter.failure.empty()) opened = true;
    }
    return opened ? 0 : -1;
}

NetworkCheck runNetworkCheck(int tcpError, uint16_t port, int milliseconds) {
    lookAroundAsked();  // a user who checks wants to be found: the next tick sweeps
    NetworkCheck check;
    check.adapters = discoveryOutcomes();
    check.port = port;
    check.tcpError = tcpError;
    check.udpError = udpPortError(check.adapters);
    check.privatePort = kPrivatePort;
    check.privateError = privateListenerError();
    check.peers = probeRememberedPeers(port, milliseconds);
    check.computers = computersToCheck();
    checkReach(&check.computers, milliseconds);
    return check;
}

std::vector<std::string> networkCheckLines(const NetworkCheck& check, CheckText textOf) {
    std::vector<std::string> lines{textOf(IDS_CHECK_ADAPTERS)};
    bool any = false;
    for (const AdapterOutcome& adapter : check.adapters) {
        if (adapter.address == "0.0.0.0" && adapter.failure.empty()) continue;
        any = true;
        lines.push_back("  " + (adapter.failure.empty()
                                    ? filled(textOf(IDS_CHECK_ADAPTER_OPEN), {adapter.address})
                                    : filled(textOf(IDS_CHECK_ADAPTER_FAILED), {adapter.address, adapter.failure})));
    }
    if (!any) lines.push_back("  " + std::string(textOf(IDS_CHECK_NO_ADAPTER)));
    // A port nothing tried to open says nothing either way: no line.
    if (check.tcpError >= 0) lines.push_back(portLine(textOf, "TCP", check.port, check.tcpError));
    if (check.udpError >= 0) lines.push_back(portLine(textOf, "UDP", check.port, check.udpError));
    if (check.privateError >= 0) lines.push_back(portLine(textOf, "TCP", check.privatePort, check.privateError));
    lines.push_back(textOf(IDS_CHECK_PEERS));
    if (check.peers.empty()) lines.push_back("  " + std::string(textOf(IDS_CHECK_NO_PEERS)));
    for (const PeerAnswer& peer : check.peers) lines.push_back("  " + filled(textOf(peerText(peer)), {peer.address}));
    for (const std::string& line : reachLines(check.computers, textOf)) lines.push_back(line);
    return lines;
}
