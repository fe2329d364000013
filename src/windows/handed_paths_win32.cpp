#include "windows/handed_paths_win32.h"

#include <sddl.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>

#include "platform/codepage.h"
#include "selection/selection_list.h"
#include "windows/tray_win32.h"

namespace {
constexpr ULONG_PTR kHandedPathsTag = 0x51564850;  // "QVHP"
// A command line holds at most 32767 characters, and so at most half as many paths.
constexpr DWORD kMostBytes = 32768 * sizeof(wchar_t);
constexpr size_t kMostPaths = 16384;
constexpr UINT kHandTimeout = 10000;  // milliseconds a hung copy may keep the second start

std::vector<std::wstring> waiting;  // main window's thread only

// The user of a process, as its SID's text ("" when it cannot be told).
std::wstring processUser(HANDLE process) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token)) return std::wstring();
    BYTE buffer[256] = {};
    DWORD size = 0;
    std::wstring user;
    wchar_t* text = nullptr;
    if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) {
        user = text;
        LocalFree(text);
    }
    CloseHandle(token);
    return user;
}

// The window that sent the message belongs to a process of this user in this session.
bool senderIsOurs(WPARAM sender) {
    DWORD pid = 0, session = 0, ownSession = 0;
    if (!IsWindow(reinterpret_cast<HWND>(sender)) || !GetWindowThreadProcessId(reinterpret_cast<HWND>(sender), &pid))
        return false;
    if (!ProcessIdToSessionId(pid, &session) || !ProcessIdToSessionId(GetCurrentProcessId(), &ownSession) ||
        session != ownSession)
        return false;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process) return false;
    std::wstring user = processUser(process);
    CloseHandle(process);
    return !user.empty() && user == processUser(GetCurrentProcess());
}

// Splits "path\0path\0\0"; false for anything else.
bool splitPaths(const COPYDATASTRUCT* data, std::vector<std::wstring>* paths) {
    if (!data || data->dwData != kHandedPathsTag || !data->lpData || data->cbData < 2 * sizeof(wchar_t) ||
        data->cbData > kMostBytes || data->cbData % sizeof(wchar_t) != 0)
        return false;
    const wchar_t* text = static_cast<const wchar_t*>(data->lpData);
    const size_t count = data->cbData / sizeof(wchar_t);
    if (text[count - 1] != L'\0' || text[count - 2] != L'\0') return false;
    for (size_t at = 0; text[at] != L'\0'; at += paths->back().size() + 1) {
        paths->emplace_back(text + at);
        if (paths->size() > kMostPaths) return false;
    }
    return true;
}

void showMainWindow(HWND window) {
    if (isInTray()) removeTrayIcon();
    else if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
    SetForegroundWindow(window);
}
}  // namespace

// As a drop: a path longer than the selection's field is refused, not cut.
void addPaths(HWND window, const std::vector<std::wstring>& paths) {
    for (const std::wstring& path : paths) {
        if (path.empty() || path.size() >= 260) continue;
        std::string narrow = wideToAnsi(path);
        if (narrow.size() <= kMaxSelectionPath) addSelectionPathByKind(narrow);
    }
    SendMessageW(window, WM_ACTIVATE, 0, 0);  // the summary line
}

std::vector<std::wstring> droppedPaths(HDROP drop) {
    std::vector<std::wstring> paths;
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count && paths.size() < kMostPaths; ++i) {
        // The copying call cuts a long path and reports only what it copied: the length
        // is asked first, and a path longer than the field is refused, not cut.
        const UINT length = DragQueryFileW(drop, i, nullptr, 0);
        if (length == 0 || length >= 260) continue;
        wchar_t path[260] = {};
        if (DragQueryFileW(drop, i, path, 260) == length) paths.emplace_back(path);
    }
    return paths;
}

std::vector<std::wstring> commandLinePaths(const char* commandLine) {
    std::vector<std::wstring> paths;
    if (!commandLine[0] || !strcmp(commandLine, "--autostart")) return paths;
    std::wstring wide = ansiToWide(commandLine);
    int count = 0;
    if (wide.empty()) return paths;
    LPWSTR* arguments = CommandLineToArgvW(wide.c_str(), &count);
    if (!arguments) {
        fputws(L"CommandLineToArgvW failed\n", stdout);
        return paths;
    }
    for (int i = 0; i < count; ++i) paths.emplace_back(arguments[i]);
    LocalFree(arguments);
    return paths;
}

bool handPathsTo(HWND running, const std::vector<std::wstring>& paths) {
    std::wstring list;
    for (const std::wstring& path : paths) list += path + L'\0';
    list += L'\0';
    if (list.size() * sizeof(wchar_t) > kMostBytes) return false;
    // A window of our own names the sender, so that the running copy can see whose it is.
    HWND self = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    COPYDATASTRUCT data = {kHandedPathsTag, static_cast<DWORD>(list.size() * sizeof(wchar_t)), &list[0]};
    DWORD_PTR taken = FALSE;
    bool sent = SendMessageTimeoutW(running, WM_COPYDATA, reinterpret_cast<WPARAM>(self),
                                    reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG, kHandTimeout, &taken) != 0;
    if (self) DestroyWindow(self);
    return sent && taken == TRUE;
}

BOOL takeHandedPaths(HWND window, WPARAM sender, const COPYDATASTRUCT* data) {
    std::vector<std::wstring> paths;
    if (!splitPaths(data, &paths) || !senderIsOurs(sender)) return FALSE;
    // A dialog of the main window may be reading the selection (the analysis does, on a
    // thread of its own): the paths wait until it has closed.
    if (!IsWindowEnabled(window)) {
        if (waiting.size() + paths.size() > kMostPaths) return FALSE;
        waiting.insert(waiting.end(), paths.begin(), paths.end());
    } else {
        addPaths(window, paths);
    }
    showMainWindow(window);
    return TRUE;
}

void takeWaitingPaths(HWND window) {
    if (waiting.empty()) return;
    std::vector<std::wstring> paths;
    paths.swap(waiting);
    addPaths(window, paths);
}
