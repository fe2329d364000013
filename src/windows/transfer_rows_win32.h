// The main window's rows of receptions that run side by side (transfer/side_reception.h):
// one per running reception under the status line, with its sender, what it sends, its
// bar and a Stop for it alone; the window grows by the rows shown and shrinks again.
// Worker threads change a row through the window port; the window's thread draws them.
#pragma once
#include <windows.h>

#include <string>

constexpr UINT kRowsChangedMessage = WM_APP + 10;

// A worker's side (window_port_win32.cpp): the row's state, and a message to the window.
void rowStarted(int row, const std::string& sender, const std::string& what);
void rowMoved(int row, int percent);
void rowEnded(int row);
// The window's side: the rows as they are now.
void showTransferRows(HWND window);
// A row's Stop button (IDC_ROW_STOP + row): true when id was one.
bool rowCommand(int id);

// Every running transfer at once: the one reception or send (its bar's percent as last
// shown, mainPercent) and each row, for the taskbar and the tray tip.
struct TransferSum {
    int count = 0;
    int percent = 0;  // their mean
};
TransferSum transferSum(bool mainRunning, int mainPercent);
