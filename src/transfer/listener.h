// The listener: the receiving side's TCP server. It binds the transfer port, says on the
// status line whether the server runs, waits for the first bytes of every accepted
// connection (transfer/arrivals.h), and then hands it to a receiver thread of its own.
// Admission is the receiver's business.
//
// The Windows program starts it once while its window initialises:
//     startThread(listenerThread, nullptr);
#pragma once
#include <cstdint>

#include "platform/net.h"
#include "transfer/arrivals.h"

// "Server starting"; binds port (0: an ephemeral one) on all local addresses and listens
// with a backlog of 256; "Server running". On failure: the error box "Bind error %d\n"
// or "Listen error %d\n", then "Cannot start server", and kInvalidSocket (the socket
// error code in *error when asked for).
Socket startListening(uint16_t port, int* error = nullptr);

// Accepts until the listening socket is closed by stopListening. Each connection waits
// for its first bytes with the others in one loop (receiveArrivals), and then its
// reception runs on a thread of its own: take's, or receiveArrival's when take is null.
// Returns 0.
int acceptConnections(Socket listener, ArrivalTaker take = nullptr);
// The loop for other servers: accepts until the listening socket is closed by
// stopListening, and hands each connection by value to take, one after another on this
// thread. A connection reset before it was accepted is passed over, and when descriptors
// or buffers run out it tries again after a short pause. Returns 0.
int acceptInTurn(Socket listener, void (*take)(void* connection));

// Makes the accept loop on listener end, and releases the socket. Call it once.
void stopListening(Socket listener);

// Thread procedure of the program: startListening(kTransferPort), then
// acceptConnections until the process ends.
void listenerThread(void* unused);
// How listenerThread's set-up went, for the network check: -1 before it tried, then 0
// (listening) or the socket error code.
int transferListenerError();
