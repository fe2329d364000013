#include "trust/trusted_list.h"

#include <algorithm>

#include "core/decimal_number.h"
#include "core/shown_characters.h"
#include "core/utf8_reader.h"
#include "platform/net.h"
#include "trust/computer_id.h"
#include "trust/trusted_store.h"

namespace {
using List = std::vector<TrustedComputer>;
}  // namespace

// Valid UTF-8 without a character never shown raw (a tab or line feed would tear the
// stored line; a mark or a zero-width character would make it pass for another name), at
// most kTrustedNameLimit bytes, cut between characters.
std::string cleanTrustedName(const std::string& name) {
    return utf8Prefix(withoutHiddenCharacters(name), kTrustedNameLimit);
}

namespace {

// Up to 18 digits, as the list has always held them.
bool parseSeconds(const std::string& text, int64_t* seconds) {
    return text.size() <= 18 && readDecimal(text, INT64_MAX, seconds);
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
