// The settings dialog's trusted computers: this computer's ID with Copy, the list of
// trusted computers (name, ID, last address, last seen) with Remove, pairing with the
// computer in the recipient field, and trusting a computer by its ID. Add and Remove take
// effect at once, as the list is stored, whatever button closes the dialog.
#pragma once
#include <windows.h>

// The settings dialog's WM_INITDIALOG.
void initialiseTrusted(HWND dialog);
// A command of the trusted part (WM_COMMAND's id); false when it is none of them.
bool trustedCommand(HWND dialog, int id);
// Pair: true when the recipient field holds an address (or host name) to pair with;
// else the dialog says so. The pairing starts once the dialog has closed, so that its
// question is the window in front.
bool pairingTarget(HWND dialog);
// Pairs with the recipient on a thread of its own (one pairing at a time); the main
// window's status line tells how it went.
void startPairing();
