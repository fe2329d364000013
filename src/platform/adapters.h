// Local network adapters: for each adapter its type code and first IPv4 address, in the
// platform's own order. Discovery and the own address apply their rules to this list
// (discovery/own_address.h).
#pragma once
#include <cstdio>
#include <string>
#include <vector>

constexpr int kAdapterTypeOther = 1;      // MIB_IF_TYPE_OTHER
constexpr int kAdapterTypeEthernet = 6;   // MIB_IF_TYPE_ETHERNET
constexpr int kAdapterTypePpp = 23;       // MIB_IF_TYPE_PPP
constexpr int kAdapterTypeWireless = 71;  // IF_TYPE_IEEE80211

// Only the first address of an adapter is ever looked at.
constexpr size_t kAddressTextLimit = 15;  // a 16-byte field: 15 characters and a NUL

struct AdapterRecord {
    int type = kAdapterTypeOther;
    std::string firstAddress;  // dotted text, at most 15 characters; "" or "0.0.0.0" when none
    std::string firstMask;     // that address's subnet mask, dotted; "" when not known
};

// Fills adapters (emptied first). On failure prints a diagnostic line and returns false
// with an empty list. The loopback interface is never listed.
bool fetchAdapterList(std::vector<AdapterRecord>* adapters);

// Where adapter and discovery set-up failures are printed: standard output in the
// program, where a windowed process shows nothing; the command-line peer uses stderr.
extern std::FILE* discoveryDiagnostics;
// Prints one diagnostic (printf format). On a stream other than stdout a missing line
// end is added, so terminal output stays readable.
void printDiagnostic(const char* format, ...) __attribute__((format(printf, 1, 2)));

#ifdef _WIN32
// The platform's list call (GetAdaptersInfo's contract: buffer, in/out byte size,
// result code). Tests put a fake in its place; nullptr restores the real one.
using AdapterListCall = unsigned long (*)(void* buffer, unsigned long* size);
void setAdapterListCall(AdapterListCall call);
#endif
