// A transfer's connection as the sender writes and the receiver reads it: the plain side
// (port 2904), or the TLS side, a session over the socket (the private channel). The side
// is chosen when the connection is made; everything after it goes through these functions,
// which alone tell the two apart. The records and content are the same bytes on either.
#pragma once
#include <cstddef>

#include "platform/files.h"
#include "platform/net.h"
#include "transfer/protocol.h"

struct TlsSession;

struct Link {
    Socket socket = kInvalidSocket;  // always set: Stop, time-outs and closing go to it
    TlsSession* tls = nullptr;       // the TLS side's session; null on the plain side
    int lastRead = 1;                // the latest read's result: 0 is an orderly end
};

Link plainLink(Socket socket);
// The TLS side over socket, once session's handshake on it is done.
Link tlsLink(Socket socket, TlsSession* session);

// Writes all of size bytes; false on any failure.
bool linkWrite(const Link& link, const void* data, size_t size);
// A ReceiveFunction over a Link*: one read, >0 bytes, 0 the orderly end (for a session:
// its close_notify; a session cut without one is an error), <0 an error, or
// kReceiveTimedOut after the socket's receive time-out.
int linkRead(void* link, char* buffer, int size);
// A reader of the link's bytes. Only the plain side offers the socket-to-file fast path.
void startLinkReader(StreamReader& reader, Link* link);
// Sends up to size bytes of the file from its position, as fileToSocket counts them. Only
// the plain side can leave the copying to the system; the TLS side encrypts every byte
// and returns kNoDirectPath, having sent nothing.
int linkSendFile(const Link& link, FileHandle file, int size);
// Whether the receiver has written before the transfer's end, which only a private
// receiver does, to turn the transfer away. The 3.0 wire's receiver has nothing to say
// there: the plain side never asks its socket, so this costs no system call.
bool linkAnswerWaiting(const Link& link);
// Whether the next read is taken from bytes the link holds already, never waiting on the
// socket (only the TLS side holds any).
bool linkHolds(const Link& link);
// The orderly end of our direction (a shutdown, or close_notify); reading goes on.
bool linkFinish(const Link& link);
// Frees the session, if any, and closes the socket; the link is empty after it.
void linkClose(Link& link);
