// The main window (dialog 101): the program's only top-level window.
#pragma once
#include <windows.h>

INT_PTR CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
