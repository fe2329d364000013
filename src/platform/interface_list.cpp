#include "platform/interface_list.h"

#include <algorithm>

namespace {
constexpr int kHardwareEther = 1;  // ARPHRD_ETHER
constexpr int kHardwarePpp = 512;  // ARPHRD_PPP

struct Interface {
    std::string name;
    unsigned index = 0;
    size_t firstSeen = 0;
    bool skip = false;
    int hardwareType = -1;
    bool wireless = false;
    std::string ipv4, ipv4Mask;
};

int adapterType(const Interface& i) {
    if (i.wireless) return kAdapterTypeWireless;
    if (i.hardwareType == kHardwareEther) return kAdapterTypeEthernet;
    if (i.hardwareType == kHardwarePpp) return kAdapterTypePpp;
    return kAdapterTypeOther;
}

Interface& interfaceFor(std::vector<Interface>& interfaces, const InterfaceRow& row) {
    std::string name = baseInterfaceName(row.name);
    for (Interface& i : interfaces)
        if (i.name == name) return i;
    Interface added;
    added.name = name;
    added.firstSeen = interfaces.size();
    interfaces.push_back(added);
    return interfaces.back();
}
}  // namespace

std::string baseInterfaceName(const std::string& name) { return name.substr(0, name.find(':')); }

std::vector<AdapterRecord> adapterRecordsFromRows(const std::vector<InterfaceRow>& rows) {
    std::vector<Interface> interfaces;
    for (const InterfaceRow& row : rows) {
        Interface& i = interfaceFor(interfaces, row);
        bool labelled = row.name != i.name;  // an address label carries no interface facts
        if (!labelled) {
            if (row.index != 0) i.index = row.index;
            if (row.loopback || !row.up) i.skip = true;
            if (row.hardwareType >= 0) i.hardwareType = row.hardwareType;
            if (row.wireless) i.wireless = true;
        }
        if (row.loopback) i.skip = true;
        // Only the first address counts, and only one that fits the 16-byte field.
        if (i.ipv4.empty() && !row.ipv4.empty() && row.ipv4.size() <= kAddressTextLimit) {
            i.ipv4 = row.ipv4;
            i.ipv4Mask = row.ipv4Mask;
        }
    }
    std::stable_sort(interfaces.begin(), interfaces.end(), [](const Interface& a, const Interface& b) {
        // Interfaces of unknown index keep their place after the known ones.
        if ((a.index == 0) != (b.index == 0)) return a.index != 0;
        return a.index != 0 ? a.index < b.index : a.firstSeen < b.firstSeen;
    });
    std::vector<AdapterRecord> records;
    for (const Interface& i : interfaces)
        if (!i.skip) records.push_back({adapterType(i), i.ipv4, i.ipv4Mask});
    return records;
}
