#include "windows/tray_win32.h"

#include <shellapi.h>

#include <cwchar>
#include <string>

#include "platform/codepage.h"
#include "resource.h"
#include "windows/app_state_win32.h"
#include "windows/history_window_win32.h"
#include "windows/private_mark_win32.h"
#include "windows/receive_settings_win32.h"
#include "windows/texts_win32.h"

namespace {
// The full record, balloon icon included; the shell reads cbSize bytes of it.
// 956 bytes in a 32-bit program, 976 in a 64-bit one (wider handles and padding).
constexpr DWORD kTrayRecordSize = sizeof(NOTIFYICONDATAW);
static_assert(kTrayRecordSize == (sizeof(void*) == 8 ? 976 : 956), "the tray record must hold every field");
constexpr UINT kTrayIconId = 1;
// The window is hidden in the tray (main window's thread only).
bool inTray = false;
// The note on the icon tells of an arrival: a click on it opens the History window.
bool arrivalNote = false;
// The icon's tip (main window's thread only): the program's name, and the transfers running.
std::wstring shownTip = kProgramTitle;

// The %d of a wide text filled.
std::wstring withNumber(std::wstring text, int number) {
    const size_t at = text.find(L"%d");
    if (at != std::wstring::npos) text.replace(at, 2, std::to_wstring(number));
    return text;
}

void setMenuText(HMENU menu, UINT command, int textId) {
    std::string text = loadTextA(textId);
    MENUITEMINFOA item = {};
    static_assert(sizeof item == (sizeof(void*) == 8 ? 80 : 48), "the menu item record of this platform");
    item.cbSize = sizeof item;
    item.fMask = MIIM_TYPE | MIIM_DATA;
    item.fType = MFT_STRING;
    item.dwItemData = 0;
    item.dwTypeData = &text[0];
    SetMenuItemInfoA(menu, command, FALSE, &item);
}
}  // namespace

void addTrayIcon() {
    ShowWindow(mainWindow, SW_HIDE);
    trayIconData = NOTIFYICONDATAW{};
    trayIconData.cbSize = kTrayRecordSize;
    trayIconData.hWnd = mainWindow;
    trayIconData.uID = kTrayIconId;
    trayIconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    trayIconData.uCallbackMessage = WM_TRAY_CALLBACK;
    trayIconData.hIcon = LoadIconW(programModule, MAKEINTRESOURCEW(IDI_PROGRAM));
    wcsncpy(trayIconData.szTip, shownTip.c_str(), 127);
    Shell_NotifyIconW(NIM_ADD, &trayIconData);
    inTray = true;
}

void setTrayTip(int transfers, int percent) {
    std::wstring tip = kProgramTitle;
    if (transfers > 0)
        tip += L"\n" + withNumber(loadTextW(IDS_TRAY_TRANSFERS), transfers) + L", " + std::to_wstring(percent) + L"%";
    if (tip.size() > 127) tip.resize(127);
    if (tip == shownTip) return;
    shownTip = tip;
    if (!inTray) return;
    wcsncpy(trayIconData.szTip, shownTip.c_str(), 127);
    Shell_NotifyIconW(NIM_MODIFY, &trayIconData);
}

void removeTrayIcon() {
    ShowWindow(mainWindow, SW_SHOW);
    Shell_NotifyIconW(NIM_DELETE, &trayIconData);
    inTray = false;
}

void addTrayIconAgain() {
    if (inTray) Shell_NotifyIconW(NIM_ADD, &trayIconData);
}

void showTrayMenu() {
    POINT cursor = {};
    GetCursorPos(&cursor);
    HMENU menu = LoadMenuW(programModule, MAKEINTRESOURCEW(IDM_TRAY));
    if (!menu) return;
    setMenuText(menu, IDM_EXIT, IDS_EXIT);
    setMenuText(menu, IDM_RESTORE, IDS_RESTORE);
    setMenuText(menu, IDM_PAUSE, receivingPaused() ? IDS_RESUME_RECEIVING : IDS_PAUSE_RECEIVING);
    setMenuText(menu, IDM_OPEN_STORE, IDS_OPEN_STORE);
    setMenuText(menu, IDM_BROWSER_ACCESS, IDS_BROWSER_ACCESS);
    setMenuText(menu, IDM_NETWORK_CHECK, IDS_NETWORK_CHECK);
    setMenuText(menu, IDM_HISTORY, IDS_HISTORY_MENU);
    setMenuText(menu, IDM_SEND_TEXT, IDS_SEND_TEXT_MENU);
    setMenuText(menu, IDM_SEND_CLIPBOARD, IDS_SEND_CLIPBOARD);
    // Without the foreground a tray menu stays open when the user clicks elsewhere;
    // the empty message afterwards lets the next click reach the icon again.
    SetForegroundWindow(mainWindow);
    TrackPopupMenu(GetSubMenu(menu, 0), 0, cursor.x, cursor.y, 0, mainWindow, nullptr);
    PostMessageW(mainWindow, WM_NULL, 0, 0);
    DestroyMenu(menu);
}

void trayCallback(LPARAM mouseMessage) {
    if (mouseMessage == WM_LBUTTONDBLCLK) removeTrayIcon();
    else if (mouseMessage == WM_RBUTTONDOWN) showTrayMenu();
    else if (mouseMessage == NIN_BALLOONUSERCLICK && arrivalNote) openHistoryWindow();
}

bool isInTray() { return inTray; }

void showReceptionBalloon(bool complete) {
    if (!inTray) return;
    NOTIFYICONDATAW balloon = trayIconData;
    balloon.uFlags = NIF_INFO;
    balloon.dwInfoFlags = complete ? NIIF_INFO : NIIF_WARNING;
    std::wstring title = ansiToWide(loadTextA(complete ? IDS_RECEIVING_COMPLETE : IDS_RECEIVING_INCOMPLETE));
    wcsncpy(balloon.szInfoTitle, title.c_str(), 63);
    wchar_t folder[256] = {};
    GetDlgItemTextW(mainWindow, IDC_STORE_PATH, folder, 256);
    // Over the private channel the sender is known by its key: the note names it.
    std::string from = privateArrivalName();
    std::wstring info = from.empty() ? folder : loadTextWith(IDS_PRIVATE_ARRIVAL, from) + L"\n" + folder;
    wcsncpy(balloon.szInfo, info.c_str(), 255);
    arrivalNote = Shell_NotifyIconW(NIM_MODIFY, &balloon) != FALSE;
}

void openStoreFolder() {
    wchar_t folder[261] = {};
    GetDlgItemTextW(mainWindow, IDC_STORE_PATH, folder, 261);
    // Only an existing folder is opened: the field is the user's choice, but what runs
    // is Explorer on a folder, never a program that a name might stand for.
    DWORD attributes = GetFileAttributesW(folder);
    if (folder[0] && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        ShellExecuteW(mainWindow, L"explore", folder, nullptr, nullptr, SW_SHOWNORMAL);
}
