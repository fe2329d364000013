// The address hand-over: after accepting another copy's "notify" or "request", tell that
// peer this copy's own address with one address record over a TCP connection of its own
// (never the sender's connection, so a running transfer is left alone).
#pragma once
#include <cstdint>
#include <string>

#include "transfer/protocol.h"

// A hand-over may hold its receive thread at most about this long in connect, and as
// long again in send. A SYN lost once is sent again after about 3 s (Windows) or 1 and
// 3 s (Linux): the limit outlasts a few of those, as a plain connect would.
constexpr int kHandOverTimeoutMilliseconds = 10000;

// Reads the own address through the window port ("Your IP:"), connects to peer (dotted
// address or host name) on port and sends the address record, replace giving Flags 1
// (the peer replaces its recipient) or 0 (it fills an empty one). 0 when the record was
// sent, -1 when no connection was made. The first failure towards a peer in this run is
// shown in an error box ("Invalid address %s\n", "Connect error %d\n"); later failures
// towards the same peer are only printed to the diagnostics stream, so a searching peer
// that cannot be reached does not raise a box for each of its datagrams.
int handOverAddress(const std::string& peer, bool replace, uint16_t port = kTransferPort);

// Forgets which peers have had their error box (a new run, or a test).
void forgetHandOverFailures();

// The reading side for a front end that only wants the address: reads one connection's
// stream and returns the address of its address record when it is a dotted IPv4
// address of 7 to 15 characters, else "". Leaves the connection open.
std::string readHandedOverAddress(Socket connection);
