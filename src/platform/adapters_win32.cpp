// Windows side of the adapter list: GetAdaptersInfo into a process-heap block, first
// with room for one adapter record, then with the size the call asks for.
#include "platform/adapters.h"

#include <winsock2.h>
#include <iphlpapi.h>
#include <windows.h>

#include <cstring>

namespace {
// Room for one adapter record: 648 bytes in a 32-bit program (the record with 64-bit
// times; ours has 32-bit ones and takes 640), 704 in a 64-bit one.
constexpr ULONG kFirstBufferSize = sizeof(void*) == 8 ? sizeof(IP_ADAPTER_INFO) : 648;
static_assert(kFirstBufferSize >= sizeof(IP_ADAPTER_INFO), "room for one adapter record");

unsigned long platformListCall(void* buffer, unsigned long* size) {
    ULONG n = *size;
    DWORD rc = GetAdaptersInfo(static_cast<IP_ADAPTER_INFO*>(buffer), &n);
    *size = n;
    return rc;
}

AdapterListCall listCall = platformListCall;

void* allocate(ULONG size) { return HeapAlloc(GetProcessHeap(), 0, size); }
void release(void* buffer) { HeapFree(GetProcessHeap(), 0, buffer); }

// The first address text, bounded by its 16-byte field whatever the platform wrote.
std::string boundedText(const char* text, size_t field) {
    size_t length = strnlen(text, field);
    if (length > kAddressTextLimit) length = kAddressTextLimit;
    return std::string(text, length);
}

std::string firstAddressOf(const IP_ADAPTER_INFO* adapter) {
    return boundedText(adapter->IpAddressList.IpAddress.String, sizeof adapter->IpAddressList.IpAddress.String);
}

std::string firstMaskOf(const IP_ADAPTER_INFO* adapter) {
    return boundedText(adapter->IpAddressList.IpMask.String, sizeof adapter->IpAddressList.IpMask.String);
}
}  // namespace

void setAdapterListCall(AdapterListCall call) { listCall = call ? call : platformListCall; }

bool fetchAdapterList(std::vector<AdapterRecord>* adapters) {
    adapters->clear();
    unsigned long size = kFirstBufferSize;
    void* buffer = allocate(size);
    if (!buffer) {
        printDiagnostic("Error allocating memory needed to call GetAdaptersinfo\n");
        return false;
    }
    if (listCall(buffer, &size) == ERROR_BUFFER_OVERFLOW) {
        release(buffer);
        buffer = allocate(size);
        if (!buffer) {
            printDiagnostic("Error allocating memory needed to call GetAdaptersinfo\n");
            return false;
        }
    }
    // The second call happens also when the first one already succeeded.
    unsigned long rc = listCall(buffer, &size);
    if (rc != NO_ERROR) {
        printDiagnostic("GetAdaptersInfo failed with error: %d\n", static_cast<int>(rc));
        release(buffer);
        return false;
    }
    for (const IP_ADAPTER_INFO* a = static_cast<IP_ADAPTER_INFO*>(buffer); a; a = a->Next)
        if (a->Type != MIB_IF_TYPE_LOOPBACK)
            adapters->push_back({static_cast<int>(a->Type), firstAddressOf(a), firstMaskOf(a)});
    release(buffer);
    return true;
}
