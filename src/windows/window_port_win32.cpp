// The window port on the main window's controls. Worker threads call these; the window
// system carries each call to the main window's thread.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>

#include "core/window_port.h"
#include "core/text_routines.h"
#include "platform/codepage.h"
#include "resource.h"
#include "windows/app_state_win32.h"
#include "windows/ask_dialog_win32.h"
#include "windows/existing_dialog_win32.h"
#include "windows/pair_dialog_win32.h"
#include "windows/private_mark_win32.h"
#include "windows/text_window_win32.h"
#include "windows/texts_win32.h"
#include "windows/transfer_buttons_win32.h"
#include "windows/transfer_rows_win32.h"

namespace {
std::wstring controlTextW(int id, int limit) {
    wchar_t buffer[300] = {};
    GetDlgItemTextW(mainWindow, id, buffer, limit + 1);
    return buffer;
}

// The status line as it was set (in the ANSI code page, as it is set).
std::string statusTextA() {
    char buffer[512] = {};
    GetDlgItemTextA(mainWindow, IDC_STATUS, buffer, sizeof buffer);
    return buffer;
}
}  // namespace

void portSetStatusText(int textId) {
    // Discovery's hint only ever takes the place of the listener's "running": never that of
    // a transfer's result, which the user may not have read yet.
    if (textId == IDS_NOBODY_FOUND && statusTextA() != loadTextA(IDS_SERVER_RUNNING)) return;
    SetDlgItemTextA(mainWindow, IDC_STATUS, loadTextA(textId).c_str());
    // A reception's result: the tray may have a note to show.
    if (mainWindow && (textId == IDS_RECEIVING_COMPLETE || textId == IDS_RECEIVING_INCOMPLETE)) {
        notePrivateArrival();
        PostMessageW(mainWindow, kReceptionEndedMessage, textId == IDS_RECEIVING_COMPLETE, 0);
    }
}

void portSetStatusFormatted(int textId, int value) {
    SetDlgItemTextA(mainWindow, IDC_STATUS, fillNumbers(loadTextA(textId), value).c_str());
}

void portSetStatusEmpty() { SetDlgItemTextA(mainWindow, IDC_STATUS, ""); }

void portSetProgress(int barPercent, int taskbarPercent) {
    SendDlgItemMessageW(mainWindow, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(barPercent), 0);
    // The taskbar object belongs to the main window's thread, which may already have
    // released it: that thread alone calls it, and a window that is gone drops the message.
    if (mainWindow) PostMessageW(mainWindow, kTaskbarProgressMessage, static_cast<WPARAM>(taskbarPercent), 0);
}

void portSetButtonsIdle() { changeButtons(kButtonsIdle); }

void portSetButtonsTransferring() { changeButtons(kButtonsTransferring); }

std::string portGetRecipient() { return wideToAnsi(controlTextW(IDC_RECIPIENT, 15)); }

void portSetRecipient(const std::string& address) {
    std::wstring wide = ansiToWide(address);
    if (wide.size() > 15) wide.resize(15);
    SetDlgItemTextW(mainWindow, IDC_RECIPIENT, wide.c_str());
}

std::string portGetOwnAddress() { return wideToAnsi(controlTextW(IDC_OWN_ADDRESS, 15)); }

std::string portGetStorePath() {
    // A path that does not fit the 260-byte field would be cut into another folder:
    // it counts as no store path at all.
    HWND field = GetDlgItem(mainWindow, IDC_STORE_PATH);
    std::string path = wideToPath(controlTextW(IDC_STORE_PATH, 260));  // as the calling thread names files
    if (!field || path.size() > 259) return std::string();
    return path;
}

void portShowErrorText(int textId) { showError(loadTextW(textId)); }

void portShowErrorMessage(const std::string& message) { showError(ansiToWide(message)); }

void portShowRefusal(int textId, const std::string& address) {
    SetDlgItemTextA(mainWindow, IDC_STATUS, fillPlaceholders(loadTextA(textId), address).c_str());
}

std::string portText(int textId) { return loadTextA(textId); }

void portShowText(const std::string& address, const std::string& utf8Text) { handOverText(address, utf8Text); }

AskAnswer portAskToReceive(const std::string& address, int64_t total, int milliseconds) {
    return askToReceive(address, total, milliseconds);
}

ExistingAnswer portAskExisting(const std::string& address, const std::vector<std::string>& names, int milliseconds) {
    return askAboutExisting(address, names, milliseconds);
}

bool portAskTrust(const std::string& name, const std::string& id, const std::string& code, int milliseconds) {
    return askToTrust(name, id, code, milliseconds);
}

void portSetPrivatePeer(const std::string& name) { setPrivatePeer(name); }

void portShowRetryWait(const std::string& name, int seconds) {
    SetDlgItemTextW(mainWindow, IDC_STATUS, loadTextWith(IDS_RETRY_WAITING, name, std::to_string(seconds)).c_str());
}

// The line stays after the send, until the next transfer: it is when the user looks.
void portSetInTheClear(bool inTheClear) {
    if (inTheClear) setSentInTheClear(true);
}

// A side reception's row under the status line; the status line says that receptions run,
// and shows the result of each as it ends.
void portRowStart(int row, const std::string& sender, const std::string& what) {
    rowStarted(row, sender, what);
    portSetStatusText(IDS_RECEIVING);
}
void portRowProgress(int row, int percent) { rowMoved(row, percent); }
void portRowEnd(int row, int textId) {
    rowEnded(row);
    portSetStatusText(textId);
}
