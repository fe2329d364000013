#include "banner/banner_connection.h"

Socket openBannerConnection(const std::string& host, uint16_t port, int timeoutMilliseconds) {
    uint32_t address = 0;
    if (host.empty() || !netResolve(host, &address)) return kInvalidSocket;
    Socket s = netTcpSocket();
    if (s == kInvalidSocket) return kInvalidSocket;
    netSetReceiveTimeout(s, timeoutMilliseconds);
    netSetSendTimeout(s, timeoutMilliseconds);
    if (netConnectWithTimeout(s, address, port, timeoutMilliseconds) != 0) {
        netClose(s);
        return kInvalidSocket;
    }
    return s;
}
