// The settings dialog's trusted computers: this computer's ID with Copy, the list of
// trusted computers (name, ID, last address, last seen) with Remove, pairing with the
// computer in the recipient field, and trusting a computer by its ID. Each takes effect
// at once, as the list is stored, whatever button closes the dialog.
#pragma once
#include <windows.h>

// The settings dialog's WM_INITDIALOG.
void initialiseTrusted(HWND dialog);
// A command of the trusted part (WM_COMMAND's id); false when it is none of them.
bool trustedCommand(HWND dialog, int id);
// Posted to the dialog by a pairing's thread when it has ended (wParam: the PairResult).
constexpr UINT kPairEndedMessage = WM_APP + 8;
void pairEnded(HWND dialog, WPARAM result);
// The dialog is closing: a pairing that still runs reports to the main window alone.
void forgetTrustedDialog();
