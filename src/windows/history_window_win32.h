// The History window (template 126): the transfers of this computer, newest first, with
// a filter, Show in folder, Open, Copy text and Clear history. One window at a time.
#pragma once
#include <windows.h>

// Opens the window, or brings the open one forward. The main window's thread only.
void openHistoryWindow();
