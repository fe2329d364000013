// The selection dialog (104): lists the selection with icons, names, sizes and folders,
// and adds files, adds a folder, or deletes the selected rows.
#pragma once
#include <windows.h>

INT_PTR CALLBACK selectionDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
