#include "windows/network_check_win32.h"

#include <objbase.h>
#include <shellapi.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "core/text_routines.h"
#include "discovery/firewall_verdict.h"
#include "discovery/network_check.h"
#include "platform/codepage.h"
#include "platform/threads.h"
#include "resource.h"
#include "transfer/listener.h"
#include "private/private_channel.h"
#include "transfer/protocol.h"
#include "windows/app_state_win32.h"
#include "windows/dialog_keys_win32.h"
#include "windows/firewall_win32.h"
#include "windows/texts_win32.h"

namespace {
constexpr int kProbeMilliseconds = 2000;
// Posted by the check's thread to the open window: its lines are ready.
constexpr UINT kCheckDoneMessage = WM_APP + 6;
// Posted by the firewall fix's thread once netsh ended: the window checks again.
constexpr UINT kFixDoneMessage = WM_APP + 7;

// The open window (nullptr when none) and the lines of the last finished check: the
// check's thread posts to the window only while it exists, under this lock.
std::mutex checkLock;
HWND checkWindow = nullptr;
std::wstring finishedText;
bool offerFix = false;  // the last check offers the firewall's fix
std::atomic<bool> checkRunning{false};

std::string utf8Text(int id) { return wideToUtf8(loadTextW(id)); }

FirewallReport firewallReport() {
    FirewallReport report;
    if (SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
        report = readFirewall();
        CoUninitialize();
    }
    return report;
}

std::string firewallLine(const FirewallVerdict& verdict) {
    std::string profile = verdict.profileTextId ? utf8Text(verdict.profileTextId) : std::string();
    return utf8Text(IDS_CHECK_FIREWALL) + " " + fillPlaceholders(utf8Text(verdict.textId), profile);
}

// The check's thread: the probe waits up to two seconds, the computers' ways and the
// firewall's answer may too.
void checkThread(void*) {
    const FirewallReport report = firewallReport();
    // The rules' paths are read in the ANSI code page too.
    const std::string program = programPath();
    const FirewallVerdict verdict = firewallVerdict(report, kTransferPort, program, kPrivatePort);
    NetworkCheck check = runNetworkCheck(transferListenerError(), kTransferPort, kProbeMilliseconds);
    blameOwnFirewall(&check.computers, firewallLetsTcpIn(report, kTransferPort, program),
                     firewallLetsTcpIn(report, kPrivatePort, program));
    std::vector<std::string> lines = networkCheckLines(check, utf8Text);
    lines.push_back(firewallLine(verdict));
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    std::lock_guard<std::mutex> guard(checkLock);
    finishedText = utf8ToWide(text);
    offerFix = offerFirewallFix(verdict, check.computers) && !firewallAllowArguments(program).empty();
    checkRunning = false;
    if (checkWindow) PostMessageW(checkWindow, kCheckDoneMessage, 0, 0);
}

// Waits for the elevated netsh to end, then has the open window check again.
void fixThread(void* process) {
    WaitForSingleObject(static_cast<HANDLE>(process), INFINITE);
    CloseHandle(static_cast<HANDLE>(process));
    std::lock_guard<std::mutex> guard(checkLock);
    if (checkWindow) PostMessageW(checkWindow, kFixDoneMessage, 0, 0);
}

// Adds the program's rule through netsh, elevated: Windows asks the user first. A user
// who says no starts nothing, and the window stays as it was. netsh is the system's own,
// by its full path: never one that happens to lie in the current folder.
void allowThroughFirewall(HWND window) {
    const std::wstring arguments = ansiToWide(firewallAllowArguments(programPath()));
    wchar_t system[MAX_PATH];
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if (arguments.empty() || length == 0 || length >= MAX_PATH) return;
    const std::wstring netsh = std::wstring(system, length) + L"\\netsh.exe";
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.hwnd = window;
    info.lpVerb = L"runas";
    info.lpFile = netsh.c_str();
    info.lpParameters = arguments.c_str();
    info.nShow = SW_HIDE;
    if (!ShellExecuteExW(&info) || !info.hProcess) return;
    if (!startThread(fixThread, info.hProcess)) CloseHandle(info.hProcess);
}

// Starts a check unless one runs; the window shows "Checking..." until its lines come.
void startCheck(HWND window) {
    SetDlgItemTextW(window, IDC_CHECK_TEXT, loadTextW(IDS_CHECKING).c_str());
    EnableWindow(GetDlgItem(window, IDC_CHECK_AGAIN), FALSE);
    if (checkRunning.exchange(true)) return;  // the running one posts here when done
    if (!startThread(checkThread, nullptr)) {
        checkRunning = false;
        EnableWindow(GetDlgItem(window, IDC_CHECK_AGAIN), TRUE);
    }
}

void showResult(HWND window) {
    std::wstring text;
    bool offer = false;
    {
        std::lock_guard<std::mutex> guard(checkLock);
        text = finishedText;
        offer = offerFix;
    }
    SetDlgItemTextW(window, IDC_CHECK_TEXT, text.c_str());
    ShowWindow(GetDlgItem(window, IDC_CHECK_ALLOW), offer ? SW_SHOW : SW_HIDE);
    EnableWindow(GetDlgItem(window, IDC_CHECK_AGAIN), TRUE);
}

void initialise(HWND window) {
    SetWindowTextW(window, loadTextW(IDS_NETWORK_CHECK_TITLE).c_str());
    SetDlgItemTextW(window, IDC_CHECK_AGAIN, loadTextW(IDS_CHECK_AGAIN).c_str());
    SetDlgItemTextW(window, IDC_CHECK_ALLOW, loadTextW(IDS_REACH_ALLOW).c_str());
    SetDlgItemTextW(window, IDCANCEL, loadTextW(IDS_TEXT_CLOSE).c_str());
    HICON icon = LoadIconW(programModule, MAKEINTRESOURCEW(IDI_PROGRAM));
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    startCheck(window);
}

INT_PTR CALLBACK checkWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            std::lock_guard<std::mutex> guard(checkLock);
            checkWindow = window;
        }
            initialise(window);
            return TRUE;
        case kCheckDoneMessage: showResult(window); return TRUE;
        case kFixDoneMessage: startCheck(window); return TRUE;
        case WM_COMMAND:
            if (HIWORD(wParam) != BN_CLICKED) break;
            if (LOWORD(wParam) == IDC_CHECK_AGAIN) startCheck(window);
            if (LOWORD(wParam) == IDC_CHECK_ALLOW) allowThroughFirewall(window);
            if (LOWORD(wParam) == IDCANCEL) DestroyWindow(window);
            return TRUE;
        case WM_CTLCOLORSTATIC:
            // The read-only lines on a page's white, to be read rather than look disabled.
            if (reinterpret_cast<HWND>(lParam) != GetDlgItem(window, IDC_CHECK_TEXT)) break;
            SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOW));
            return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_WINDOW));
        case WM_CLOSE: DestroyWindow(window); return TRUE;
        case WM_DESTROY: {
            std::lock_guard<std::mutex> guard(checkLock);
            checkWindow = nullptr;
            forgetDialogKeys(window);
            break;
        }
        default: break;
    }
    return FALSE;
}
}  // namespace

void openNetworkCheck() {
    HWND open;
    {
        std::lock_guard<std::mutex> guard(checkLock);
        open = checkWindow;
    }
    if (open) {
        ShowWindow(open, SW_RESTORE);
        SetForegroundWindow(open);
        return;
    }
    HWND window = CreateDialogParamW(programModule, MAKEINTRESOURCEW(IDD_NETWORK_CHECK), nullptr, checkWindowProc, 0);
    if (!window) return;
    takeDialogKeys(window);  // Esc closes it, Enter checks again
    ShowWindow(window, SW_SHOW);
    if (!SetForegroundWindow(window)) FlashWindow(window, TRUE);
}
