#include "transfer/link.h"

#include "platform/socket_file.h"
#include "trust/tls_channel.h"

Link plainLink(Socket socket) { return Link{socket, nullptr}; }

Link tlsLink(Socket socket, TlsSession* session) { return Link{socket, session}; }

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

int linkSendFile(const Link& link, FileHandle file, int size) {
    return link.tls ? kNoDirectPath : fileToSocket(file, link.socket, size);
}

bool linkAnswerWaiting(const Link& link) { return link.tls && tlsReadable(link.tls, 0); }

bool linkHolds(const Link& link) { return link.tls && tlsHolds(link.tls); }

bool linkFinish(const Link& link) {
    if (link.tls) return tlsFinish(link.tls);
    netShutdownSend(link.socket);
    return true;
}

void linkClose(Link& link) {
    if (link.tls) tlsClose(link.tls);
    netClose(link.socket);
    link = Link();
}
