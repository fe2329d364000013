#include "banner/banner_link.h"

#include <cctype>

namespace {
bool startsWithNoCase(const std::string& text, const char* prefix) {
    size_t i = 0;
    for (; prefix[i]; ++i)
        if (i >= text.size() || std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    return true;
}
}  // namespace

bool isOpenableLink(const std::string& link) {
    if (link.find('\0') != std::string::npos) return false;
    size_t hostStart;
    if (startsWithNoCase(link, "http://")) hostStart = 7;
    else if (startsWithNoCase(link, "https://")) hostStart = 8;
    else return false;
    if (hostStart >= link.size() || link[hostStart] == '/' || link[hostStart] == '\\') return false;
    for (unsigned char c : link)
        if (c <= 0x20 || c == 0x7F) return false;
    return true;
}
