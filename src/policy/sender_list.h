// The list of senders that may send when only listed senders are admitted: IPv4 addresses
// and CIDR ranges ("192.168.1.20 10.0.0.0/24"), separated by spaces or commas.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// A range of addresses in host byte order: an address matches when its first prefix bits
// equal network's.
struct SenderRange {
    uint32_t network = 0;
    uint32_t mask = 0;
};

// Reads every entry of text into ranges and answers the entries it could not read, in
// their order (none: the whole list is good). Entries are dotted addresses of four
// decimal numbers up to 255, without signs or leading zeros, each with an optional
// "/0" to "/32". A range written with host bits set (10.0.0.5/24) is the range they lie in.
std::vector<std::string> parseSenderList(const std::string& text, std::vector<SenderRange>* ranges);
bool senderListed(const std::vector<SenderRange>& ranges, uint32_t address);
