// A transfer's connection as the sender writes and the receiver reads it: a plain socket
// (port 2904), or a TLS session over one (the private channel). Which one is chosen when
// the connection is made; the records and content written through it are the same bytes.
#pragma once
#include <cstddef>

#include "platform/net.h"
#include "transfer/protocol.h"

struct TlsSession;

struct Link {
    Socket socket = kInvalidSocket;  // always set: Stop, time-outs and closing go to it
    TlsSession* tls = nullptr;       // set: every byte goes through the session
    int lastRead = 1;                // the latest read's result: 0 is an orderly end
};

// Writes all of size bytes; false on any failure.
bool linkWrite(const Link& link, const void* data, size_t size);
// A ReceiveFunction over a Link*: one read, >0 bytes, 0 the orderly end (for a session:
// its close_notify; a session cut without one is an error), <0 an error, or
// kReceiveTimedOut after the socket's receive time-out.
int linkRead(void* link, char* buffer, int size);
// A reader of the link's bytes. Only a plain link offers the socket-to-file fast path.
void startLinkReader(StreamReader& reader, Link* link);
