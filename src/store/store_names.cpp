#include "store/store_names.h"

#include <cctype>
#include <cstring>

#include "platform/files.h"

namespace {
bool isSeparator(char c) { return c == '/' || c == '\\'; }

std::string upper(const std::string& text) {
    std::string result = text;
    for (char& c : result) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return result;
}

// Whether text[at, at + count) equals pattern's first count bytes, letters in either case.
bool sameUpper(const std::string& text, size_t at, const char* pattern, size_t count) {
    for (size_t i = 0; i < count; ++i)
        if (toupper(static_cast<unsigned char>(text[at + i])) != toupper(static_cast<unsigned char>(pattern[i])))
            return false;
    return true;
}

// COM and LPT take a digit 1-9, or a superscript 1, 2 or 3 (Latin-1 or UTF-8).
bool isPortNumber(const std::string& rest) {
    if (rest.size() == 1)
        return (rest[0] >= '0' && rest[0] <= '9') || rest == "\xB9" || rest == "\xB2" || rest == "\xB3";
    return rest == "\xC2\xB9" || rest == "\xC2\xB2" || rest == "\xC2\xB3";
}
}  // namespace

bool isReservedDeviceName(const std::string& component) {
    std::string base = upper(component.substr(0, component.find('.')));
    while (!base.empty() && (base.back() == ' ' || base.back() == '.')) base.pop_back();
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || base == "CONIN$" || base == "CONOUT$")
        return true;
    if (base.size() > 3 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0))
        return isPortNumber(base.substr(3));
    return false;
}

bool localWindowsRules() { return kPathSeparator == '\\'; }

bool isSafeComponent(const std::string& component, bool windowsRules) {
    if (component.empty()) return false;
    if (component.find_first_not_of(". ") == std::string::npos) return false;  // ".", "..", "...", " "
    for (char ch : component) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F || isSeparator(ch) || ch == ':') return false;
        if (windowsRules && strchr("<>\"|?*", ch)) return false;
    }
    return !(windowsRules && isReservedDeviceName(component));
}

bool isReceiverOwnName(const std::string& component) {
    // Every record's name passes here: the comparison folds case in place, copying nothing.
    size_t size = component.size();
    while (size > 0 && (component[size - 1] == ' ' || component[size - 1] == '.')) --size;
    const size_t prefix = strlen(kPartialPrefix), suffix = strlen(kPartialSuffix);
    const size_t index = strlen(kPartialIndexName), uploads = strlen(kUploadFolderName);
    const bool partial = size >= prefix + suffix && sameUpper(component, 0, kPartialPrefix, prefix) &&
                         sameUpper(component, size - suffix, kPartialSuffix, suffix);
    return partial || (size >= index && sameUpper(component, 0, kPartialIndexName, index)) ||
           (size == uploads && sameUpper(component, 0, kUploadFolderName, uploads));
}

bool isSenderComponent(const std::string& component, bool windowsRules) {
    return isSafeComponent(component, windowsRules) && !isReceiverOwnName(component);
}

bool splitRecordDirectory(const std::string& directory, bool windowsRules, std::vector<std::string>* components) {
    components->clear();
    size_t start = 0;
    while (start < directory.size()) {
        size_t end = start;
        while (end < directory.size() && !isSeparator(directory[end])) ++end;
        if (end > start) {
            std::string component = directory.substr(start, end - start);
            if (!isSenderComponent(component, windowsRules)) {
                components->clear();
                return false;
            }
            components->push_back(component);
        }
        start = end + 1;
    }
    return true;
}

void appendComponent(std::string& path, const std::string& component, char separator) {
    if (path.empty() || (path.back() != separator && path.back() != '/')) path += separator;
    path += component;
}

std::string joinStorePath(const std::string& store, const std::vector<std::string>& components, char separator) {
    std::string path = store;
    for (const std::string& component : components) appendComponent(path, component, separator);
    return path;
}

bool fitsLocalPathLimit(const std::string& path) { return path.size() + 1 <= kLocalPathLimit; }

bool passesThroughLink(const std::string& store, const std::vector<std::string>& components, char separator) {
    std::vector<std::string> prefix;
    for (const std::string& component : components) {
        prefix.push_back(component);
        std::string path = joinStorePath(store, prefix, separator);
        const PathEntry entry = pathEntryOf(path);
        if (entry == PathEntry::Link) return true;
        if (entry == PathEntry::Missing) return false;  // nothing below a missing folder exists yet
    }
    return false;
}
