// The listener: the receiving side's TCP server. It binds the transfer port, says on the
// status line whether the server runs, and hands every accepted connection, by value, to
// a receiver thread of its own. Admission is the receiver's business.
//
// The Windows program starts it once while its window initialises:
//     startThread(listenerThread, nullptr);
#pragma once
#include <cstdint>

#include "platform/net.h"

// "Server starting"; binds port (0: an ephemeral one) on all local addresses and listens
// with a backlog of 256; "Server running". On failure: the error box "Bind error %d\n"
// or "Listen error %d\n", then "Cannot start server", and kInvalidSocket (the socket
// error code in *error when asked for).
Socket startListening(uint16_t port, int* error = nullptr);

// Accepts until the listening socket is closed by stopListening, starting one receiver
// thread per connection. A connection reset before it was accepted is passed over, and
// when descriptors or buffers run out it tries again after a short pause. Returns 0.
int acceptConnections(Socket listener);
// The same loop for other takers: each connection goes by value to take, on a thread of
// its own (closed at once when none can start), or with ownThread false on this thread.
int acceptEach(Socket listener, void (*take)(void* connection), bool ownThread = true);

// Makes the accept loop on listener end, and releases the socket. Call it once.
void stopListening(Socket listener);

// Thread procedure of the program: startListening(kTransferPort), then
// acceptConnections until the process ends.
void listenerThread(void* unused);
