// The private channel's mark on the main window: while a transfer runs over it, a lock and
// "Encrypted: trusted computer <name>" above the status line (a text a screen reader
// reads), and the tray's note of such an arrival names the computer.
#pragma once
#include <windows.h>

#include <string>

// Any thread: the trusted computer (UTF-8) the running transfer goes with, "" for none.
// The main window's thread shows it (kPrivateMarkMessage).
void setPrivatePeer(const std::string& name);
// Any thread: a note (UTF-8) the mark's line shows, without the lock, while no private
// transfer runs; "" for none.
void setTransferNote(const std::string& note);
// Any thread: the send running now goes in the clear (true), or a new transfer begins
// (false). While it is on and no private transfer runs, the mark's line says "Sent in the
// clear" without the lock, in place of an empty note.
void setSentInTheClear(bool on);
// The main window's thread: shows or hides the mark as setPrivatePeer left it.
void showPrivateMark(HWND window);
// A reception's result reached the status line: the tray's note names the trusted
// computer it came from, if it came over the private channel.
void notePrivateArrival();
std::string privateArrivalName();
