// Linux: a socket bound to an adapter's unicast address receives no multicast at all.
// So each discovery socket is bound to the group address itself (it then receives only
// datagrams sent to the group, never unicast to the port), takes only the datagrams of
// the memberships it joined itself (IP_MULTICAST_ALL off: without it every socket on
// the port would also get the other adapters' datagrams, and one datagram would be
// answered once per adapter), and sends out of its adapter (IP_MULTICAST_IF, which
// also makes the adapter's address the datagrams' source, the address peers answer).
// Several copies on one host share the port through SO_REUSEADDR.
#include "platform/multicast.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>

int netBindForGroup(Socket s, uint32_t group, uint32_t interfaceAddress, uint16_t port) {
    int rc = netBind(s, group, port);
    if (rc != 0) return rc;
    int off = 0;
    if (setsockopt(static_cast<int>(s), IPPROTO_IP, IP_MULTICAST_ALL, &off, sizeof off) != 0) return errno;
    return netSetMulticastInterface(s, interfaceAddress);
}

bool netGroupSocketsMissUnicast() { return true; }

int netBindForUnicast(Socket s, uint16_t port) {
    int rc = netBind(s, 0, port);
    if (rc != 0) return rc;
    int off = 0;
    if (setsockopt(static_cast<int>(s), IPPROTO_IP, IP_MULTICAST_ALL, &off, sizeof off) != 0) return errno;
    return 0;
}
