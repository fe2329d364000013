#include "windows/folder_browser_win32.h"

#include <shlobj.h>

#include "resource.h"
#include "windows/texts_win32.h"

std::wstring browseForFolder(HWND owner) {
    std::wstring title = loadTextW(IDS_CHOOSE_DIRECTORY);
    BROWSEINFOW browse = {};
    browse.hwndOwner = owner;
    browse.lpszTitle = title.c_str();
    // Not BIF_BROWSEFORCOMPUTER as well: with it the OK button stays greyed for every
    // folder, and no folder could ever be chosen.
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN | BIF_EDITBOX;
    PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&browse);
    if (!item) return std::wstring();
    wchar_t path[MAX_PATH + 1] = {};
    BOOL ok = SHGetPathFromIDListW(item, path);
    CoTaskMemFree(item);
    return ok ? std::wstring(path) : std::wstring();
}
