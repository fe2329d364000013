#include "history/history_names.h"

#include "core/text_routines.h"

std::string historyNamesText(const std::vector<std::string>& names, size_t shown, const std::string& andMore) {
    // At least one name stands for the rest, and "a and 1 more" says no more than "a, b":
    // a single name left over is shown.
    if (shown == 0) shown = 1;
    if (names.size() <= shown + 1) shown = names.size();
    std::string joined;
    for (size_t i = 0; i < shown; ++i) joined += (i ? ", " : "") + names[i];
    if (shown == names.size()) return joined;
    return fillPlaceholders(andMore, joined, std::to_string(names.size() - shown));
}

namespace {
constexpr size_t kMostPathBytes = 259;

bool plainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find_first_of("\\/:") == std::string::npos;
}

bool absoluteFolder(const std::string& folder) {
    return (folder.size() >= 3 && folder[1] == ':' && folder[2] == '\\') || folder.compare(0, 2, "\\\\") == 0;
}
}  // namespace

std::string historyItemPath(const std::string& folder, const std::string& name) {
    if (!absoluteFolder(folder) || !plainName(name)) return std::string();
    std::string path = folder.back() == '\\' ? folder : folder + '\\';
    path += name;
    return path.size() <= kMostPathBytes ? path : std::string();
}
