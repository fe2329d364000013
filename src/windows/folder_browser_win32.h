#pragma once
// The shell's folder browser, as the store-path chooser and Add folder show it.
#include <windows.h>

#include <string>

// Shows the browser owned by owner with text 144 as its title. The chosen folder's path,
// or "" when the user cancelled or picked something that is no file-system folder.
std::wstring browseForFolder(HWND owner);
