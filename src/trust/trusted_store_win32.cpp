// The pinned list on Windows: one REG_SZ value per computer under
// HKEY_CURRENT_USER\Software\Kelvadro\Quorvalinthexa\Trusted, named by its ID, holding
// "name\taddress\tlastSeen", and one named "+ID" holding the addresses its key was met at
// (read and written as UTF-16, UTF-8 on our side). Changes of several processes are taken
// in turn under a named mutex.
#include <windows.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "trust/trusted_list.h"
#include "trust/trusted_store.h"

const wchar_t* trustedRegistryKey = L"Software\\Kelvadro\\Quorvalinthexa\\Trusted";

namespace {
const wchar_t kLockName[] = L"Local\\QuorvalinthexaTrusted";
constexpr DWORD kLockMilliseconds = 5000;
constexpr DWORD kMostValues = 4 * kMostTrusted;  // a key filled by hand is read only this far
constexpr DWORD kNameChars = 64;                 // an ID is 39 characters
constexpr DWORD kDataChars = 512;                // a name of 64 bytes, an address, a time

std::wstring toWide(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(size > 0 ? size : 0), L'\0');
    if (size > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], size);
    return wide;
}

std::string toUtf8(const std::wstring& wide) {
    if (wide.empty()) return std::string();
    int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                   nullptr);
    std::string utf8(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &utf8[0], size, nullptr, nullptr);
    return utf8;
}

std::mutex troubleLock;
std::string trouble;

using Values = std::map<std::string, std::string>;  // ID -> "name\taddress\tlastSeen"

// The key's text values; one that is too long, of another type or holds a line break is
// left out (its line would not parse anyway).
// *readable is false when the key exists but cannot be read.
Values readValues(bool* readable) {
    Values values;
    HKEY key;
    const LONG opened = RegOpenKeyExW(HKEY_CURRENT_USER, trustedRegistryKey, 0, KEY_QUERY_VALUE, &key);
    *readable = opened == ERROR_SUCCESS || opened == ERROR_FILE_NOT_FOUND;
    if (opened != ERROR_SUCCESS) return values;
    std::vector<wchar_t> data(kDataChars + 1);
    for (DWORD index = 0; index < kMostValues; ++index) {
        wchar_t name[kNameChars + 1];
        DWORD nameChars = kNameChars + 1;
        DWORD type = 0;
        DWORD bytes = kDataChars * sizeof(wchar_t);
        LONG result = RegEnumValueW(key, index, name, &nameChars, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                                    &bytes);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS || type != REG_SZ) continue;
        std::wstring text(data.data(), bytes / sizeof(wchar_t));
        while (!text.empty() && text.back() == L'\0') text.pop_back();
        if (text.find_first_of(L"\r\n") != std::wstring::npos) continue;
        values[toUtf8(std::wstring(name, nameChars))] = toUtf8(text);
    }
    RegCloseKey(key);
    return values;
}

std::string textOf(const Values& values) {
    std::string text;
    for (const auto& value : values) text += value.first + "\t" + value.second + "\n";
    return text;
}

Values valuesOf(const std::string& text) {
    Values values;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        const size_t tab = line.find('\t');
        if (tab != std::string::npos) values[line.substr(0, tab)] = line.substr(tab + 1);
        start = end + 1;
    }
    return values;
}

// Makes the key hold exactly values: the others are deleted, the changed ones written.
bool writeValues(const Values& before, const Values& after) {
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, trustedRegistryKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    bool written = true;
    for (const auto& value : before) {
        if (!after.count(value.first))
            written = RegDeleteValueW(key, toWide(value.first).c_str()) == ERROR_SUCCESS && written;
    }
    for (const auto& value : after) {
        auto old = before.find(value.first);
        if (old != before.end() && old->second == value.second) continue;
        const std::wstring data = toWide(value.second);
        written = RegSetValueExW(key, toWide(value.first).c_str(), 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(data.c_str()),
                                 static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS &&
                  written;
    }
    RegCloseKey(key);
    return written;
}
}  // namespace

std::string editTrustedText(const TrustedTextEdit& edit, bool* stored) {
    HANDLE lock = CreateMutexW(nullptr, FALSE, kLockName);
    // An abandoned mutex is ours all the same; after the time the edit goes on unlocked.
    const bool locked = lock && WaitForSingleObject(lock, kLockMilliseconds) != WAIT_TIMEOUT;
    bool readable = true;
    const Values before = readValues(&readable);
    const std::string text = textOf(before);
    std::string edited = edit(text);
    // A key that cannot be read is never replaced by what was added to nothing.
    const bool written = readable && (edited == text || writeValues(before, valuesOf(edited)));
    if (stored) *stored = written;
    {
        std::lock_guard<std::mutex> guard(troubleLock);
        trouble = !readable ? "the registry key of the trusted computers cannot be read; it was left as it is"
                  : written ? std::string()
                            : "the registry key of the trusted computers cannot be written";
    }
    if (locked) ReleaseMutex(lock);
    if (lock) CloseHandle(lock);
    return edited;
}

std::string trustedStoreTrouble() {
    std::lock_guard<std::mutex> guard(troubleLock);
    return trouble;
}
