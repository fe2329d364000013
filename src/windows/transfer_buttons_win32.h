// Send file (110) and Stop (108). Every change goes through the main window's thread, in
// the order asked, together with the list of threads whose transfer runs; so an error box
// can put back the state of the transfers that still run, whichever thread raises it.
#pragma once
#include <windows.h>

// The main window's message that carries a change: wParam a ButtonsChange, lParam the
// asking thread's id.
constexpr UINT kButtonsMessage = WM_APP + 2;

enum ButtonsChange : WPARAM {
    kButtonsTransferring = 1,  // the asking thread's transfer runs: Send off, Stop on
    kButtonsIdle,              // it has ended: Send on, even while another runs; Stop off
                               // unless another runs
    kButtonsAfterError,        // an error box: the asking thread's transfer, if any, has
                               // ended; Transferring while another runs, else Idle
};

// Asks the main window for a change and returns once it is shown (nothing before the
// window exists).
void changeButtons(ButtonsChange change);
// The main window's handling of kButtonsMessage.
void applyButtonsChange(HWND window, WPARAM change, LPARAM threadId);
