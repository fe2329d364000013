// The settings dialog's trusted computers: this computer's ID with Copy, the list of
// trusted computers (name, ID, last address, last seen) with Remove, pairing with the
// computer in the recipient field or waiting for another to pair, and trusting a
// computer by its ID. Add and Remove take
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
// Waits for the other computer to pair with this one: for a minute, in a box that counts
// down and has Cancel; the first pairing request that comes ends the wait. Outside it
// the program answers no pairing request. The status line tells how it went.
void startPairingWait();
