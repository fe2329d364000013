// The tray icon that stands in for the hidden main window, and its Restore/Exit menu.
#pragma once
#include <windows.h>

// Hides the main window and adds the icon (trayIconData is filled anew each time).
void addTrayIcon();
// Shows the main window as it was before and deletes the icon.
void removeTrayIcon();
// A restarted taskbar has lost the icon: while the window is hidden in the tray, the same
// record is added again, or the hidden window could not be reached any more.
void addTrayIconAgain();
// The menu 1021 at the cursor, its items in the language of languageModule. A chosen
// item arrives at the main window as WM_COMMAND 1023 (Restore) or 1022 (Exit).
void showTrayMenu();
// The tray callback message (1026): lParam is the mouse message on the icon, or the
// balloon's click.
void trayCallback(LPARAM mouseMessage);
bool isInTray();
// The icon's tip: the program's name, and while transfers run, how many and how far.
void setTrayTip(int transfers, int percent);
// While the window is hidden in the tray, a balloon on the icon tells how a reception
// ended (texts 120 and 121) and names the store folder, after the trusted computer it
// came from when it came over the private channel; a click on it opens the History window.
void showReceptionBalloon(bool complete);
// Opens the store folder (the main window's field) in Explorer.
void openStoreFolder();
