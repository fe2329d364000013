#include <windows.h>

#include "platform/computer_name.h"

std::string computerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(name, &length)) return std::string();
    char utf8[4 * (MAX_COMPUTERNAME_LENGTH + 1)] = {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, name, static_cast<int>(length), utf8, sizeof utf8, nullptr,
                                         nullptr);
    return size > 0 ? std::string(utf8, static_cast<size_t>(size)) : std::string();
}
