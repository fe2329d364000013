// POSIX side of the sockets seam.
#include "platform/net.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <netdb.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#include <cstring>

namespace {
sockaddr_in makeAddress(uint32_t address, uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(address);
    return sa;
}
int resultOf(int rc) { return rc == 0 ? 0 : errno; }
void setTimeout(Socket s, int option, int milliseconds) {
    timeval tv{};
    tv.tv_sec = milliseconds / 1000;
    tv.tv_usec = (milliseconds % 1000) * 1000;
    setsockopt(static_cast<int>(s), SOL_SOCKET, option, &tv, sizeof tv);
}
}  // namespace

int netStartup() {
    // A peer that closes must never end the process: writes then fail with EPIPE.
    signal(SIGPIPE, SIG_IGN);
    return 0;
}
void netCleanup() {}
int netLastError() { return errno; }
bool netErrorIsReset(int error) { return error == ECONNRESET; }

Socket netTcpSocket() {
    int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) return kInvalidSocket;
    // A receiver started again while its last connections linger in TIME_WAIT must still
    // bind its port. (On POSIX this never lets two listeners share a port.)
    int on = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    return s;
}
Socket netUdpSocket() {
    int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    return s < 0 ? kInvalidSocket : s;
}
void netClose(Socket s) {
    if (s != kInvalidSocket) close(static_cast<int>(s));
}
void netShutdown(Socket s) {
    if (s != kInvalidSocket) shutdown(static_cast<int>(s), SHUT_RDWR);
}
void netShutdownSend(Socket s) {
    if (s != kInvalidSocket) shutdown(static_cast<int>(s), SHUT_WR);
}
namespace {
void resetOnClose(Socket s) {
    linger abort{1, 0};
    setsockopt(static_cast<int>(s), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
}
}  // namespace
void netShutdownReceive(Socket s, bool reset) {
    if (s == kInvalidSocket) return;
    if (reset) resetOnClose(s);
    shutdown(static_cast<int>(s), SHUT_RD);
}
void netCloseAbortive(Socket s) {
    if (s == kInvalidSocket) return;
    resetOnClose(s);
    close(static_cast<int>(s));
}

bool netWaitReadable(Socket s, int milliseconds) {
    pollfd p{static_cast<int>(s), POLLIN, 0};
    int ready;
    do {
        ready = poll(&p, 1, milliseconds);
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

int netWaitAnyReadable(const Socket* sockets, bool* ready, int count, int milliseconds) {
    if (count < 0 || count > kMostWaitedSockets) {
        errno = EINVAL;
        return -1;
    }
    pollfd waited[kMostWaitedSockets];
    for (int i = 0; i < count; ++i) waited[i] = pollfd{static_cast<int>(sockets[i]), POLLIN, 0};
    int found;
    do {
        found = poll(waited, static_cast<nfds_t>(count), milliseconds);
    } while (found < 0 && errno == EINTR);
    // A closed peer, an error or a handle that is no longer open count as ready: the
    // caller's next call on it tells what happened.
    for (int i = 0; i < count; ++i) ready[i] = found > 0 && waited[i].revents != 0;
    return found;
}

bool netClosedWithoutBytes(Socket s) {
    char byte;
    ssize_t n;
    do {
        n = recv(static_cast<int>(s), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
}

// The system keeps the connection's state: once our end of the stream is acknowledged
// (FIN_WAIT2, or the closed state a completed close passes into) every byte before it
// was; a reset leaves its error behind, which a read after the peer's close has not
// taken yet.
SentFate netSentFate(Socket s) {
    int fd = static_cast<int>(s), error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) return kSentRefused;
    tcp_info info{};
    length = sizeof info;
    if (getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &length) != 0) return kSentRefused;
    switch (info.tcpi_state) {
        case TCP_FIN_WAIT2:
        case TCP_TIME_WAIT:
        case TCP_CLOSE: return kSentTaken;
        default: return kSentPending;  // FIN_WAIT1, CLOSING: the peer closed before taking all
    }
}

bool netParseDotted(const std::string& text, uint32_t* address) {
    in_addr a{};
    if (inet_pton(AF_INET, text.c_str(), &a) != 1) return false;
    *address = ntohl(a.s_addr);
    return true;
}

bool netResolve(const std::string& host, uint32_t* address) {
    if (netParseDotted(host, address)) return true;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return false;
    *address = ntohl(reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr);
    freeaddrinfo(found);
    return true;
}

std::string netDotted(uint32_t address) {
    char text[INET_ADDRSTRLEN] = {};
    in_addr a{};
    a.s_addr = htonl(address);
    inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

int netConnect(Socket s, uint32_t address, uint16_t port) {
    sockaddr_in sa = makeAddress(address, port);
    int rc;
    do {
        rc = connect(static_cast<int>(s), reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    } while (rc != 0 && errno == EINTR);
    return resultOf(rc);
}

int netConnectWithTimeout(Socket s, uint32_t address, uint16_t port, int milliseconds) {
    int fd = static_cast<int>(s);
    int flags = fcntl(fd, F_GETFL, 0);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return errno;
    sockaddr_in sa = makeAddress(address, port);
    int error = 0;
    if (connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        error = errno;
        if (error == EINPROGRESS || error == EINTR) {
            pollfd p{fd, POLLOUT, 0};
            int ready;
            do {
                ready = poll(&p, 1, milliseconds > 0 ? milliseconds : -1);
            } while (ready < 0 && errno == EINTR);
            socklen_t len = sizeof error;
            if (ready == 0) error = ETIMEDOUT;
            else if (ready < 0 || getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0) error = errno;
        }
    }
    fcntl(fd, F_SETFL, flags);
    errno = error;
    return error;
}

int netBind(Socket s, uint32_t address, uint16_t port) {
    sockaddr_in sa = makeAddress(address, port);
    return resultOf(bind(static_cast<int>(s), reinterpret_cast<sockaddr*>(&sa), sizeof sa));
}
int netListen(Socket s, int backlog) { return resultOf(listen(static_cast<int>(s), backlog)); }

uint16_t netLocalPort(Socket s) {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (getsockname(static_cast<int>(s), reinterpret_cast<sockaddr*>(&sa), &len) != 0) return 0;
    return ntohs(sa.sin_port);
}

bool netPeerAddress(Socket s, uint32_t* address) {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (getpeername(static_cast<int>(s), reinterpret_cast<sockaddr*>(&sa), &len) != 0 || sa.sin_family != AF_INET)
        return false;
    *address = ntohl(sa.sin_addr.s_addr);
    return true;
}

BindFailure netBindFailure(int error) {
    if (error == EADDRINUSE) return BindFailure::InUse;
    if (error == EACCES || error == EPERM) return BindFailure::Denied;
    return BindFailure::Other;
}

ConnectFailure netConnectFailure(int error) {
    switch (error) {
        case ECONNREFUSED: return ConnectFailure::Refused;
        case ETIMEDOUT: return ConnectFailure::NoAnswer;
        case ENETUNREACH:
        case EHOSTUNREACH:
        case EHOSTDOWN:
        case ENETDOWN: return ConnectFailure::NoRoute;
        // Netfilter dropping or rejecting our own packet fails the connect with EPERM.
        case EPERM:
        case EACCES: return ConnectFailure::Filtered;
        default: return ConnectFailure::Other;
    }
}

AcceptFailure netAcceptFailure(int error) {
    switch (error) {
        // A connection that died in the backlog, and the network errors that Linux passes on
        // from the new connection, are no reason to stop accepting.
        case EINTR:
        case ECONNABORTED:
        case EPROTO:
        case ENETDOWN:
        case ENOPROTOOPT:
        case EHOSTDOWN:
        case ENONET:
        case EHOSTUNREACH:
        case ENETUNREACH: return kAcceptAgain;
        case EBADF:
        case ENOTSOCK:
        case EFAULT: return kAcceptEnded;
        default:  // EMFILE, ENFILE, ENOBUFS, ENOMEM; EINVAL once stopListening shut it down
            return kAcceptAfterPause;
    }
}

Socket netAccept(Socket listener, AcceptFailure* failure) {
    for (;;) {
        int c = accept4(static_cast<int>(listener), nullptr, nullptr, SOCK_CLOEXEC);
        if (c >= 0) return c;
        AcceptFailure kind = netAcceptFailure(errno);
        if (kind == kAcceptAgain) continue;
        int listening = 0;
        socklen_t length = sizeof listening;
        if (getsockopt(static_cast<int>(listener), SOL_SOCKET, SO_ACCEPTCONN, &listening, &length) != 0 || !listening)
            kind = kAcceptEnded;
        if (failure) *failure = kind;
        return kInvalidSocket;
    }
}

int netRecv(Socket s, void* buffer, int size) {
    for (;;) {
        ssize_t n = recv(static_cast<int>(s), buffer, static_cast<size_t>(size), 0);
        if (n >= 0) return static_cast<int>(n);
        if (errno != EINTR) return -1;
    }
}

namespace {
int receiveArrived(Socket s, void* buffer, int size, int flags) {
    for (;;) {
        ssize_t n = recv(static_cast<int>(s), buffer, static_cast<size_t>(size), flags | MSG_DONTWAIT);
        if (n >= 0) return static_cast<int>(n);
        if (errno == EAGAIN || errno == EWOULDBLOCK) return kNetNothingYet;
        if (errno != EINTR) return -1;
    }
}
}  // namespace

int netRecvArrived(Socket s, void* buffer, int size) { return receiveArrived(s, buffer, size, 0); }

int netPeekArrived(Socket s, void* buffer, int size) { return receiveArrived(s, buffer, size, MSG_PEEK); }

void netSetNoDelay(Socket s) {
    int on = 1;
    setsockopt(static_cast<int>(s), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

namespace {
bool sendAll(Socket s, const void* data, size_t size, int flags) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = send(static_cast<int>(s), p, size, MSG_NOSIGNAL | flags);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}
}  // namespace

void netLimitUnsent(Socket s, int bytes) {
    setsockopt(static_cast<int>(s), IPPROTO_TCP, TCP_NOTSENT_LOWAT, &bytes, sizeof bytes);
}

bool netSendAll(Socket s, const void* data, size_t size) { return sendAll(s, data, size, 0); }

bool netSendAllBeforeMore(Socket s, const void* data, size_t size) { return sendAll(s, data, size, MSG_MORE); }

void netSetReceiveTimeout(Socket s, int milliseconds) { setTimeout(s, SO_RCVTIMEO, milliseconds); }
void netSetSendTimeout(Socket s, int milliseconds) { setTimeout(s, SO_SNDTIMEO, milliseconds); }
bool netLastErrorWasTimeout() { return errno == EAGAIN || errno == EWOULDBLOCK; }

int netSetListenerReuse(Socket s) { return netSetReuseAddress(s); }

int netSetReuseAddress(Socket s) {
    int on = 1;
    return resultOf(setsockopt(static_cast<int>(s), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on));
}

int netJoinGroup(Socket s, uint32_t group, uint32_t interfaceAddress) {
    ip_mreq m{};
    m.imr_multiaddr.s_addr = htonl(group);
    m.imr_interface.s_addr = htonl(interfaceAddress);
    return resultOf(setsockopt(static_cast<int>(s), IPPROTO_IP, IP_ADD_MEMBERSHIP, &m, sizeof m));
}
int netLeaveGroup(Socket s, uint32_t group, uint32_t interfaceAddress) {
    ip_mreq m{};
    m.imr_multiaddr.s_addr = htonl(group);
    m.imr_interface.s_addr = htonl(interfaceAddress);
    return resultOf(setsockopt(static_cast<int>(s), IPPROTO_IP, IP_DROP_MEMBERSHIP, &m, sizeof m));
}
int netSetMulticastTtl(Socket s, int ttl) {
    return resultOf(setsockopt(static_cast<int>(s), IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl));
}
int netSetMulticastInterface(Socket s, uint32_t interfaceAddress) {
    in_addr a{};
    a.s_addr = htonl(interfaceAddress);
    return resultOf(setsockopt(static_cast<int>(s), IPPROTO_IP, IP_MULTICAST_IF, &a, sizeof a));
}
int netSetMulticastLoop(Socket s, bool on) {
    unsigned char v = on ? 1 : 0;
    return resultOf(setsockopt(static_cast<int>(s), IPPROTO_IP, IP_MULTICAST_LOOP, &v, sizeof v));
}

int netSendTo(Socket s, const void* data, int size, uint32_t address, uint16_t port) {
    sockaddr_in sa = makeAddress(address, port);
    ssize_t n = sendto(static_cast<int>(s), data, static_cast<size_t>(size), MSG_NOSIGNAL,
                       reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    return n < 0 ? -1 : static_cast<int>(n);
}

int netRecvFrom(Socket s, void* buffer, int size, uint32_t* from) {
    for (;;) {
        sockaddr_in sa{};
        socklen_t len = sizeof sa;
        ssize_t n = recvfrom(static_cast<int>(s), buffer, static_cast<size_t>(size), 0,
                             reinterpret_cast<sockaddr*>(&sa), &len);
        if (n >= 0) {
            *from = ntohl(sa.sin_addr.s_addr);
            return static_cast<int>(n);
        }
        if (errno != EINTR) return -1;
    }
}
