#include "discovery/own_address.h"

bool isUsableAddress(const std::string& text) { return text.size() > 7 && text != "0.0.0.0"; }

std::string ownAddressOf(const std::vector<AdapterRecord>& adapters) {
    for (const AdapterRecord& a : adapters) {
        bool wiredOrWireless = a.type == kAdapterTypeEthernet || a.type == kAdapterTypeWireless;
        if (wiredOrWireless && isUsableAddress(a.firstAddress)) return a.firstAddress.substr(0, kAddressTextLimit);
    }
    return std::string();
}

std::vector<std::string> discoveryAddressesOf(const std::vector<AdapterRecord>& adapters) {
    std::vector<std::string> addresses;
    for (const AdapterRecord& a : adapters)
        if (isUsableAddress(a.firstAddress)) addresses.push_back(a.firstAddress.substr(0, kAddressTextLimit));
    return addresses;
}

std::string findOwnAddress() {
    std::vector<AdapterRecord> adapters;
    fetchAdapterList(&adapters);  // on failure the list is empty
    return ownAddressOf(adapters);
}

bool getOwnAddress(wchar_t* output) {
    std::string address = findOwnAddress();
    // Dotted text is ASCII, so widening byte by byte is its UTF-16 form.
    size_t n = 0;
    for (; n < address.size() && n < kAddressTextLimit; ++n) output[n] = static_cast<unsigned char>(address[n]);
    output[n] = L'\0';
    return n >= 7 && address != "0.0.0.0";
}
