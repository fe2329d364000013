// Browser access from the window: the dialog that shows the address and its QR code for
// as long as access is on. Opened from the tray menu and from the settings dialog.
#pragma once
#include <windows.h>

// The server's thread asks the main window for the selection list with this message
// (lParam: the std::vector<std::string> to fill).
constexpr UINT kOfferedPathsMessage = WM_APP + 5;

// Starts access and shows the dialog until it is closed or Stop is pressed, then ends
// access; a failure to start is shown in an error box. A second call while the dialog is
// open brings it forward.
void runBrowserAccess();
// The main window's answer to kOfferedPathsMessage.
void copyOfferedPaths(LPARAM target);
