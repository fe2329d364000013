#include "windows/selection_dialog_win32.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>

#include <cstring>
#include <string>

#include "platform/codepage.h"
#include "resource.h"
#include "selection/open_dialog_result.h"
#include "selection/selection_list.h"
#include "windows/browser_dialog_win32.h"
#include "windows/folder_browser_win32.h"
#include "windows/selection_view_win32.h"
#include "windows/texts_win32.h"

namespace {
void insertColumn(HWND list, int index, int textId, int width) {
    std::wstring title = loadTextW(textId);
    LVCOLUMNW column = {};
    column.mask = LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.cx = width;
    column.pszText = &title[0];
    column.iSubItem = index;
    SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
}

void initialise(HWND dialog) {
    SetDlgItemTextA(dialog, IDC_ADD_FILES, loadTextA(IDS_ADD_FILES).c_str());
    SetDlgItemTextA(dialog, IDC_ADD_FOLDER, loadTextA(IDS_ADD_FOLDER).c_str());
    SetDlgItemTextA(dialog, IDC_DELETE, loadTextA(IDS_DELETE).c_str());
    SetDlgItemTextA(dialog, IDOK, loadTextA(IDS_OK).c_str());
    HWND list = GetDlgItem(dialog, IDC_SELECTION_LIST);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
    RECT rect;
    GetWindowRect(list, &rect);
    int pathWidth = (rect.right - rect.left) - 2 * GetSystemMetrics(SM_CXEDGE) - 205;
    insertColumn(list, 0, IDS_COLUMN_NAME, 135);
    insertColumn(list, 1, IDS_COLUMN_SIZE, 70);
    insertColumn(list, 2, IDS_COLUMN_PATH, pathWidth);
    refreshSelectionView(dialog);
}

void addFiles() {
    char buffer[4096] = {};
    OPENFILENAMEA open = {};
    open.lStructSize = sizeof open;  // 88 bytes in a 32-bit program, 152 in a 64-bit one
    open.lpstrFile = buffer;
    open.nMaxFile = sizeof buffer;
    open.Flags = OFN_EXPLORER | OFN_ALLOWMULTISELECT;
    if (!GetOpenFileNameA(&open)) return;
    for (const std::string& path : openDialogPaths(buffer, sizeof buffer, open.nFileOffset))
        addSelectionPath(path, false);  // longer than the field: refused
}

void addFolder(HWND dialog) {
    std::wstring path = browseForFolder(dialog);
    if (!path.empty()) addSelectionPath(wideToAnsi(path), true);  // longer than the field: refused
}

std::string cellText(HWND list, int row, int column) {
    char text[261] = {};
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 260;
    SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return text;
}

void deleteSelectedRows(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_SELECTION_LIST);
    int row = -1;
    while ((row = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(row), LVNI_SELECTED))) != -1)
        removeSelectionPath(cellText(list, row, 2) + cellText(list, row, 0));
}
}  // namespace

INT_PTR CALLBACK selectionDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        initialise(dialog);
        return FALSE;
    }
    if (message != WM_COMMAND || HIWORD(wParam) != 0) return FALSE;
    switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL: EndDialog(dialog, 0); return FALSE;
        case IDC_ADD_FILES: addFiles(); break;
        case IDC_ADD_FOLDER: addFolder(dialog); break;
        case IDC_DELETE: deleteSelectedRows(dialog); break;
        default: return FALSE;
    }
    refreshSelectionView(dialog);
    offerSelection();
    return FALSE;
}
