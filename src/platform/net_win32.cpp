// Windows Sockets side of the sockets seam.
#include "platform/net.h"

// select's sets hold 64 sockets unless told otherwise before winsock2.h.
#define FD_SETSIZE 128

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

#include <cstring>
#include <vector>

namespace {
sockaddr_in makeAddress(uint32_t address, uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(address);
    return sa;
}
SOCKET raw(Socket s) { return static_cast<SOCKET>(s); }
int resultOf(int rc) { return rc == 0 ? 0 : WSAGetLastError(); }
void setTimeout(Socket s, int option, int milliseconds) {
    DWORD ms = static_cast<DWORD>(milliseconds);
    setsockopt(raw(s), SOL_SOCKET, option, reinterpret_cast<const char*>(&ms), sizeof ms);
}
}  // namespace

int netStartup() {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data);
}
void netCleanup() { WSACleanup(); }
int netLastError() { return WSAGetLastError(); }
bool netErrorIsReset(int error) { return error == WSAECONNRESET; }

Socket netTcpSocket() {
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    return s == INVALID_SOCKET ? kInvalidSocket : static_cast<Socket>(s);
}
Socket netUdpSocket() {
    SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
    return s == INVALID_SOCKET ? kInvalidSocket : static_cast<Socket>(s);
}
void netClose(Socket s) {
    if (s != kInvalidSocket) closesocket(raw(s));
}
void netShutdown(Socket s) {
    if (s == kInvalidSocket) return;
    shutdown(raw(s), SD_BOTH);
    // A shutdown alone may leave a send or recv blocked in another thread (a send waiting
    // for room in the buffers, above all); cancelling the handle's pending I/O wakes it
    // with an error, and the owner still closes the handle.
    CancelIoEx(reinterpret_cast<HANDLE>(raw(s)), nullptr);
}

namespace {
// The two ends of the connection whose sending side this thread shut down last: once
// the connection is closed, its socket no longer tells them.
thread_local sockaddr_in shutLocal{}, shutPeer{};

// Tests make reading the table fail with this error; 0: the system's table.
DWORD tcpTableFailure = 0;

DWORD readTcpTable(PMIB_TCPTABLE table, PULONG size) {
    if (tcpTableFailure == 0) return GetTcpTable(table, size, FALSE);
    if (tcpTableFailure == ERROR_INSUFFICIENT_BUFFER) *size += 1;  // a table that grows each time
    return tcpTableFailure;
}

// The connection's state in the system's table of connections (MIB_TCP_STATE), 0 when
// the table no longer lists it, -1 when the table cannot be read.
int listedState(const sockaddr_in& local, const sockaddr_in& peer) {
    std::vector<char> table(64 * 1024);
    for (int tries = 0; tries < 4; ++tries) {
        ULONG size = static_cast<ULONG>(table.size());
        const DWORD rc = readTcpTable(reinterpret_cast<PMIB_TCPTABLE>(table.data()), &size);
        if (rc == ERROR_INSUFFICIENT_BUFFER) {
            table.resize(size + 4096);
            continue;
        }
        if (rc != NO_ERROR) return -1;
        const auto* rows = reinterpret_cast<const MIB_TCPTABLE*>(table.data());
        for (DWORD i = 0; i < rows->dwNumEntries; ++i) {
            const MIB_TCPROW& r = rows->table[i];
            if (r.dwLocalAddr == local.sin_addr.s_addr && static_cast<u_short>(r.dwLocalPort) == local.sin_port &&
                r.dwRemoteAddr == peer.sin_addr.s_addr && static_cast<u_short>(r.dwRemotePort) == peer.sin_port)
                return static_cast<int>(r.dwState);
        }
        return 0;
    }
    return -1;
}
}  // namespace

void netFailTcpTableReads(unsigned long error) { tcpTableFailure = error; }

