#include "selection/open_dialog_result.h"

#include <cstring>

namespace {
bool isFullWindowsPath(const std::string& name) {
    return name.size() >= 2 && (name[1] == ':' || (name[0] == '\\' && name[1] == '\\'));
}

// The NUL-ended text at position, or "" when none ends inside the buffer.
std::string textAt(const char* buffer, size_t size, size_t position) {
    if (position >= size) return std::string();
    const void* end = memchr(buffer + position, '\0', size - position);
    if (!end) return std::string();
    return std::string(buffer + position, static_cast<const char*>(end));
}
}  // namespace

std::vector<std::string> openDialogPaths(const char* buffer, size_t size, size_t nameOffset) {
    std::vector<std::string> paths;
    std::string first = textAt(buffer, size, 0);
    if (first.empty()) return paths;
    // One file: its name is part of the first text.
    if (nameOffset > 0 && nameOffset <= first.size() && buffer[nameOffset - 1] != '\0') {
        paths.push_back(first);
        return paths;
    }
    std::string folder = first;
    if (folder.back() != '\\') folder += '\\';  // a drive root already ends with one
    for (size_t at = first.size() + 1;;) {
        std::string name = textAt(buffer, size, at);
        if (name.empty()) break;
        paths.push_back(isFullWindowsPath(name) ? name : folder + name);
        at += name.size() + 1;
    }
    return paths;
}
