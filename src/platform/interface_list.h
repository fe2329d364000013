// Turns the rows of an interface-address listing (one row per interface and address
// family, as getifaddrs gives them) into adapter records: one per interface, in
// interface-index order, with the interface's first IPv4 address. Pure, so the rules
// are testable on synthetic rows.
#pragma once
#include <string>
#include <vector>

#include "platform/adapters.h"

struct InterfaceRow {
    std::string name;    // "eth0", or an address label such as "eth0:1"
    unsigned index = 0;  // interface index; 0 when unknown
    bool loopback = false;
    bool up = true;
    int hardwareType = -1;  // ARPHRD_* of the interface; -1 when this row does not say
    bool wireless = false;  // the interface has a wireless extension or 802.11 phy
    std::string ipv4;       // dotted address when this row carries one, else ""
    std::string ipv4Mask;   // its subnet mask, dotted, when the row carries one
};

// The interface a row belongs to: its name without an address label (":1").
std::string baseInterfaceName(const std::string& name);

// Loopback and interfaces that are down are left out. Type: 71 for wireless, 6 for an
// Ethernet-like interface, 23 for PPP, 1 otherwise. An interface without an IPv4
// address is listed with the empty address, as the platform list shows a disconnected
// adapter.
std::vector<AdapterRecord> adapterRecordsFromRows(const std::vector<InterfaceRow>& rows);
