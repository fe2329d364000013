#include "platform/codepage.h"

#include <climits>
#include <cstdlib>
#include <unistd.h>

std::string ansiToUtf8(const std::string& ansi) { return ansi; }
std::string utf8ToAnsi(const std::string& utf8) { return utf8; }
void useUtf8Names() {}

std::wstring ansiToWide(const std::string& ansi) {
    std::wstring wide(ansi.size() + 1, L'\0');
    size_t n = mbstowcs(&wide[0], ansi.c_str(), wide.size());
    if (n == static_cast<size_t>(-1)) return std::wstring(ansi.begin(), ansi.end());
    wide.resize(n);
    return wide;
}

std::string wideToAnsi(const std::wstring& wide) {
    std::string ansi(wide.size() * 4 + 1, '\0');
    size_t n = wcstombs(&ansi[0], wide.c_str(), ansi.size());
    if (n == static_cast<size_t>(-1)) return std::string();
    ansi.resize(n);
    return ansi;
}

std::string programPath() {
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return std::string();
    return std::string(path, static_cast<size_t>(n));
}
