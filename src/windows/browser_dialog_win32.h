// Browser access from the window: the dialog that shows the address, its QR code and a box
// for the text the page offers, for as long as access is on. Opened from the tray menu and
// from the settings dialog.
#pragma once
#include <windows.h>

// Starts access and shows the dialog until Stop is pressed and access has ended; a
// failure to start is shown in an error box. A second call while the dialog is open
// brings it forward.
void runBrowserAccess();
// The program is asked to end: with the dialog open, access is ended as by Stop and true
// is returned; the dialog then closes and sends the main window IDM_EXIT again.
bool endBrowserAccessForExit();
// The window's thread calls this whenever the selection list may have changed: the page
// offers the files of the list as it was then.
void offerSelection();
