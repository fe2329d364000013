// POSIX side of the adapter list: getifaddrs, with the wireless test done in sysfs.
#include "platform/adapters.h"

#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>

#include "platform/interface_list.h"
#include "platform/net.h"

namespace {
bool sysfsEntryExists(const std::string& interface, const char* entry) {
    std::string path = "/sys/class/net/" + interface + "/" + entry;
    return access(path.c_str(), F_OK) == 0;
}

// The hardware type from sysfs, for a system whose listing has no link-layer rows.
int sysfsHardwareType(const std::string& interface) {
    std::ifstream in("/sys/class/net/" + interface + "/type");
    int type = -1;
    if (!(in >> type)) return -1;
    return type;
}

InterfaceRow rowOf(const ifaddrs* entry) {
    InterfaceRow row;
    row.name = entry->ifa_name ? entry->ifa_name : "";
    row.loopback = (entry->ifa_flags & IFF_LOOPBACK) != 0;
    row.up = (entry->ifa_flags & IFF_UP) != 0;
    std::string base = baseInterfaceName(row.name);
    row.index = if_nametoindex(base.c_str());
    row.wireless = sysfsEntryExists(base, "wireless") || sysfsEntryExists(base, "phy80211");
    const sockaddr* address = entry->ifa_addr;
    if (address && address->sa_family == AF_PACKET) {
        row.hardwareType = reinterpret_cast<const sockaddr_ll*>(address)->sll_hatype;
    } else if (address && address->sa_family == AF_INET) {
        uint32_t host = ntohl(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr);
        row.ipv4 = netDotted(host);
        if (entry->ifa_netmask && entry->ifa_netmask->sa_family == AF_INET)
            row.ipv4Mask = netDotted(ntohl(reinterpret_cast<const sockaddr_in*>(entry->ifa_netmask)->sin_addr.s_addr));
        row.hardwareType = sysfsHardwareType(base);
    }
    return row;
}
}  // namespace

bool fetchAdapterList(std::vector<AdapterRecord>* adapters) {
    adapters->clear();
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        printDiagnostic("getifaddrs failed with error: %d\n", errno);
        return false;
    }
    std::vector<InterfaceRow> rows;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) rows.push_back(rowOf(entry));
    freeifaddrs(list);
    *adapters = adapterRecordsFromRows(rows);
    return true;
}
