#include "trust/trusted_list.h"

#include <algorithm>
#include <cstdlib>

#include "core/shown_text.h"
#include "platform/net.h"
#include "trust/computer_id.h"
#include "trust/trusted_store.h"

namespace {
using List = std::vector<TrustedComputer>;

// The length of the UTF-8 character at text[i], 0 when none starts there (a stray or
// missing continuation byte, an overlong form, a surrogate, a value past U+10FFFF).
size_t characterLength(const std::string& text, size_t i, uint32_t* value) {
    auto byte = [&text](size_t at) { return at < text.size() ? static_cast<unsigned char>(text[at]) : 0u; };
    unsigned lead = byte(i);
    size_t length = lead < 0x80                   ? 1
                    : lead >= 0xC2 && lead < 0xE0 ? 2
                    : lead >= 0xE0 && lead < 0xF0 ? 3
                    : lead >= 0xF0 && lead < 0xF5 ? 4
                                                  : 0;
    if (length == 0) return 0;
    uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    static const uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kLeast[length] || (code >= 0xD800 && code < 0xE000) || code > 0x10FFFF) return 0;
    *value = code;
    return length;
}

// Controls, and the marks, embeddings and isolates that reorder how a name reads: a
// name is shown to a person who decides whether to trust it.
bool isControl(uint32_t code) {
    return code < 0x20 || (code >= 0x7F && code < 0xA0) || code == 0x200E || code == 0x200F ||
           (code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069);
}

}  // namespace

// Valid UTF-8 without control characters (a tab or line feed would tear the stored
// line), at most kTrustedNameLimit bytes, cut between characters.
std::string cleanTrustedName(const std::string& name) {
    std::string clean;
    for (size_t i = 0; i < name.size();) {
        uint32_t code = 0;
        size_t length = characterLength(name, i, &code);
        if (length == 0) {
            ++i;
            continue;
        }
        if (!isControl(code)) clean.append(name, i, length);
        i += length;
    }
    return utf8Prefix(clean, kTrustedNameLimit);
}

namespace {

bool parseSeconds(const std::string& text, int64_t* seconds) {
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    *seconds = std::strtoll(text.c_str(), nullptr, 10);
    return true;
}

// One line, "ID\tname\taddress\tlastSeen"; false for a torn or garbled one.
bool parseLine(const std::string& line, TrustedComputer* entry) {
    std::vector<std::string> fields;
    for (size_t start = 0;;) {
        size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) break;
        start = tab + 1;
    }
    if (fields.size() != 4) return false;
    entry->id = parseComputerId(fields[0]);
    entry->name = cleanTrustedName(fields[1]);
    entry->lastAddress = 0;
    bool addressGood = fields[2].empty() || (fields[2].size() <= 15 && netParseDotted(fields[2], &entry->lastAddress));
    return !entry->id.empty() && addressGood && parseSeconds(fields[3], &entry->lastSeen);
}

// The newest address first, once, the oldest dropped past kMostTrustedAddresses.
void keepAddress(TrustedComputer& entry, uint32_t address) {
    if (address == 0) return;
    std::vector<uint32_t>& kept = entry.addresses;
    kept.erase(std::remove(kept.begin(), kept.end(), address), kept.end());
    kept.insert(kept.begin(), address);
    if (kept.size() > kMostTrustedAddresses) kept.resize(kMostTrustedAddresses);
}

// "+ID\tA,B,..." beside its entry's line: the addresses its key was met at, newest first. A
// reader that knows only the four fields skips the line and keeps the entry.
void parseAddresses(const std::string& line, List& list) {
    const size_t tab = line.find('\t');
    const std::string id = parseComputerId(line.substr(1, tab == std::string::npos ? 0 : tab - 1));
    auto found = std::find_if(list.begin(), list.end(), [&](const TrustedComputer& e) { return e.id == id; });
    if (id.empty() || found == list.end()) return;
    std::vector<uint32_t> addresses;
    for (size_t start = tab + 1; start <= line.size() && addresses.size() < kMostTrustedAddresses;) {
        const size_t comma = std::min(line.find(',', start), line.size());
        uint32_t address = 0;
        if (comma - start <= 15 && netParseDotted(line.substr(start, comma - start), &address) && address != 0 &&
            std::find(addresses.begin(), addresses.end(), address) == addresses.end())
            addresses.push_back(address);
        start = comma + 1;
    }
    found->addresses = addresses;
    keepAddress(*found, found->lastAddress);
}

