#include "windows/browser_dialog_win32.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "core/shown_text.h"
#include "core/utf8_reader.h"
#include "core/text_routines.h"
#include "core/window_port.h"
#include "platform/codepage.h"
#include "platform/threads.h"
#include "resource.h"
#include "selection/selection_list.h"
#include "web/browser_access.h"
#include "web/qr_code.h"
#include "windows/app_state_win32.h"
#include "windows/settings_win32.h"
#include "windows/texts_win32.h"

namespace {
constexpr int kQrMargin = 4;        // modules of white around the code, as readers want
constexpr int kAddressPoints = 16;  // the address's largest type size; smaller where it would not fit
constexpr int kSmallestPoints = 9;
constexpr UINT kAccessEndedMessage = WM_APP + 1;  // to the dialog: access has stopped
constexpr size_t kMostOfferedTextBytes = 65536;   // the text the page offers, as UTF-8

// The dialog and its state: the window's thread only.
HWND openDialog = nullptr;
HFONT addressFont = nullptr;
QrMatrix shownCode;
bool stopping = false;       // Stop was pressed; access is ending on a thread of its own
bool accessEnded = false;    // access has stopped: the dialog may close
bool exitWhenEnded = false;  // the program ends once access has

// The selection as the page offers it. The server's threads read this copy: asking the
// window instead would leave them waiting whenever the window's thread waits for them.
std::mutex offeredLock;
std::vector<std::string> offeredCopy;
std::string offeredTextCopy;  // UTF-8 with "\n" line breaks, as a page expects them

// The page speaks the language of the window's texts.
std::string pageLanguage() {
    std::string code;
    if (languageModule == programModule || !readLanguageSetting(&code)) return "en";
    return code == "0419" ? "ru" : code == "0c0a" ? "es" : "en";
}

std::vector<std::string> offeredPaths() {
    std::lock_guard<std::mutex> guard(offeredLock);
    return offeredCopy;
}

std::string offeredText() {
    std::lock_guard<std::mutex> guard(offeredLock);
    return offeredTextCopy;
}

std::string wideToUtf8(const std::wstring& wide) {
    int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &text[0], n, nullptr, nullptr);
    return text;
}

// The text box changed: the page offers its text from now on. A text longer than the
// page may take is cut at the last whole character that fits, in the box too.
void takeOfferedText(HWND dialog) {
    HWND box = GetDlgItem(dialog, IDC_BROWSER_TEXT);
    std::wstring wide(static_cast<size_t>(GetWindowTextLengthW(box)) + 1, L'\0');
    wide.resize(static_cast<size_t>(GetWindowTextW(box, &wide[0], static_cast<int>(wide.size()))));
    std::string text = wideToUtf8(wide);
    if (text.size() > kMostOfferedTextBytes) {
        text = utf8Prefix(text, kMostOfferedTextBytes);
        std::u16string cut = shownText(text);
        SetWindowTextW(box, std::wstring(cut.begin(), cut.end()).c_str());
        SendMessageW(box, EM_SETSEL, cut.size(), cut.size());
        MessageBeep(MB_ICONWARNING);
    }
    std::lock_guard<std::mutex> guard(offeredLock);
    offeredTextCopy = replaceAll("\r\n", "\n", text);
}

void endAccessThread(void* dialog) {
    stopBrowserAccess();
    PostMessageW(static_cast<HWND>(dialog), kAccessEndedMessage, 0, 0);
}

// Stopping waits for the connections' threads, and a cut upload reports to the main
// window (status line, progress bar, buttons) before its thread ends: the stop runs on a
// thread of its own while this one goes on serving the windows. The dialog stays, its
// button disabled, until access has ended.
void beginStop(HWND dialog) {
    if (stopping) return;
    stopping = true;
    EnableWindow(GetDlgItem(dialog, IDCANCEL), FALSE);
    if (startThread(endAccessThread, dialog)) return;
    stopBrowserAccess();  // no thread to be had: here, the window waiting meanwhile
    accessEnded = true;
    EndDialog(dialog, 0);
}

