// Windows: a socket bound to the adapter's own address and joined to the group on that
// adapter receives the group's datagrams arriving there and sends out of it.
#include "platform/multicast.h"

int netBindForGroup(Socket s, uint32_t group, uint32_t interfaceAddress, uint16_t port) {
    return netBind(s, interfaceAddress, port);
}

// The socket bound to the adapter's own address takes unicast datagrams to it as well.
bool netGroupSocketsMissUnicast() { return false; }

int netBindForUnicast(Socket s, uint16_t port) { return netBind(s, 0, port); }

// Each socket is bound to its adapter's address: what it takes arrived there.
int netTellArrival(Socket) { return 0; }

int netRecvFromOn(Socket s, void* buffer, int size, uint32_t* from, unsigned* arrival) {
    *arrival = 0;
    return netRecvFrom(s, buffer, size, from);
}

unsigned netInterfaceIndexOf(uint32_t) { return 0; }
