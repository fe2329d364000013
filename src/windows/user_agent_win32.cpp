#include "windows/banner_display_win32.h"

#include "platform/codepage.h"

std::string readUserAgentSetting() {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return std::string();
    wchar_t value[150] = {};  // 299 bytes of data at most, and room for the terminator
    DWORD type = 0, size = 299;
    LONG rc = RegQueryValueExW(key, L"User Agent", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    // A longer value does not fit and is not read at all.
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::string();
    value[size / sizeof(wchar_t)] = L'\0';
    std::string agent = wideToAnsi(std::wstring(value));
    return agent.size() <= kBannerUserAgentLimit ? agent : std::string();
}