List parse(const std::string& text) {
    List list;
    std::vector<std::string> addressLines;  // taken once every entry is known: a store may sort them first
    for (size_t start = 0; start < text.size();) {
        size_t end = std::min(text.find('\n', start), text.size());
        TrustedComputer entry;
        bool whole = end < text.size();  // a last line without its line feed may be cut
        const std::string line = text.substr(start, end - start);
        if (whole && !line.empty() && line[0] == '+') {
            if (addressLines.size() < kMostTrusted) addressLines.push_back(line);
        } else if (whole && list.size() < kMostTrusted && parseLine(line, &entry) &&
                   std::none_of(list.begin(), list.end(), [&](const TrustedComputer& e) { return e.id == entry.id; })) {
            keepAddress(entry, entry.lastAddress);
            list.push_back(entry);
        }
        start = end + 1;
    }
    for (const std::string& line : addressLines) parseAddresses(line, list);
    return list;
}

std::string format(const List& list) {
    std::string text;
    for (const TrustedComputer& entry : list) {
        text += entry.id + "\t" + entry.name + "\t" + (entry.lastAddress ? netDotted(entry.lastAddress) : "") + "\t" +
                std::to_string(entry.lastSeen) + "\n";
        if (entry.addresses.empty()) continue;
        text += "+" + entry.id + "\t";
        for (size_t i = 0; i < entry.addresses.size(); ++i) text += (i ? "," : "") + netDotted(entry.addresses[i]);
        text += "\n";
    }
    return text;
}

List::iterator find(List& list, const std::string& id) {
    return std::find_if(list.begin(), list.end(), [&](const TrustedComputer& e) { return e.id == id; });
}

// Applies change to the stored list; false when change refused or the store failed.
bool change(const std::function<bool(List&)>& apply) {
    bool applied = false;
    bool stored = false;
    editTrustedText(
        [&](const std::string& text) {
            List list = parse(text);
            applied = apply(list);
            return applied ? format(list) : text;
        },
        &stored);
    return applied && stored;
}

List stored() {
    return parse(editTrustedText([](const std::string& text) { return text; }));
}
}  // namespace

bool trustComputer(const std::string& id, const std::string& name, uint32_t address) {
    const std::string shown = parseComputerId(id);
    const std::string clean = cleanTrustedName(name);
    return !shown.empty() && change([&](List& list) {
        auto found = find(list, shown);
        if (found == list.end()) {
            if (list.size() >= kMostTrusted) return false;
            list.push_back({shown, clean, address, 0, {}});
            keepAddress(list.back(), address);
            return true;
        }
        if (!clean.empty()) found->name = clean;
        if (address) found->lastAddress = address;
        keepAddress(*found, address);
        return true;
    });
}

bool untrustComputer(const std::string& id) {
    const std::string shown = parseComputerId(id);
    return !shown.empty() && change([&](List& list) {
        auto found = find(list, shown);
        if (found == list.end()) return false;
        list.erase(found);
        return true;
    });
}

std::vector<TrustedComputer> trustedComputers() { return stored(); }

bool trustedListReadable() {
    bool readable = false;
    editTrustedText([](const std::string& text) { return text; }, &readable);
    return readable;
}

std::optional<TrustedComputer> findTrusted(const std::string& id) {
    const std::string shown = parseComputerId(id);
    List list = stored();
    auto found = shown.empty() ? list.end() : find(list, shown);
    if (found == list.end()) return std::nullopt;
    return *found;
}

std::optional<TrustedComputer> findTrustedByAddress(uint32_t address) {
    if (address == 0) return std::nullopt;
    List list = stored();
    auto found = std::find_if(list.begin(), list.end(), [&](const TrustedComputer& e) {
        return std::find(e.addresses.begin(), e.addresses.end(), address) != e.addresses.end();
    });
    if (found == list.end()) return std::nullopt;
    return *found;
}

void noteTrustedSeen(const std::string& id, uint32_t address, int64_t now, TrustedMeeting how) {
    const std::string shown = parseComputerId(id);
    if (shown.empty()) return;
    change([&](List& list) {
        auto found = find(list, shown);
        if (found == list.end()) return false;
        if (how == TrustedMeeting::Came) {
            found->lastSeen = now;
            const std::vector<uint32_t>& kept = found->addresses;
            const bool known = std::find(kept.begin(), kept.end(), address) != kept.end();
            if (address != 0 && (known || kept.size() < kMostTrustedAddresses)) {
                found->lastAddress = address;
                keepAddress(*found, address);
            }
            return true;
        }
        // One address, one computer: another that sat there before has moved on.
        for (TrustedComputer& other : list) {
            if (other.id == shown) continue;
            std::vector<uint32_t>& kept = other.addresses;
            kept.erase(std::remove(kept.begin(), kept.end(), address), kept.end());
            if (other.lastAddress == address) other.lastAddress = kept.empty() ? 0 : kept.front();
        }
        found->lastAddress = address;
        keepAddress(*found, address);
        found->lastSeen = now;
        return true;
    });
}