void drawCode(const DRAWITEMSTRUCT& item) {
    RECT r = item.rcItem;
    FillRect(item.hDC, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    if (shownCode.size == 0) return;
    int side = std::min(r.right - r.left, r.bottom - r.top);
    int cell = side / (shownCode.size + 2 * kQrMargin);
    if (cell < 1) return;
    int left = r.left + (r.right - r.left - cell * shownCode.size) / 2;
    int top = r.top + (r.bottom - r.top - cell * shownCode.size) / 2;
    HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    for (int y = 0; y < shownCode.size; ++y)
        for (int x = 0; x < shownCode.size; ++x) {
            if (!shownCode.at(x, y)) continue;
            RECT module = {left + x * cell, top + y * cell, left + (x + 1) * cell, top + (y + 1) * cell};
            FillRect(item.hDC, &module, black);
        }
}

HFONT addressFontOf(HDC dc, int points) {
    int height = -MulDiv(points, GetDeviceCaps(dc, LOGPIXELSY), 72);
    return CreateFontW(height, 0, 0, 0, FW_SEMIBOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, FF_SWISS, L"Segoe UI");
}

// The largest type in which the whole address fits its field's width.
void setAddressFont(HWND field, const std::wstring& text) {
    RECT box = {};
    GetClientRect(field, &box);
    HDC dc = GetDC(field);
    for (int points = kAddressPoints; points >= kSmallestPoints; --points) {
        if (addressFont) DeleteObject(addressFont);
        addressFont = addressFontOf(dc, points);
        HGDIOBJ old = SelectObject(dc, addressFont);
        SIZE size = {};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        SelectObject(dc, old);
        // Room for the field's own margins, or the text scrolls and loses its start.
        if (size.cx <= box.right - box.left - 16) break;
    }
    ReleaseDC(field, dc);
    SendMessageW(field, WM_SETFONT, reinterpret_cast<WPARAM>(addressFont), FALSE);
}

void initialise(HWND dialog) {
    openDialog = dialog;
    stopping = false;
    SetWindowTextW(dialog, loadTextW(IDS_BROWSER_TITLE).c_str());
    SetDlgItemTextW(dialog, IDC_BROWSER_HINT, loadTextW(IDS_BROWSER_HINT).c_str());
    SetDlgItemTextW(dialog, IDC_BROWSER_WARNING, loadTextW(IDS_BROWSER_WARNING).c_str());
    SetDlgItemTextW(dialog, IDC_BROWSER_TEXT_LABEL, loadTextW(IDS_BROWSER_TEXT_LABEL).c_str());
    // Counted in UTF-16 units: the bound in bytes is kept on each change.
    SendDlgItemMessageW(dialog, IDC_BROWSER_TEXT, EM_SETLIMITTEXT, kMostOfferedTextBytes, 0);
    SetDlgItemTextW(dialog, IDCANCEL, loadTextW(IDS_STOP).c_str());
    std::string address = browserAccessAddress();
    std::wstring text = ansiToWide(address);
    setAddressFont(GetDlgItem(dialog, IDC_BROWSER_ADDRESS), text);
    SetDlgItemTextW(dialog, IDC_BROWSER_ADDRESS, text.c_str());
    shownCode = qrCodeOf(address);
    SetForegroundWindow(dialog);
    SetFocus(GetDlgItem(dialog, IDCANCEL));
}

INT_PTR CALLBACK browserDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: initialise(dialog); return FALSE;  // the focus is set
        case WM_DRAWITEM:
            if (wParam != IDC_BROWSER_QR) break;
            drawCode(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        case WM_CTLCOLORSTATIC:
            // The read-only address field looks like text on the dialog, not a disabled box.
            if (reinterpret_cast<HWND>(lParam) != GetDlgItem(dialog, IDC_BROWSER_ADDRESS)) break;
            SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
            return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL && HIWORD(wParam) == BN_CLICKED) beginStop(dialog);
            if (LOWORD(wParam) == IDC_BROWSER_TEXT && HIWORD(wParam) == EN_CHANGE) takeOfferedText(dialog);
            return TRUE;
        case kAccessEndedMessage:
            accessEnded = true;
            EndDialog(dialog, 0);
            return TRUE;
        case WM_DESTROY:
            openDialog = nullptr;
            if (addressFont) DeleteObject(addressFont);
            addressFont = nullptr;
            break;
        default: break;
    }
    return FALSE;
}

void showStartFailure(AccessStart started) {
    if (started == AccessStart::PortTaken)
        showError(ansiToWide(
            fillPlaceholders(wideToAnsi(loadTextW(IDS_BROWSER_PORT_TAKEN)), std::to_string(kBrowserAccessPort))));
    else if (started == AccessStart::NoAddress) showError(loadTextW(IDS_BROWSER_NO_ADDRESS));
    else showError(L"Browser access: the server could not start");
}
}  // namespace

void runBrowserAccess() {
    if (openDialog) {  // already on: its window comes forward
        SetForegroundWindow(openDialog);
        return;
    }
    offerSelection();
    {
        std::lock_guard<std::mutex> guard(offeredLock);
        offeredTextCopy.clear();  // the box starts empty
    }
    BrowserAccessOptions options;
    options.address = portGetOwnAddress();
    options.language = pageLanguage();
    options.offeredPaths = offeredPaths;
    options.offeredText = offeredText;
    AccessStart started = startBrowserAccess(options);
    if (started != AccessStart::Started) return showStartFailure(started);
    // No owner: the main window stays usable (a selection made meanwhile is offered).
    accessEnded = false;
    DialogBoxParamW(programModule, MAKEINTRESOURCEW(IDD_BROWSER), nullptr, browserDialogProc, 0);
    if (!accessEnded) stopBrowserAccess();  // the dialog could not be shown
    if (exitWhenEnded) {
        exitWhenEnded = false;
        PostMessageW(mainWindow, WM_COMMAND, IDM_EXIT, 0);
    }
}

bool endBrowserAccessForExit() {
    if (!openDialog) return false;
    exitWhenEnded = true;
    beginStop(openDialog);
    return true;
}

void offerSelection() {
    // In UTF-8, as the server's threads name files (useUtf8Names).
    std::vector<std::string> paths;
    for (const std::string& path : selectionList) paths.push_back(ansiToUtf8(path));
    std::lock_guard<std::mutex> guard(offeredLock);
    offeredCopy = std::move(paths);
}
