// Sockets seam: TCP and UDP over IPv4, the same calls on Windows Sockets and POSIX.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

using Socket = intptr_t;
constexpr Socket kInvalidSocket = -1;

// Starts and ends networking (WSAStartup 2.2 / WSACleanup; nothing on POSIX).
// netStartup returns 0 or the error code.
int netStartup();
void netCleanup();

// The last socket error of this thread (WSAGetLastError / errno).
int netLastError();
// Whether error says the peer reset the connection (ECONNRESET / WSAECONNRESET).
bool netErrorIsReset(int error);

Socket netTcpSocket();
Socket netUdpSocket();
void netClose(Socket s);
// Ends both directions of a connection without releasing the handle: a thread blocked
// in netRecv or netSend on it returns at once. Used by Stop.
void netShutdown(Socket s);
// Ends our sending direction only: the peer reads the end of the stream, and we can
// still read its close.
void netShutdownSend(Socket s);
// Ends our reading direction only, without a word to the peer: a thread blocked reading
// returns at once, and the thread that owns the connection says how it ends (an orderly
// close tells a sender that all it sent was taken). resetOnClose: any close from now on,
// the process's end included, is a reset.
void netShutdownReceive(Socket s, bool resetOnClose);
// Closes with a reset instead of an orderly close: the peer learns that what it sent was
// not taken, whether its bytes arrived before the close or after it.
void netCloseAbortive(Socket s);
// Waits until s has something to read, its peer closed, or milliseconds passed (false).
bool netWaitReadable(Socket s, int milliseconds);
// The same for up to kMostWaitedSockets sockets at once: waits until at least one has
// something to read, has been closed by its peer or failed (a listening socket: has a
// connection to accept, or was closed), or milliseconds passed. ready[i] tells which.
// Returns how many are ready, 0 after the time, -1 on an error (netLastError).
constexpr int kMostWaitedSockets = 128;
int netWaitAnyReadable(const Socket* sockets, bool* ready, int count, int milliseconds);
// For a connection that a wait found readable: true when what it has is its peer's close
// (or an error), not a byte. Nothing is taken from it.
bool netClosedWithoutBytes(Socket s);

// After our side was shut down and the peer closed in order: what became of our bytes.
enum SentFate {
    kSentTaken,    // the peer acknowledged every byte we sent, and our end of the stream
    kSentRefused,  // the connection was reset: bytes of ours were not taken
    kSentPending,  // some are not acknowledged yet; ask again
};
// Ask on the thread that shut the sending side down (Windows keeps its ends from then).
SentFate netSentFate(Socket s);

// Resolves a dotted address, or else a host name (first address). Host byte order in
// *address. False when neither works.
bool netResolve(const std::string& host, uint32_t* address);
bool netParseDotted(const std::string& text, uint32_t* address);
std::string netDotted(uint32_t address);

// Connects to address:port. Returns 0 or the error code.
int netConnect(Socket s, uint32_t address, uint16_t port);
// The same, giving up after the given milliseconds (0: no limit) with ETIMEDOUT /
// WSAETIMEDOUT, so that a silent address cannot hold a thread. The socket stays blocking.
int netConnectWithTimeout(Socket s, uint32_t address, uint16_t port, int milliseconds);
// What kept a connect from succeeding, told apart for the user: nothing listens there, no
// answer in time, no route to the address, or this host's own firewall kept it in.
enum class ConnectFailure { Refused, NoAnswer, NoRoute, Filtered, Other };
ConnectFailure netConnectFailure(int error);

// Binds to address:port (address 0: all local addresses). Returns 0 or the error code.
int netBind(Socket s, uint32_t address, uint16_t port);
// What kept a bind from succeeding, told apart for the user.
enum class BindFailure { InUse, Denied, Other };
BindFailure netBindFailure(int error);
int netListen(Socket s, int backlog);
// Lets a listening socket take its port again while connections of a previous one wait
// out their close (POSIX needs it; Windows allows that anyway, and another program is
// kept from taking the port under it). Call before netBind.
int netSetListenerReuse(Socket s);
// The port a socket is bound to (useful after binding port 0).
uint16_t netLocalPort(Socket s);
// The IPv4 address (host byte order) of a connection's peer; false when it has none.
bool netPeerAddress(Socket s, uint32_t* address);

// What a failed accept means for the loop around it.
enum AcceptFailure {
    kAcceptAgain,       // that one connection failed (reset or aborted before accept)
    kAcceptAfterPause,  // the socket still listens: descriptors or buffers ran out, the
                        // network is down... it may pass
    kAcceptEnded,       // the listening socket was closed or no longer listens
};
// What an accept error code alone says: kAcceptAfterPause where only the socket's state
// can tell.
AcceptFailure netAcceptFailure(int error);
Socket netAccept(Socket listener, AcceptFailure* failure = nullptr);

// One receive: >0 bytes, 0 closed, <0 error.
int netRecv(Socket s, void* buffer, int size);
// One receive of what has arrived already, without waiting: as netRecv, or kNetNothingYet
// when nothing is there (a wait for readability comes next).
constexpr int kNetNothingYet = -2;
int netRecvArrived(Socket s, void* buffer, int size);
// The same, but the bytes stay in place for the next receive.
int netPeekArrived(Socket s, void* buffer, int size);
// Small sends leave at once instead of waiting for the acknowledgement of earlier bytes.
void netSetNoDelay(Socket s);
// A send waits while bytes waiting unsent in the connection reach this many, so that they
// leave from our own sends as the peer takes them. A queue of megabytes would leave as
// the peer's acknowledgements release it, on the peer's time: a client on the same
// computer would pay for our sending. Nothing on Windows.
void netLimitUnsent(Socket s, int bytes);
// Sends all of size bytes, completing partial sends; never raises SIGPIPE.
// Returns true when every byte went out.
bool netSendAll(Socket s, const void* data, size_t size);
// The same, for bytes that the next send follows at once (a response's head before its
// body): they wait for it and leave with it in full segments, not in a small one of their
// own. Windows sends them at once. A send without it, or the close, lets them go.
bool netSendAllBeforeMore(Socket s, const void* data, size_t size);

// Receive and send time-outs in milliseconds (0: none). A timed-out call fails.
void netSetReceiveTimeout(Socket s, int milliseconds);
void netSetSendTimeout(Socket s, int milliseconds);
// True when the last failed call of this thread failed because of a time-out.
bool netLastErrorWasTimeout();

// UDP
int netSetReuseAddress(Socket s);
int netJoinGroup(Socket s, uint32_t group, uint32_t interfaceAddress);
int netLeaveGroup(Socket s, uint32_t group, uint32_t interfaceAddress);
int netSetMulticastTtl(Socket s, int ttl);
int netSetMulticastInterface(Socket s, uint32_t interfaceAddress);
int netSetMulticastLoop(Socket s, bool on);
int netSendTo(Socket s, const void* data, int size, uint32_t address, uint16_t port);
// One datagram: at most size bytes; the sender's address in *from. <0 on error.
int netRecvFrom(Socket s, void* buffer, int size, uint32_t* from);
