// A record's "Directory" and "Name" from any peer, under the local and the Windows
// rules: whatever is accepted stays below the store path, as plain components that the
// file system reads as names and nothing else.
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "store/store_names.h"

namespace {
void checkComponent(const std::string& component, bool windowsRules) {
    FUZZ_CHECK(!component.empty() && component != "." && component != "..");
    FUZZ_CHECK(component.find_first_of(std::string("/\\:\0", 4)) == std::string::npos);
    FUZZ_CHECK(component.find_first_not_of(". ") != std::string::npos);
    for (char c : component) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
    if (windowsRules) FUZZ_CHECK(component.find_first_of("<>\"|?*") == std::string::npos);
}

void check(const std::string& directory, const std::string& name, bool windowsRules) {
    std::vector<std::string> components;
    bool accepted = splitRecordDirectory(directory, windowsRules, &components);
    if (!accepted) {
        FUZZ_CHECK(components.empty());
        return;
    }
    for (const std::string& component : components) checkComponent(component, windowsRules);
    if (isSafeComponent(name, windowsRules)) {
        checkComponent(name, windowsRules);
        components.push_back(name);
    }
    const char separator = windowsRules ? '\\' : '/';
    const std::string store = windowsRules ? "C:\\store" : "/store";
    std::string path = joinStorePath(store, components, separator);
    if (components.empty()) {
        FUZZ_CHECK(path == store);
        return;
    }
    FUZZ_CHECK(path.compare(0, store.size() + 1, store + separator) == 0);
    // Exactly one separator before each component, none inside them.
    size_t separators = 0;
    for (size_t i = store.size(); i < path.size(); ++i) separators += path[i] == separator;
    FUZZ_CHECK(separators == components.size());
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    // Parsed values never hold a NUL: the first one separates the two.
    size_t cut = input.find('\0');
    std::string directory = input.substr(0, cut);
    std::string name = cut == std::string::npos ? std::string() : input.substr(cut + 1);
    name = name.substr(0, name.find('\0'));
    check(directory, name, false);
    check(directory, name, true);
    return 0;
}
