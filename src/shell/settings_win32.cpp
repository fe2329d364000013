#include "shell/settings_win32.h"

#include "shell/app_state_win32.h"

bool readLanguageSetting(std::string* code) {
    code->clear();
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKeyA, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    char value[52] = {};
    DWORD size = 51;
    DWORD type = 0;
    if (RegQueryValueExA(key, "Language", nullptr, &type, reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS &&
        type == REG_SZ) {
        std::string text(value);
        if (text.size() <= 14) *code = text;
    }
    RegCloseKey(key);
    return true;
}

bool readSwitchSetting(const wchar_t* name) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKeyA, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    DWORD value = 0;
    DWORD size = sizeof value;
    LONG rc = RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS && size == sizeof value && value == 1;
}

bool readStorePathSetting(std::wstring* path) {
    path->clear();
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKeyW, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    wchar_t value[261] = {};
    DWORD size = 260 * sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key, L"Directory", nullptr, &type, reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS &&
        type == REG_SZ)
        *path = value;
    RegCloseKey(key);
    return true;
}

void writeStorePathSetting(const std::wstring& path) {
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKeyW, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    RegSetValueExW(key, L"Directory", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                   static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}
