#include "policy/sender_list.h"

namespace {
bool isSeparator(char c) { return c == ' ' || c == ',' || c == '\t' || c == '\r' || c == '\n'; }

// A decimal number of 1 to 3 digits, no leading zero, at most limit; pos moves past it.
bool readNumber(const std::string& text, size_t* pos, uint32_t limit, uint32_t* value) {
    size_t start = *pos, end = start;
    uint32_t n = 0;
    while (end < text.size() && end - start < 4 && text[end] >= '0' && text[end] <= '9')
        n = n * 10 + static_cast<uint32_t>(text[end++] - '0');
    size_t digits = end - start;
    if (digits == 0 || digits > 3 || (digits > 1 && text[start] == '0') || n > limit) return false;
    *pos = end;
    *value = n;
    return true;
}

bool parseEntry(const std::string& entry, SenderRange* range) {
    size_t pos = 0;
    uint32_t address = 0;
    for (int part = 0; part < 4; ++part) {
        uint32_t byte = 0;
        if (part > 0 && (pos >= entry.size() || entry[pos++] != '.')) return false;
        if (!readNumber(entry, &pos, 255, &byte)) return false;
        address = address << 8 | byte;
    }
    uint32_t prefix = 32;
    if (pos < entry.size() && entry[pos] == '/') {
        ++pos;
        if (!readNumber(entry, &pos, 32, &prefix)) return false;
    }
    if (pos != entry.size()) return false;
    range->mask = prefix == 0 ? 0 : ~uint32_t{0} << (32 - prefix);
    range->network = address & range->mask;
    return true;
}
}  // namespace

std::vector<std::string> parseSenderList(const std::string& text, std::vector<SenderRange>* ranges) {
    std::vector<std::string> bad;
    ranges->clear();
    size_t pos = 0;
    while (pos < text.size()) {
        if (isSeparator(text[pos])) {
            ++pos;
            continue;
        }
        size_t end = pos;
        while (end < text.size() && !isSeparator(text[end])) ++end;
        std::string entry = text.substr(pos, end - pos);
        SenderRange range;
        if (parseEntry(entry, &range)) ranges->push_back(range);
        else bad.push_back(entry);
        pos = end;
    }
    return bad;
}

bool senderListed(const std::vector<SenderRange>& ranges, uint32_t address) {
    for (const SenderRange& range : ranges)
        if ((address & range.mask) == range.network) return true;
    return false;
}
