// The network check: why nobody is found. It lists each adapter and whether its
// discovery socket opened, whether the transfer port is this copy's for TCP and for UDP
// and the private channel's port for TCP, for each remembered peer whether it answered a
// datagram or a connection just now, and what works between each trusted and remembered
// computer and this one, both ways (discovery/reach_check.h).
// The front ends show the lines (the Windows program in a window, with the firewall's
// word added; the command-line peer on standard output).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "discovery/discovery.h"
#include "discovery/reach_check.h"

struct PeerAnswer {
    std::string address;
    bool datagram = false;    // it handed its address over or sent a datagram
    bool connection = false;  // its transfer port took a TCP connection
};

struct NetworkCheck {
    std::vector<AdapterOutcome> adapters;
    uint16_t port = kDiscoveryPort;
    int tcpError = -1;  // 0: the port is ours; -1: not known; else the bind's error code
    int udpError = -1;
    uint16_t privatePort = 0;  // the private channel's TCP port (private/private_channel.h)
    int privateError = -1;     // as tcpError, for that port
    std::vector<PeerAnswer> peers;
    std::vector<ComputerReach> computers;  // each trusted and remembered computer, both ways
};

// Sends a "notify" by unicast to every remembered peer and tries a TCP connection to
// each one's port at once, waiting up to milliseconds; a peer answers the datagram with
// its hand-over (or a datagram of its own). Blocks: never on the window's thread.
std::vector<PeerAnswer> probeRememberedPeers(uint16_t port, int milliseconds);

// The UDP side from the discovery sockets' outcomes: 0 when one of them holds the port,
// else the first bind's error code, -1 when nothing was tried.
int udpPortError(const std::vector<AdapterOutcome>& adapters);

// The whole check of this running copy: its sockets' outcomes, tcpError from its
// listener, its private channel's listener, the probe, then the computers' ways. A copy
// still searching sweeps its subnet again at its next tick (look_around.h).
NetworkCheck runNetworkCheck(int tcpError, uint16_t port, int milliseconds);

// The check as lines of text (UTF-8) in the language textOf gives: a heading line, then
// indented lines under it.
std::vector<std::string> networkCheckLines(const NetworkCheck& check, CheckText textOf);
