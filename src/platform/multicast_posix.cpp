// Linux: a socket bound to an adapter's unicast address receives no multicast at all.
// So each discovery socket is bound to the group address itself (it then receives only
// datagrams sent to the group, never unicast to the port), takes only the datagrams of
// the memberships it joined itself (IP_MULTICAST_ALL off: without it every socket on
// the port would also get the other adapters' datagrams, and one datagram would be
// answered once per adapter), and sends out of its adapter (IP_MULTICAST_IF, which
// also makes the adapter's address the datagrams' source, the address peers answer).
// Several copies on one host share the port through SO_REUSEADDR.
#include "platform/multicast.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "platform/interface_list.h"

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

int netTellArrival(Socket s) {
    int on = 1;
    return setsockopt(static_cast<int>(s), IPPROTO_IP, IP_PKTINFO, &on, sizeof on) == 0 ? 0 : errno;
}

int netRecvFromOn(Socket s, void* buffer, int size, uint32_t* from, unsigned* arrival) {
    for (;;) {
        sockaddr_in sa{};
        iovec part{buffer, static_cast<size_t>(size)};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
        msghdr message{};
        message.msg_name = &sa;
        message.msg_namelen = sizeof sa;
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        ssize_t n = recvmsg(static_cast<int>(s), &message, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        *from = ntohl(sa.sin_addr.s_addr);
        *arrival = 0;
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_PKTINFO) continue;
            in_pktinfo info{};
            memcpy(&info, CMSG_DATA(c), sizeof info);
            *arrival = static_cast<unsigned>(info.ipi_ifindex);
        }
        return static_cast<int>(n);
    }
}

unsigned netInterfaceIndexOf(uint32_t address) {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return 0;
    unsigned index = 0;
    for (ifaddrs* a = list; a && !index; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET || !a->ifa_name) continue;
        const auto* sa = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
        if (ntohl(sa->sin_addr.s_addr) == address) index = if_nametoindex(baseInterfaceName(a->ifa_name).c_str());
    }
    freeifaddrs(list);
    return index;
}
