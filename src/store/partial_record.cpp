#include "store/partial_record.h"

#include "core/decimal_number.h"
#include "platform/files.h"
#include "store/store_names.h"

namespace {

// 18 digits stay below 2^63; a leading zero only in "0".
bool plainNumber(const std::string& text, int64_t* value) {
    return readDecimal(text, int64_t{999999999999999999}, value, LeadingZero::OnlyZeroItself);
}

bool isComputerIdText(const std::string& text) {
    if (text.empty() || text.size() > kSenderIdLimit) return false;
    for (char c : text)
        if (!((c >= 'A' && c <= 'Z') || (c >= '2' && c <= '7') || c == '-')) return false;
    return true;
}

// The components of a relative path: '/' between safe components and nothing else.
bool relativeComponents(const std::string& relative, bool windowsRules, std::vector<std::string>* components) {
    components->clear();
    if (relative.empty()) return false;
    size_t start = 0;
    for (;;) {
        const size_t slash = relative.find('/', start);
        const std::string component = relative.substr(start, slash - start);
        if (!isSafeComponent(component, windowsRules) || component.find('\\') != std::string::npos) return false;
        components->push_back(component);
        if (slash == std::string::npos) return true;
        start = slash + 1;
    }
}

std::string folderOf(const std::string& relative) {
    const size_t slash = relative.rfind('/');
    return slash == std::string::npos ? std::string() : relative.substr(0, slash);
}

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        parts.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos) return parts;
        start = tab + 1;
    }
}
}  // namespace

std::string partialName(unsigned n) { return kPartialPrefix + std::to_string(n) + kPartialSuffix; }

bool isPartialName(const std::string& name) {
    const size_t prefix = 4, suffix = 8;
    if (name.size() <= prefix + suffix || name.compare(0, prefix, kPartialPrefix) != 0 ||
        name.compare(name.size() - suffix, suffix, kPartialSuffix) != 0)
        return false;
    int64_t n = 0;
    return plainNumber(name.substr(prefix, name.size() - prefix - suffix), &n) && n <= UINT32_MAX;
}

std::string partialLine(const PartialRecord& r) {
    return r.temporary + "\t" + r.target + "\t" + std::to_string(r.size) + "\t" + r.senderId + "\t" +
           std::to_string(r.cutAt) + "\n";
}

bool parsePartialLine(const std::string& line, bool windowsRules, PartialRecord* record) {
    if (line.size() >= kPartialLineLimit) return false;
    const std::vector<std::string> parts = fields(line);
    if (parts.size() != 5) return false;
    PartialRecord r;
    r.temporary = parts[0];
    r.target = parts[1];
    r.senderId = parts[3];
    std::vector<std::string> temporary, target;
    if (!relativeComponents(r.temporary, windowsRules, &temporary) ||
        !relativeComponents(r.target, windowsRules, &target) || !isPartialName(temporary.back()) ||
        isPartialName(target.back()) || folderOf(r.temporary) != folderOf(r.target))
        return false;
    if (!plainNumber(parts[2], &r.size) || !plainNumber(parts[4], &r.cutAt) || !isComputerIdText(r.senderId))
        return false;
    *record = r;
    return true;
}

std::vector<PartialRecord> parsePartialIndex(const std::string& text, bool windowsRules) {
    std::vector<PartialRecord> records;
    size_t start = 0;
    while (start < text.size() && records.size() < kMostPartialRecords) {
        size_t feed = text.find('\n', start);
        if (feed == std::string::npos) break;  // a last line without its line feed was cut
        PartialRecord record;
        if (parsePartialLine(text.substr(start, feed - start), windowsRules, &record)) records.push_back(record);
        start = feed + 1;
    }
    return records;
}

std::string partialLocalPath(const std::string& store, const std::string& relative) {
    std::vector<std::string> components;
    if (!relativeComponents(relative, localWindowsRules(), &components)) return std::string();
    std::string path = joinStorePath(store, components, kPathSeparator);
    // A link in the partial file's place could lead a read or a write out of the store
    // (passesThroughLink looks at the file's own name too).
    if (!fitsLocalPathLimit(path) || passesThroughLink(store, components, kPathSeparator)) return std::string();
    return path;
}
