// The settings dialog (template 109): language, autostart, the two tray switches, who
// may send, finding peers (look around, forget the remembered ones, the network check), and
// the partial files of cut transfers.
#pragma once
#include <windows.h>

// Modal; reads the stored settings when it opens and stores them all on Ok.
INT_PTR CALLBACK settingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
