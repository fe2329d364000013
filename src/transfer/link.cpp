#include "transfer/link.h"

#include "trust/tls_channel.h"

bool linkWrite(const Link& link, const void* data, size_t size) {
    return link.tls ? tlsWrite(link.tls, data, size) : netSendAll(link.socket, data, size);
}

int linkRead(void* source, char* buffer, int size) {
    Link& link = *static_cast<Link*>(source);
    int n;
    if (link.tls) {
        n = tlsRead(link.tls, buffer, size);
    } else {
        n = netRecv(link.socket, buffer, size);
        if (n < 0 && netLastErrorWasTimeout()) n = kReceiveTimedOut;
    }
    link.lastRead = n;
    return n;
}

void startLinkReader(StreamReader& reader, Link* link) {
    if (!link->tls) return startSocketReader(reader, link->socket);
    startReader(reader, linkRead, link);
}
