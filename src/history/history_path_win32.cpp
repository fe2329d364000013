#include <windows.h>
#include <shlobj.h>

#include "history/history.h"
#include "history/history_path.h"

namespace {
std::string toUtf8(const std::wstring& wide) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return std::string();
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &utf8[0], size, nullptr, nullptr);
    utf8.resize(static_cast<size_t>(size) - 1);
    return utf8;
}

std::wstring toWide(const std::string& utf8) {
    const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    if (size <= 1) return std::wstring();
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &wide[0], size);
    wide.resize(static_cast<size_t>(size) - 1);
    return wide;
}
}  // namespace

// LOCALAPPDATA names the same folder as the shell's; tests point it at a folder of theirs.
// The path is UTF-8, as SQLite takes it, whatever the code page.
std::string historyPath() {
    wchar_t folder[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        if (SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder) != S_OK) return "";
    }
    return toUtf8(std::wstring(folder) + L"\\Quorvalinthexa\\history.db");
}

std::string prepareHistoryFile(const std::string& path) {
    const std::wstring wide = toWide(path);
    const size_t slash = wide.find_last_of(L"\\/");
    if (slash != std::wstring::npos && slash > 0) CreateDirectoryW(wide.substr(0, slash).c_str(), nullptr);
    return path;
}
