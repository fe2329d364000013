// Texts and the clipboard to a trusted computer: the main window's Text button and its
// menu, the tray menu's entries, the "Send text" dialog, and the sends they start.
#pragma once
#include <windows.h>

// The Text button's menu, under the button: "Send text..." and "Send clipboard".
void showTextMenu(HWND window);
// "Send text...": the dialog; Send starts the text's send to the recipient.
void sendTextCommand(HWND window);
// "Send clipboard": files on the clipboard go as a send of those files, its text as a
// text. Both only to a trusted computer.
void sendClipboardCommand(HWND window);