void netShutdownSend(Socket s) {
    if (s == kInvalidSocket) return;
    int length = sizeof shutLocal;
    getsockname(raw(s), reinterpret_cast<sockaddr*>(&shutLocal), &length);
    length = sizeof shutPeer;
    getpeername(raw(s), reinterpret_cast<sockaddr*>(&shutPeer), &length);
    shutdown(raw(s), SD_SEND);
}
namespace {
void resetOnClose(Socket s) {
    linger abort{1, 0};
    setsockopt(raw(s), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
}
}  // namespace
void netShutdownReceive(Socket s, bool reset) {
    if (s == kInvalidSocket) return;
    if (reset) resetOnClose(s);
    shutdown(raw(s), SD_RECEIVE);
    CancelIoEx(reinterpret_cast<HANDLE>(raw(s)), nullptr);  // wakes a recv blocked in another thread
}
void netCloseAbortive(Socket s) {
    if (s == kInvalidSocket) return;
    resetOnClose(s);
    closesocket(raw(s));
}

bool netWaitReadable(Socket s, int milliseconds) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(raw(s), &readable);
    timeval limit{milliseconds / 1000, (milliseconds % 1000) * 1000};
    return select(0, &readable, nullptr, nullptr, &limit) > 0;
}

static_assert(FD_SETSIZE >= kMostWaitedSockets, "a set must hold every waited socket");

int netWaitAnyReadable(const Socket* sockets, bool* ready, int count, int milliseconds) {
    if (count < 0 || count > kMostWaitedSockets) {
        WSASetLastError(WSAEINVAL);
        return -1;
    }
    fd_set readable, failed;
    FD_ZERO(&readable);
    FD_ZERO(&failed);
    for (int i = 0; i < count; ++i) {
        FD_SET(raw(sockets[i]), &readable);
        FD_SET(raw(sockets[i]), &failed);
    }
    timeval limit{milliseconds / 1000, (milliseconds % 1000) * 1000};
    int found = select(0, &readable, nullptr, &failed, milliseconds >= 0 ? &limit : nullptr);
    for (int i = 0; i < count; ++i)
        ready[i] = found > 0 && (FD_ISSET(raw(sockets[i]), &readable) || FD_ISSET(raw(sockets[i]), &failed));
    return found == SOCKET_ERROR ? -1 : found;
}

bool netClosedWithoutBytes(Socket s) {
    // The wait found it readable, so a look at its first byte does not block.
    char byte;
    int n = recv(raw(s), &byte, 1, MSG_PEEK);
    return n == 0 || (n == SOCKET_ERROR && WSAGetLastError() != WSAEWOULDBLOCK);
}

