// The private channel's session: TLS 1.3 over a connected socket, both sides presenting
// this installation's certificate. Any certificate is taken at the handshake; the peer's
// computer ID is handed to the caller, who decides against the pinned list. No certificate
// authority is involved.
#pragma once
#include <cstddef>
#include <string>

#include "platform/net.h"

struct TlsSession;  // owned by the caller until tlsClose

constexpr int kTlsHandshakeMilliseconds = 10000;

// Handshakes as client (tlsConnect) or server (tlsAccept) on socket, within milliseconds.
// nullptr on failure (the socket is left to the caller to close).
TlsSession* tlsConnect(Socket socket, int milliseconds = kTlsHandshakeMilliseconds);
TlsSession* tlsAccept(Socket socket, int milliseconds = kTlsHandshakeMilliseconds);
// What a connection's first record (a client's hello) looks like so far, without reading
// it: an accept that starts before it has come whole would hold a thread for whoever
// sends its first byte and no more.
enum class HelloArrival { Whole, Partial, NotTls, Closed };
HelloArrival tlsHelloArrival(Socket socket);

// The peer's computer ID (shown form).
std::string tlsPeerId(const TlsSession* session);
// The session's cipher suite, by its standard name ("TLS_AES_128_GCM_SHA256").
std::string tlsCipherSuite(const TlsSession* session);
// The pairing code of this session (trust/comparison_code.h) between us and the peer,
// over both nonces of the pairing's exchange (the initiator's first); initiator: whether
// this side started the pairing. "" when it cannot be had.
std::string tlsComparisonCode(TlsSession* session, const std::string& nonces, bool initiator);

// One read of at most size bytes: >0 bytes; 0 the peer ended its side in order
// (close_notify); <0 an error, a cut stream (no close_notify) or the socket's receive
// time-out (kReceiveTimedOut's value, -2).
int tlsRead(TlsSession* session, char* buffer, int size);
// Writes all of size bytes; false on any failure.
bool tlsWrite(TlsSession* session, const void* data, size_t size);
// Sends close_notify: the orderly end of our direction. Reading goes on.
bool tlsFinish(TlsSession* session);
// True when bytes (or an end) are waiting, inside the session or on its socket.
bool tlsReadable(TlsSession* session, int milliseconds);
// True when decrypted bytes wait inside the session: a read takes them without the socket.
bool tlsHolds(TlsSession* session);
// Frees the session; the socket stays open (its owner closes it).
void tlsClose(TlsSession* session);
// The socket a session runs on.
Socket tlsSocket(const TlsSession* session);
