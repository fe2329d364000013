#include "platform/registry.h"

#include <windows.h>

#include <vector>

#include "platform/codepage.h"

namespace {
HKEY openForWriting(const wchar_t* key) {
    HKEY opened = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_WRITE, nullptr, &opened, nullptr) != ERROR_SUCCESS)
        return nullptr;
    return opened;
}
}  // namespace

bool readUserText(const wchar_t* key, const wchar_t* name, size_t maxChars, std::string* text) {
    text->clear();
    HKEY opened;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) return false;
    // The size is asked first; the value may change in between, so the second read is
    // bounded by the buffer, never by what the first one said.
    DWORD type = 0, size = 0;
    bool ok = RegQueryValueExW(opened, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_SZ &&
              size <= (maxChars + 1) * sizeof(wchar_t);
    std::vector<wchar_t> value(maxChars + 2, L'\0');
    size = static_cast<DWORD>((maxChars + 1) * sizeof(wchar_t));
    ok = ok &&
         RegQueryValueExW(opened, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) ==
             ERROR_SUCCESS &&
         type == REG_SZ;
    RegCloseKey(opened);
    if (ok) *text = wideToAnsi(value.data());
    return ok;
}

bool writeUserText(const wchar_t* key, const wchar_t* name, const std::string& text) {
    HKEY opened = openForWriting(key);
    if (!opened) return false;
    std::wstring wide = ansiToWide(text);
    LONG rc = RegSetValueExW(opened, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                             static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(opened);
    return rc == ERROR_SUCCESS;
}

bool readUserNumber(const wchar_t* key, const wchar_t* name, uint32_t* value) {
    HKEY opened;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) return false;
    DWORD number = 0, size = sizeof number, type = 0;
    LONG rc = RegQueryValueExW(opened, name, nullptr, &type, reinterpret_cast<BYTE*>(&number), &size);
    RegCloseKey(opened);
    if (rc != ERROR_SUCCESS || type != REG_DWORD || size != sizeof number) return false;
    *value = number;
    return true;
}

bool writeUserNumber(const wchar_t* key, const wchar_t* name, uint32_t value) {
    HKEY opened = openForWriting(key);
    if (!opened) return false;
    DWORD number = value;
    LONG rc = RegSetValueExW(opened, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
    RegCloseKey(opened);
    return rc == ERROR_SUCCESS;
}
