#include "windows/selection_view_win32.h"

#include <commctrl.h>
#include <shellapi.h>

#include "platform/files.h"
#include "resource.h"
#include "selection/selection_list.h"
#include "selection/size_format.h"

void splitEntry(const std::string& entry, std::string* path, std::string* name) {
    size_t separator = entry.find_last_of("\\/");
    size_t cut = 0;
    if (separator != std::string::npos) cut = separator + 1;
    else if (entry.size() >= 2 && entry[1] == ':' && isalpha(static_cast<unsigned char>(entry[0]))) cut = 2;
    *path = entry.substr(0, cut);
    *name = entry.substr(cut);
}

namespace {
// The entry's small shell icon; a plain document icon when the shell has none (a path
// that no longer exists), so that image i stays the image of entry i.
void appendIcon(HIMAGELIST images, const std::string& entry) {
    SHFILEINFOA info = {};
    DWORD attributes = GetFileAttributesA(entry.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) attributes = FILE_ATTRIBUTE_NORMAL;
    SHGetFileInfoA(entry.c_str(), attributes, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_ICON | SHGFI_SMALLICON);
    if (!info.hIcon) {
        SHGetFileInfoA(entry.c_str(), FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                       SHGFI_ICON | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES);
    }
    if (info.hIcon) {
        ImageList_ReplaceIcon(images, -1, info.hIcon);
        DestroyIcon(info.hIcon);
    } else {
        ImageList_ReplaceIcon(images, -1, LoadIconW(nullptr, MAKEINTRESOURCEW(32512)));
    }
}

void setCell(HWND list, int row, int column, const std::string& text) {
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = const_cast<char*>(text.c_str());
    SendMessageA(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

void addRow(HWND list, HIMAGELIST images, int index, const std::string& entry) {
    std::string path, name;
    splitEntry(entry, &path, &name);
    appendIcon(images, entry);
    LVITEMW item = {};
    item.mask = LVIF_IMAGE;
    item.iItem = 0;
    item.iImage = index;
    int row = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (row < 0) return;
    setCell(list, row, 0, name);
    int64_t size = measureFileSize(entry);
    if (size >= 0) setCell(list, row, 1, formatSize(size));
    setCell(list, row, 2, path);
}
}  // namespace

void refreshSelectionView(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_SELECTION_LIST);
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    HIMAGELIST images = ImageList_Create(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                         ILC_COLORDDB | ILC_MASK, 0, 1);
    for (size_t i = 0; i < selectionList.size(); ++i) addRow(list, images, static_cast<int>(i), selectionList[i]);
    HIMAGELIST previous = reinterpret_cast<HIMAGELIST>(
        SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images)));
    if (previous) ImageList_Destroy(previous);
}
