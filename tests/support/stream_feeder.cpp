#include "stream_feeder.h"

uint16_t freePort() {
    const Socket s = netTcpSocket();
    netBind(s, 0x7F000001, 0);
    const uint16_t port = netLocalPort(s);
    netClose(s);
    return port;
}

Socket feederConnect(uint16_t port) {
    Socket s = netTcpSocket();
    uint32_t loopback = 0;
    netParseDotted("127.0.0.1", &loopback);
    if (s != kInvalidSocket && netConnect(s, loopback, port) != 0) {
        netClose(s);
        return kInvalidSocket;
    }
    return s;
}

bool feederSend(Socket s, const std::string& bytes) { return netSendAll(s, bytes.data(), bytes.size()); }

bool feederSeesClose(Socket s, int milliseconds) {
    // The receiver never writes, so any read result other than a time-out is its close.
    netSetReceiveTimeout(s, milliseconds);
    char byte;
    int n = netRecv(s, &byte, 1);
    return n == 0 || (n < 0 && !netLastErrorWasTimeout());
}

bool feedStream(uint16_t port, const std::string& bytes) {
    Socket s = feederConnect(port);
    if (s == kInvalidSocket) return false;
    bool sent = feederSend(s, bytes);
    netClose(s);
    return sent;
}
