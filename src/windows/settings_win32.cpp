#include "windows/settings_win32.h"

#include "core/autostart_command.h"
#include "platform/codepage.h"
#include "windows/app_state_win32.h"

namespace {
const char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kAutostartValue[] = "Quorvalinthexa";
constexpr size_t kMaxLanguageCode = 14;

void setNumber(HKEY key, const char* name, bool on) {
    DWORD value = on ? 1 : 0;
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}
}  // namespace

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
        if (text.size() <= kMaxLanguageCode) *code = text;
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

bool writeSettings(const StoredSettings& settings) {
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKeyW, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    // A code wider than its field is stored as automatic rather than cut.
    std::string code = settings.language.size() <= kMaxLanguageCode ? settings.language : std::string();
    RegSetValueExA(key, "Language", 0, REG_SZ, reinterpret_cast<const BYTE*>(code.c_str()),
                   static_cast<DWORD>(code.size() + 1));
    writeAutostart(settings.autostart);
    setNumber(key, "AutostartInTray", settings.autostartInTray);
    setNumber(key, "MinimizeToTray", settings.minimizeToTray);
    RegCloseKey(key);
    return true;
}

bool writeAutostart(bool enabled) {
    std::string command;
    if (enabled) {
        command = autostartCommand(programPath());
        if (command.empty()) return false;  // a cut path would start something else
    }
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kRunKey, 0, KEY_WRITE, &key) != ERROR_SUCCESS) return false;
    LONG rc;
    if (enabled) {
        rc = RegSetValueExA(key, kAutostartValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                            static_cast<DWORD>(command.size() + 1));
    } else {
        rc = RegDeleteValueA(key, kAutostartValue);
        if (rc == ERROR_FILE_NOT_FOUND) rc = ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

bool isAutostartEnabled() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kRunKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    LONG rc = RegQueryValueExA(key, kAutostartValue, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return rc != ERROR_FILE_NOT_FOUND;
}
