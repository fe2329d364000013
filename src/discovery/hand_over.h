// The address hand-over: after accepting another copy's "notify" or "request", tell that
// peer this copy's own address with one address record over a TCP connection of its own
// (never the sender's connection, so a running transfer is left alone).
#pragma once
#include <cstdint>
#include <string>

#include "transfer/protocol.h"

// A hand-over may hold its thread at most about this long in connect, and as long again
// in send. A SYN lost once is sent again after about 3 s (Windows) or 1 and
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

// Hand-overs answer datagrams that anyone on the network can send, under any source
// address, so they never run on the thread that reads datagrams: they wait in a queue
// that a few threads of their own work through, within these bounds. A peer has one
// connection at a time, and its hand-overs go in the order they were queued. Peers met
// before (remembered, or reached by a hand-over) go first, then fresh requests, then
// fresh notifies; within each, the peer queued most recently goes first, so a late
// answer to a spoofed source waits behind a fresh ask. Peers not met before hold at most
// kHandOverFreshThreads threads, and a source no hand-over could reach is set aside for
// a while: a flood of spoofed notifies cannot keep every thread in connects that fail.
constexpr int kHandOverThreads = 8;           // connections being made at once
constexpr int kHandOverFreshThreads = 6;      // of those, to peers not met before
constexpr int kHandOversPerSecond = 16;       // connections started in any one second
constexpr int kHandOversWaitingLimit = 32;    // the oldest of the last rank goes when full
constexpr size_t kHandOverPeersLimit = 1024;  // peers kept as reached, and as set aside
constexpr uint32_t kHandOverSetAsideMilliseconds = 60000;
// A hand-over that waited this long answers an ask the peer has long repeated: dropped.
constexpr uint32_t kHandOverWaitLimitMilliseconds = kHandOverTimeoutMilliseconds;

// Queues one hand-over to peer (host byte order) on port; it runs as handOverAddress.
void queueHandOver(uint32_t peer, bool replace, uint16_t port = kTransferPort);
// Drops the hand-overs still waiting (discovery stopped); running ones end by themselves.
void dropWaitingHandOvers();

// Forgets which peers have had their error box, been reached or set aside (a new run,
// or a test).
void forgetHandOverFailures();

// The reading side for a front end that only wants the address: reads one connection's
// stream and returns the address of its address record when it is a dotted IPv4
// address of 7 to 15 characters, else "". The whole read takes at most
// kHandedOverReadMilliseconds (a record is three short blocks). Leaves the connection open.
constexpr int kHandedOverReadMilliseconds = 2000;
std::string readHandedOverAddress(Socket connection);
