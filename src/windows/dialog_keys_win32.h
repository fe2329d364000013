// Dialog keys (Tab, Enter, Esc) for the program's modeless windows. The program's message
// loops are those of its modal dialogs (the main window's among them), and such a loop
// gives the dialog keys to its own dialog only; a filter on every one of them hands a
// registered window's keys to that window. The window's thread only.
#pragma once
#include <windows.h>

// From now until the window is forgotten, its keys go to it.
void takeDialogKeys(HWND window);
// Call from the window's WM_DESTROY.
void forgetDialogKeys(HWND window);
