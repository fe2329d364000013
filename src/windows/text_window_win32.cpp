#include "windows/text_window_win32.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

#include "core/peer_text.h"
#include "core/shown_text.h"
#include "core/utf8_reader.h"
#include "platform/codepage.h"
#include "resource.h"
#include "windows/app_state_win32.h"
#include "windows/dialog_keys_win32.h"
#include "windows/texts_win32.h"

namespace {
constexpr UINT_PTR kCopiedTimer = 1;
constexpr UINT kCopiedMilliseconds = 2000;  // how long Copy reads "Copied"

struct Arrival {
    std::string address;
    std::string text;
};

// Handed over by the server's threads, taken by the window's thread.
std::mutex arrivalsLock;
std::deque<Arrival> arrivals;

// The open windows, oldest first, and the cascade place each one holds: the window's
// thread only.
struct OpenWindow {
    HWND window;
    int place;
};
std::vector<OpenWindow> openWindows;

std::wstring windowText(HWND control) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(control, &text[0], static_cast<int>(text.size()))));
    return text;
}

void copyText(HWND window) {
    if (!putOnClipboard(window, windowText(GetDlgItem(window, IDC_TEXT_BODY)))) {
        MessageBeep(MB_ICONWARNING);
        return;
    }
    SetDlgItemTextW(window, IDC_TEXT_COPY, loadTextW(IDS_TEXT_COPIED).c_str());
    SetTimer(window, kCopiedTimer, kCopiedMilliseconds, nullptr);
}

// The lowest cascade place no open window holds, so that windows opened one after
// another do not hide each other.
int freePlace() {
    for (int place = 0;; ++place)
        if (std::none_of(openWindows.begin(), openWindows.end(), [&](const OpenWindow& w) { return w.place == place; }))
            return place;
}

// From the work area's top left corner, as new windows open: the main window and the
// browser access dialog, in the middle of the screen, stay in sight.
void placeWindow(HWND window, int place) {
    RECT area = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    const int step = GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYFRAME);
    SetWindowPos(window, HWND_TOP, area.left + (place + 1) * step, area.top + (place + 1) * step, 0, 0, SWP_NOSIZE);
}

void initialise(HWND window, const Arrival& arrival) {
    // A browser's address, or a trusted computer's name (UTF-8).
    SetWindowTextW(window, loadTextWith(IDS_TEXT_TITLE, arrival.address).c_str());
    HWND body = GetDlgItem(window, IDC_TEXT_BODY);
    SendMessageW(body, EM_SETLIMITTEXT, 0, 0);  // the largest: a text's line breaks double at most
    std::u16string shown = shownText(arrival.text);
    SetWindowTextW(body, std::wstring(shown.begin(), shown.end()).c_str());
    SetDlgItemTextW(window, IDC_TEXT_COPY, loadTextW(IDS_TEXT_COPY).c_str());
    SetDlgItemTextW(window, IDCANCEL, loadTextW(IDS_TEXT_CLOSE).c_str());
    HICON icon = LoadIconW(programModule, MAKEINTRESOURCEW(IDI_PROGRAM));
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SetFocus(body);  // the arrow and page keys scroll at once; Enter copies, Esc closes
}

void forget(HWND window) {
    forgetDialogKeys(window);
    openWindows.erase(std::remove_if(openWindows.begin(), openWindows.end(),
                                     [&](const OpenWindow& w) { return w.window == window; }),
                      openWindows.end());
}

INT_PTR CALLBACK textWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            initialise(window, *reinterpret_cast<const Arrival*>(lParam));
            return FALSE;  // the focus is set
        case WM_COMMAND:
            if (HIWORD(wParam) != BN_CLICKED) break;
            if (LOWORD(wParam) == IDC_TEXT_COPY) copyText(window);
            if (LOWORD(wParam) == IDCANCEL) DestroyWindow(window);
            return TRUE;
        case WM_CTLCOLORSTATIC:
            // The read-only text on a page's white, to be read rather than look disabled.
            if (reinterpret_cast<HWND>(lParam) != GetDlgItem(window, IDC_TEXT_BODY)) break;
            SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOW));
            return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_WINDOW));
        case WM_CLOSE:  // also Esc in the text box
            DestroyWindow(window);
            return TRUE;
        case WM_TIMER:
            KillTimer(window, kCopiedTimer);
            SetDlgItemTextW(window, IDC_TEXT_COPY, loadTextW(IDS_TEXT_COPY).c_str());
            return TRUE;
        case WM_DESTROY:
            KillTimer(window, kCopiedTimer);
            forget(window);
            break;
        default: break;
    }
    return FALSE;
}

void openTextWindow(const Arrival& arrival) {
    if (openWindows.size() >= kMostTextWindows) {
        HWND oldest = openWindows.front().window;
        DestroyWindow(oldest);
        forget(oldest);  // gone even if it could not be destroyed
    }
    HWND window = CreateDialogParamW(programModule, MAKEINTRESOURCEW(IDD_TEXT), nullptr, textWindowProc,
                                     reinterpret_cast<LPARAM>(&arrival));
    if (!window) return;
    const int place = freePlace();
    openWindows.push_back({window, place});
    takeDialogKeys(window);
    placeWindow(window, place);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    // Where the system keeps another program in front, the taskbar button flashes instead.
    if (!SetForegroundWindow(window)) FlashWindow(window, TRUE);
}
}  // namespace

void handOverText(const std::string& address, const std::string& utf8Text) {
    {
        std::lock_guard<std::mutex> guard(arrivalsLock);
        if (arrivals.size() >= kMostTextWindows) arrivals.pop_front();
        arrivals.push_back({address, utf8Prefix(utf8Text, static_cast<size_t>(kMostTextBytes))});
    }
    // A window that is gone, or a full queue, drops the message: the texts wait for the next one.
    if (mainWindow) PostMessageW(mainWindow, kTextArrivedMessage, 0, 0);
}

void openArrivedTexts() {
    for (;;) {
        Arrival next;
        {
            std::lock_guard<std::mutex> guard(arrivalsLock);
            if (arrivals.empty()) return;
            next = std::move(arrivals.front());
            arrivals.pop_front();
        }
        openTextWindow(next);
    }
}

bool putOnClipboard(HWND owner, const std::wstring& text) {
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    void* data = memory ? GlobalLock(memory) : nullptr;
    if (!data) {
        if (memory) GlobalFree(memory);
        return false;
    }
    memcpy(data, text.c_str(), bytes);
    GlobalUnlock(memory);
    // Another program may hold the clipboard for a moment.
    bool opened = false;
    for (int attempt = 0; attempt < 5 && !(opened = OpenClipboard(owner)); ++attempt) Sleep(20);
    bool placed = opened && EmptyClipboard() && SetClipboardData(CF_UNICODETEXT, memory);
    if (opened) CloseClipboard();
    if (!placed) GlobalFree(memory);  // the clipboard owns it only once placed
    return placed;
}
