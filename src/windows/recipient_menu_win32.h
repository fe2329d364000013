// The recipient field's menu of remembered peers: the arrow button beside field 103,
// or Alt+Down or F4 in the field, opens it; a chosen peer becomes the field's text.
#pragma once
#include <windows.h>

// Main window WM_INITDIALOG: the arrow's picture and the field's keys.
void setUpRecipientMenu(HWND window);
// Opens the menu under the field (the main window's thread; returns once it closed).
void showRecipientMenu(HWND window);
