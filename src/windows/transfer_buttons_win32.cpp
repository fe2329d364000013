#include "windows/transfer_buttons_win32.h"

#include <algorithm>
#include <vector>

#include "resource.h"
#include "windows/app_state_win32.h"

namespace {
// The threads whose transfer has set Transferring and not yet ended. Only the main
// window's thread touches it.
std::vector<DWORD> runningTransfers;

void forget(DWORD thread) {
    runningTransfers.erase(std::remove(runningTransfers.begin(), runningTransfers.end(), thread),
                           runningTransfers.end());
}

void show(HWND window, bool send, bool stop) {
    EnableWindow(GetDlgItem(window, IDC_SEND), send);
    EnableWindow(GetDlgItem(window, IDC_STOP), stop);
}
}  // namespace

void changeButtons(ButtonsChange change) {
    // Sent, not posted: the caller goes on only once the buttons show the change, as with
    // a direct call, and changes from all threads are applied in one order.
    if (mainWindow) SendMessageW(mainWindow, kButtonsMessage, change, static_cast<LPARAM>(GetCurrentThreadId()));
}

void applyButtonsChange(HWND window, WPARAM change, LPARAM threadId) {
    const DWORD thread = static_cast<DWORD>(threadId);
    forget(thread);
    if (change == kButtonsTransferring) runningTransfers.push_back(thread);
    // Whichever transfer ends first gives Send back; Stop stays while any other still runs.
    const bool others = !runningTransfers.empty();
    if (change == kButtonsTransferring) show(window, false, true);
    else if (change == kButtonsIdle) show(window, true, others);
    else show(window, !others, others);
}
