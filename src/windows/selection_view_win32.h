// The rows of the selection dialog's list view, rebuilt from the selection list.
#pragma once
#include <windows.h>

#include <string>

// Rebuilds every row and icon of list view 1008 of the open selection dialog.
void refreshSelectionView(HWND dialog);

// Splits an entry into its Path cell (up to and including the last separator, or a
// drive prefix "C:") and its Name cell (the rest): Path followed by Name is the entry.
void splitEntry(const std::string& entry, std::string* path, std::string* name);
