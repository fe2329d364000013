// The main window's commands that reach into the transfer, selection and settings code.
#pragma once
#include <windows.h>

void startListenerCommand();
void stopCommand();
void sendCommand(HWND window);
// Commands without a handler of their own (selection dialog, settings, discovery, banner).
void otherCommand(HWND window, int id);