// Once both sides have closed in order, the side that closed first (the sender) keeps the
// connection in TIME_WAIT; a reset removes it at once. A read does not always tell (Wine
// may report a reset that follows our shutdown as an orderly close), so the system's table
// of connections is asked: TIME_WAIT or FIN_WAIT2 (our end of the stream acknowledged),
// gone (reset), or still closing. Without the table nothing tells whether our bytes were
// taken, and a transfer reported as failed that arrived costs the user a second send, one
// reported as complete that did not costs the files: it counts as not taken.
SentFate netSentFate(Socket s) {
    int error = 0, length = sizeof error;
    if (getsockopt(raw(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) == 0 && error != 0)
        return kSentRefused;
    enum { kGone = 0, kFinWait2 = 7, kTimeWait = 11 };  // MIB_TCP_STATE values
    switch (listedState(shutLocal, shutPeer)) {
        case kFinWait2:
        case kTimeWait: return kSentTaken;
        case kGone: return kSentRefused;
        case -1: return kSentRefused;  // no table: unknown, so not claimed as taken
        default: return kSentPending;  // FIN_WAIT1, CLOSING, LAST_ACK: the peer closed before taking all
    }
}

bool netParseDotted(const std::string& text, uint32_t* address) {
    unsigned long a = inet_addr(text.c_str());
    if (a == INADDR_NONE && text != "255.255.255.255") return false;
    *address = ntohl(a);
    return true;
}

bool netResolve(const std::string& host, uint32_t* address) {
    if (netParseDotted(host, address)) return true;
    hostent* h = gethostbyname(host.c_str());
    if (!h || h->h_addrtype != AF_INET || !h->h_addr_list[0]) return false;
    in_addr a;
    memcpy(&a, h->h_addr_list[0], sizeof a);
    *address = ntohl(a.s_addr);
    return true;
}

std::string netDotted(uint32_t address) {
    in_addr a;
    a.s_addr = htonl(address);
    return inet_ntoa(a);
}

int netConnect(Socket s, uint32_t address, uint16_t port) {
    sockaddr_in sa = makeAddress(address, port);
    return resultOf(connect(raw(s), reinterpret_cast<sockaddr*>(&sa), sizeof sa));
}

int netConnectWithTimeout(Socket s, uint32_t address, uint16_t port, int milliseconds) {
    u_long on = 1, off = 0;
    if (ioctlsocket(raw(s), FIONBIO, &on) != 0) return WSAGetLastError();
    sockaddr_in sa = makeAddress(address, port);
    int error = 0;
    if (connect(raw(s), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        error = WSAGetLastError();
        if (error == WSAEWOULDBLOCK) {
            fd_set writable, failed;
            FD_ZERO(&writable);
            FD_ZERO(&failed);
            FD_SET(raw(s), &writable);
            FD_SET(raw(s), &failed);
            timeval limit{milliseconds / 1000, (milliseconds % 1000) * 1000};
            int ready = select(0, nullptr, &writable, &failed, milliseconds > 0 ? &limit : nullptr);
            int len = sizeof error;
            if (ready == 0) error = WSAETIMEDOUT;
            else if (ready < 0) error = WSAGetLastError();
            else if (getsockopt(raw(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &len) != 0)
                error = WSAGetLastError();
            if (error == 0 && FD_ISSET(raw(s), &failed)) error = WSAECONNREFUSED;
        }
    }
    ioctlsocket(raw(s), FIONBIO, &off);
    WSASetLastError(error);
    return error;
}

int netBind(Socket s, uint32_t address, uint16_t port) {
    sockaddr_in sa = makeAddress(address, port);
    return resultOf(bind(raw(s), reinterpret_cast<sockaddr*>(&sa), sizeof sa));
}
int netListen(Socket s, int backlog) { return resultOf(listen(raw(s), backlog)); }

uint16_t netLocalPort(Socket s) {
    sockaddr_in sa{};
    int len = sizeof sa;
    if (getsockname(raw(s), reinterpret_cast<sockaddr*>(&sa), &len) != 0) return 0;
    return ntohs(sa.sin_port);
}

bool netPeerAddress(Socket s, uint32_t* address) {
    sockaddr_in sa{};
    int len = sizeof sa;
    if (getpeername(raw(s), reinterpret_cast<sockaddr*>(&sa), &len) != 0 || sa.sin_family != AF_INET) return false;
    *address = ntohl(sa.sin_addr.s_addr);
    return true;
}

BindFailure netBindFailure(int error) {
    if (error == WSAEADDRINUSE) return BindFailure::InUse;
    if (error == WSAEACCES) return BindFailure::Denied;
    return BindFailure::Other;
}

ConnectFailure netConnectFailure(int error) {
    switch (error) {
        case WSAECONNREFUSED: return ConnectFailure::Refused;
        case WSAETIMEDOUT: return ConnectFailure::NoAnswer;
        case WSAENETUNREACH:
        case WSAEHOSTUNREACH:
        case WSAEHOSTDOWN:
        case WSAENETDOWN: return ConnectFailure::NoRoute;
        case WSAEACCES: return ConnectFailure::Filtered;
        default: return ConnectFailure::Other;
    }
}

AcceptFailure netAcceptFailure(int error) {
    switch (error) {
        case WSAECONNRESET:
        case WSAECONNABORTED:
        case WSAETIMEDOUT:
        case WSAENETRESET:
        case WSAEHOSTUNREACH:
        case WSAENETUNREACH:  // that one connection failed before accept
            return kAcceptAgain;
        case WSAENOTSOCK:
        case WSAEINTR:
        case WSAEFAULT:
        case WSANOTINITIALISED:  // closed
            return kAcceptEnded;
        default:                       // WSAEMFILE, WSAENOBUFS, WSAENETDOWN; Wine reports a server out of descriptors
            return kAcceptAfterPause;  // as WSAEINVAL
    }
}

Socket netAccept(Socket listener, AcceptFailure* failure) {
    for (;;) {
        SOCKET c = accept(raw(listener), nullptr, nullptr);
        if (c != INVALID_SOCKET) return static_cast<Socket>(c);
        AcceptFailure kind = netAcceptFailure(WSAGetLastError());
        if (kind == kAcceptAgain) continue;
        BOOL listening = FALSE;
        int length = sizeof listening;
        if (getsockopt(raw(listener), SOL_SOCKET, SO_ACCEPTCONN, reinterpret_cast<char*>(&listening), &length) != 0 ||
            !listening)
            kind = kAcceptEnded;
        if (failure) *failure = kind;
        return kInvalidSocket;
    }
}

int netRecv(Socket s, void* buffer, int size) {
    int n = recv(raw(s), static_cast<char*>(buffer), size, 0);
    return n == SOCKET_ERROR ? -1 : n;
}

int netRecvArrived(Socket s, void* buffer, int size) {
    u_long waiting = 0;
    if (ioctlsocket(raw(s), FIONREAD, &waiting) == SOCKET_ERROR) return -1;
    return waiting > 0 ? netRecv(s, buffer, size) : kNetNothingYet;
}

int netPeekArrived(Socket s, void* buffer, int size) {
    u_long waiting = 0;
    if (ioctlsocket(raw(s), FIONREAD, &waiting) == SOCKET_ERROR) return -1;
    if (waiting == 0) return kNetNothingYet;
    int n = recv(raw(s), static_cast<char*>(buffer), size, MSG_PEEK);
    return n == SOCKET_ERROR ? -1 : n;
}

void netSetNoDelay(Socket s) {
    BOOL on = TRUE;
    setsockopt(raw(s), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
}

bool netSendAll(Socket s, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        int piece = size > 0x40000000 ? 0x40000000 : static_cast<int>(size);
        int n = send(raw(s), p, piece, 0);
        if (n == SOCKET_ERROR) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void netLimitUnsent(Socket, int) {}

bool netSendAllBeforeMore(Socket s, const void* data, size_t size) { return netSendAll(s, data, size); }

void netSetReceiveTimeout(Socket s, int milliseconds) { setTimeout(s, SO_RCVTIMEO, milliseconds); }
void netSetSendTimeout(Socket s, int milliseconds) { setTimeout(s, SO_SNDTIMEO, milliseconds); }
bool netLastErrorWasTimeout() { return WSAGetLastError() == WSAETIMEDOUT; }

int netSetListenerReuse(Socket s) {
    int on = 1;
    return resultOf(setsockopt(raw(s), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on));
}

int netSetReuseAddress(Socket s) {
    int on = 1;
    return resultOf(setsockopt(raw(s), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on));
}

int netJoinGroup(Socket s, uint32_t group, uint32_t interfaceAddress) {
    ip_mreq m{};
    m.imr_multiaddr.s_addr = htonl(group);
    m.imr_interface.s_addr = htonl(interfaceAddress);
    return resultOf(setsockopt(raw(s), IPPROTO_IP, IP_ADD_MEMBERSHIP, reinterpret_cast<const char*>(&m), sizeof m));
}
int netLeaveGroup(Socket s, uint32_t group, uint32_t interfaceAddress) {
    ip_mreq m{};
    m.imr_multiaddr.s_addr = htonl(group);
    m.imr_interface.s_addr = htonl(interfaceAddress);
    return resultOf(setsockopt(raw(s), IPPROTO_IP, IP_DROP_MEMBERSHIP, reinterpret_cast<const char*>(&m), sizeof m));
}
int netSetMulticastTtl(Socket s, int ttl) {
    return resultOf(setsockopt(raw(s), IPPROTO_IP, IP_MULTICAST_TTL, reinterpret_cast<const char*>(&ttl), sizeof ttl));
}
int netSetMulticastInterface(Socket s, uint32_t interfaceAddress) {
    in_addr a{};
    a.s_addr = htonl(interfaceAddress);
    return resultOf(setsockopt(raw(s), IPPROTO_IP, IP_MULTICAST_IF, reinterpret_cast<const char*>(&a), sizeof a));
}
int netSetMulticastLoop(Socket s, bool on) {
    DWORD v = on ? 1 : 0;
    return resultOf(setsockopt(raw(s), IPPROTO_IP, IP_MULTICAST_LOOP, reinterpret_cast<const char*>(&v), sizeof v));
}

int netSendTo(Socket s, const void* data, int size, uint32_t address, uint16_t port) {
    sockaddr_in sa = makeAddress(address, port);
    int n = sendto(raw(s), static_cast<const char*>(data), size, 0, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    return n == SOCKET_ERROR ? -1 : n;
}

int netRecvFrom(Socket s, void* buffer, int size, uint32_t* from) {
    sockaddr_in sa{};
    int len = sizeof sa;
    int n = recvfrom(raw(s), static_cast<char*>(buffer), size, 0, reinterpret_cast<sockaddr*>(&sa), &len);
    // A datagram longer than the buffer arrives cut to it; Windows reports that as an
    // error, which must not end the caller's receive loop.
    if (n == SOCKET_ERROR && WSAGetLastError() == WSAEMSGSIZE) n = size;
    if (n == SOCKET_ERROR) return -1;
    *from = ntohl(sa.sin_addr.s_addr);
    return n;
}
