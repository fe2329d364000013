#include "windows/receive_settings_win32.h"

#include <windows.h>

#include <vector>

#include "platform/codepage.h"
#include "windows/app_state_win32.h"

namespace {
// The choice that Resume brings back (main window's thread only).
AcceptFrom beforePause = AcceptFrom::Nobody;

std::string readAllowedSenders(HKEY key) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key, L"AllowedSenders", nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ ||
        size > (kAllowedSendersLimit + 1) * sizeof(wchar_t))
        return std::string();
    std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key, L"AllowedSenders", nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
        ERROR_SUCCESS)
        return std::string();
    return wideToAnsi(text.data());
}
}  // namespace

ReceiveSettings readReceiveSettings() {
    ReceiveSettings settings;
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKeyW, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return settings;
    DWORD value = 0, size = sizeof value, type = 0;
    LONG rc = RegQueryValueExW(key, L"AcceptFrom", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    if (rc == ERROR_SUCCESS) {
        settings.choice = type == REG_DWORD && size == sizeof value ? acceptFromStored(value) : AcceptFrom::Nobody;
    } else if (rc != ERROR_FILE_NOT_FOUND) {
        settings.choice = AcceptFrom::Nobody;  // there, but unreadable
    }
    settings.allowed = readAllowedSenders(key);
    size = sizeof value;
    rc = RegQueryValueExW(key, L"ExistingFiles", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    if (rc != ERROR_FILE_NOT_FOUND)
        settings.existing = rc == ERROR_SUCCESS && type == REG_DWORD && size == sizeof value
                                ? existingChoiceStored(value)
                                : ExistingChoice::KeepBoth;
    RegCloseKey(key);
    return settings;
}

bool writeReceiveSettings(const ReceiveSettings& settings) {
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKeyW, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    DWORD value = static_cast<DWORD>(settings.choice);
    RegSetValueExW(key, L"AcceptFrom", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    std::wstring list = ansiToWide(settings.allowed);
    RegSetValueExW(key, L"AllowedSenders", 0, REG_SZ, reinterpret_cast<const BYTE*>(list.c_str()),
                   static_cast<DWORD>((list.size() + 1) * sizeof(wchar_t)));
    value = static_cast<DWORD>(settings.existing);
    RegSetValueExW(key, L"ExistingFiles", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
    return true;
}

void applyReceiveSettings(const ReceiveSettings& settings) {
    std::vector<SenderRange> ranges;
    parseSenderList(settings.allowed, &ranges);
    setReceivePolicy(settings.choice, ranges);
    setExistingChoice(settings.existing);
    forgetDeclined();
}

void applyStoredReceivePolicy() { applyReceiveSettings(readReceiveSettings()); }

bool receivingPaused() { return receivePolicyChoice() == AcceptFrom::Nobody; }

void pauseReceiving(bool pause) {
    ReceiveSettings settings = readReceiveSettings();
    if (pause) {
        beforePause = receivePolicyChoice();
        settings.choice = AcceptFrom::Nobody;
    } else {
        settings.choice = beforePause != AcceptFrom::Nobody ? beforePause : AcceptFrom::Ask;
    }
    applyReceiveSettings(settings);  // in force even where it cannot be stored
    writeReceiveSettings(settings);
}
