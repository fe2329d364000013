// The network check window (template 123): the check's lines and the firewall's word,
// found on a thread of their own. One window at a time.
#pragma once
#include <windows.h>

// Opens the window and starts a check, or brings the open one forward. The main window's
// thread only.
void openNetworkCheck();
