#include "windows/history_window_win32.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "core/shown_text.h"
#include "history/history.h"
#include "resource.h"
#include "windows/app_state_win32.h"
#include "windows/dialog_keys_win32.h"
#include "windows/history_rows_win32.h"
#include "windows/history_snapshot_win32.h"
#include "windows/text_window_win32.h"
#include "windows/texts_win32.h"

namespace {
// Posted by the snapshot's reader to the open window: a snapshot of the entries is ready.
constexpr UINT kHistoryReadMessage = WM_APP + 9;

// The open window, nullptr when none.
std::atomic<HWND> historyWindow{nullptr};
// What the window lists (newest first, with their rows) and which of those the filter lets
// through, in the list's order: the window's thread only. The list holds no texts of its
// own (it is owner-data): it asks for each cell it draws.
std::unique_ptr<HistorySnapshot> snapshot = std::make_unique<HistorySnapshot>();
std::vector<size_t> shownRows;
// The smallest the window may be made (dialog units, then pixels): the buttons in one row.
constexpr int kSmallestWidth = 460, kSmallestHeight = 120;
SIZE smallest = {};

void historyWritten() { requestHistorySnapshot(); }

HWND list(HWND window) { return GetDlgItem(window, IDC_HISTORY_LIST); }

int dialogUnitsX(HWND window, int units) {
    RECT r = {0, 0, units, 0};
    MapDialogRect(window, &r);
    return r.right;
}

int dialogUnitsY(HWND window, int units) {
    RECT r = {0, 0, 0, units};
    MapDialogRect(window, &r);
    return r.bottom;
}

// The entry a row of the list stands for, nullptr past the rows.
const HistoryEntry* rowEntry(int row) {
    if (row < 0 || static_cast<size_t>(row) >= shownRows.size()) return nullptr;
    const size_t index = shownRows[static_cast<size_t>(row)];
    return index < snapshot->entries.size() ? &snapshot->entries[index] : nullptr;
}

const HistoryEntry* selectedEntry(HWND window) {
    return rowEntry(
        static_cast<int>(SendMessageW(list(window), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED)));
}

// Each button works on the chosen entry only where it can do something with it.
void enableButtons(HWND window) {
    const HistoryEntry* entry = selectedEntry(window);
    const bool text = entry && entry->door == HistoryDoor::Text && !entry->text.empty();
    const bool item = entry && !receivedItemPath(*entry).empty();
    EnableWindow(GetDlgItem(window, IDC_HISTORY_SHOW), item);
    EnableWindow(GetDlgItem(window, IDC_HISTORY_OPEN),
                 item || (text && entry->direction == HistoryDirection::Received));
    EnableWindow(GetDlgItem(window, IDC_HISTORY_COPY), text);
    EnableWindow(GetDlgItem(window, IDC_HISTORY_CLEAR), !snapshot->entries.empty());
}

std::wstring filterText(HWND window) {
    HWND box = GetDlgItem(window, IDC_HISTORY_FILTER);
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(box)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(box, &text[0], static_cast<int>(text.size()))));
    return text;
}

int64_t chosenId(HWND window) {
    const HistoryEntry* chosen = selectedEntry(window);
    return chosen ? chosen->id : 0;
}

// The entry in the list's top row once the user has scrolled down, else 0: new entries
// come in above and the rows under the user's eyes stay where they are.
int64_t topId(HWND window) {
    const int top = static_cast<int>(SendMessageW(list(window), LVM_GETTOPINDEX, 0, 0));
    const HistoryEntry* entry = top > 0 ? rowEntry(top) : nullptr;
    return entry ? entry->id : 0;
}

int rowOf(int64_t id) {
    for (size_t row = 0; id != 0 && row < shownRows.size(); ++row)
        if (snapshot->entries[shownRows[row]].id == id) return static_cast<int>(row);
    return -1;
}

// Scrolls the list so that row is its top row again.
void keepTop(HWND view, int row) {
    const int rows = row - static_cast<int>(SendMessageW(view, LVM_GETTOPINDEX, 0, 0));
    RECT bounds = {};
    bounds.left = LVIR_BOUNDS;
    if (row < 0 || rows == 0 || !SendMessageW(view, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&bounds))) return;
    SendMessageW(view, LVM_SCROLL, 0, rows * (bounds.bottom - bounds.top));
}

// Chooses the row (and only it), or none when row is negative.
void choose(HWND view, int row) {
    LVITEMW state = {};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(view, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
    if (row < 0) return;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(view, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
    SendMessageW(view, LVM_SETSELECTIONMARK, 0, row);
}

// Lists the entries the filter lets through; the entry chosen before stays chosen while
// shown, and the entry at the top stays at the top (top 0: the list shows its start, the
// newest coming in there).
void showRows(HWND window, int64_t chosen, int64_t top) {
    HWND view = list(window);
    const std::wstring filter = filterText(window);
    shownRows.clear();
    for (size_t i = 0; i < snapshot->entries.size(); ++i)
        if (historyCellsMatch(snapshot->cells[i], filter)) shownRows.push_back(i);
    SendMessageW(view, LVM_SETITEMCOUNT, shownRows.size(), LVSICF_NOSCROLL | LVSICF_NOINVALIDATEALL);
    int select = rowOf(chosen);
    if (select < 0 && !shownRows.empty()) select = 0;
    choose(view, select);
    keepTop(view, top ? rowOf(top) : 0);   // a chosen row that moved may have scrolled the list
    InvalidateRect(view, nullptr, FALSE);  // the rows under the same places may be other entries
    SetDlgItemTextW(window, IDC_HISTORY_COUNT,
                    loadTextWith(IDS_HISTORY_COUNT, std::to_string(shownRows.size()),
                                 std::to_string(snapshot->entries.size()))
                        .c_str());
    enableButtons(window);
}

// A snapshot is ready: it takes the place of the one listed.
void takeSnapshot(HWND window) {
    std::unique_ptr<HistorySnapshot> next = takeHistorySnapshot();
    if (!next) return;
    const int64_t chosen = chosenId(window), top = topId(window);  // before the rows' entries go
    snapshot = std::move(next);
    showRows(window, chosen, top);
}

// The list asks for the text of a cell it is about to draw.
void giveCell(NMLVDISPINFOW* info) {
    LVITEMW& item = info->item;
    if (!(item.mask & LVIF_TEXT) || !item.pszText || item.cchTextMax <= 0) return;
    const HistoryEntry* entry = rowEntry(item.iItem);
    const size_t column = static_cast<size_t>(item.iSubItem);
    const std::wstring* cell = entry && column < kHistoryColumns ? &snapshot->cells[shownRows[item.iItem]][column]
                                                                 : nullptr;
    lstrcpynW(item.pszText, cell ? cell->c_str() : L"", item.cchTextMax);
}

// Typing in the list jumps to the next row whose first cell starts with what was typed.
int findRow(const NMLVFINDITEMW* find) {
    if (!(find->lvfi.flags & (LVFI_STRING | LVFI_PARTIAL)) || !find->lvfi.psz) return -1;
    const int length = lstrlenW(find->lvfi.psz), rows = static_cast<int>(shownRows.size());
    const int start = rows > 0 ? std::max(find->iStart, 0) % rows : 0;
    for (int n = 0; n < rows; ++n) {
        const int row = (start + n) % rows;
        const std::wstring& cell = snapshot->cells[shownRows[row]][0];
        if (static_cast<int>(cell.size()) >= length &&
            CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, cell.c_str(), length, find->lvfi.psz, length) ==
                CSTR_EQUAL)
            return row;
    }
    return -1;
}

void addColumns(HWND window) {
    HWND view = list(window);
    SendMessageW(view, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP);
    for (size_t i = 0; i < kHistoryColumns; ++i) {
        std::wstring header = loadTextW(kHistoryColumnList[i].textId);
        LVCOLUMNW column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.fmt = i == 5 || i == 6 ? LVCFMT_RIGHT : LVCFMT_LEFT;
        column.cx = dialogUnitsX(window, kHistoryColumnList[i].width);
        column.pszText = &header[0];
        SendMessageW(view, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
}

// At a high DPI the template may be larger than the screen: it is cut to the work area,
// centred. It never shrinks below what keeps the buttons apart (or the work area).
void fitToWorkArea(HWND window) {
    RECT frame = {}, area = {};
    GetWindowRect(window, &frame);
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    const int areaWidth = area.right - area.left, areaHeight = area.bottom - area.top;
    const int width = std::min<int>(frame.right - frame.left, areaWidth);
    const int height = std::min<int>(frame.bottom - frame.top, areaHeight);
    if (width != frame.right - frame.left || height != frame.bottom - frame.top)
        SetWindowPos(window, nullptr, area.left + (areaWidth - width) / 2, area.top + (areaHeight - height) / 2, width,
                     height, SWP_NOZORDER);
    smallest = {std::min(dialogUnitsX(window, kSmallestWidth), areaWidth),
                std::min(dialogUnitsY(window, kSmallestHeight), areaHeight)};
}

// The result, last, takes the width left over: a reason is the longest cell.
void fillLastColumn(HWND window) {
    SendMessageW(list(window), LVM_SETCOLUMNWIDTH, kHistoryColumns - 1, LVSCW_AUTOSIZE_USEHEADER);
}

void initialise(HWND window) {
    SetWindowTextW(window, loadTextW(IDS_HISTORY).c_str());
    const int texts[][2] = {{IDC_HISTORY_FILTER_LABEL, IDS_HISTORY_FILTER}, {IDC_HISTORY_SHOW, IDS_HISTORY_SHOW},
                            {IDC_HISTORY_OPEN, IDS_HISTORY_OPEN},           {IDC_HISTORY_COPY, IDS_HISTORY_COPY},
                            {IDC_HISTORY_CLEAR, IDS_HISTORY_CLEAR},         {IDCANCEL, IDS_TEXT_CLOSE}};
    for (const auto& text : texts) SetDlgItemTextW(window, text[0], loadTextW(text[1]).c_str());
    HICON icon = LoadIconW(programModule, MAKEINTRESOURCEW(IDI_PROGRAM));
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    fitToWorkArea(window);
    addColumns(window);
    fillLastColumn(window);
    enableButtons(window);  // nothing to work on until the first snapshot comes
    watchHistorySnapshots(window, kHistoryReadMessage);
    SetFocus(list(window));  // the arrows choose an entry at once; Enter opens it
}

// The list takes what the window gains; the buttons keep to the bottom, Close to the right.
void layOut(HWND window, int width, int height) {
    const int margin = dialogUnitsX(window, 7), top = dialogUnitsY(window, 26);
    const int buttonTop = height - dialogUnitsY(window, 7 + 14);
    SetWindowPos(list(window), nullptr, margin, top, width - 2 * margin, buttonTop - dialogUnitsY(window, 8) - top,
                 SWP_NOZORDER);
    fillLastColumn(window);
    const int buttons[] = {IDC_HISTORY_OPEN, IDC_HISTORY_SHOW, IDC_HISTORY_COPY, IDC_HISTORY_CLEAR, IDCANCEL};
    for (int id : buttons) {
        HWND button = GetDlgItem(window, id);
        RECT r = {};
        GetWindowRect(button, &r);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
        const int x = id == IDCANCEL ? width - margin - (r.right - r.left) : r.left;
        SetWindowPos(button, nullptr, x, buttonTop, 0, 0, SWP_NOZORDER | SWP_NOSIZE);
    }
    HWND count = GetDlgItem(window, IDC_HISTORY_COUNT);
    RECT r = {};
    GetWindowRect(count, &r);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
    SetWindowPos(count, nullptr, 0, 0, width - margin - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOMOVE);
    InvalidateRect(window, nullptr, TRUE);
}

// Explorer opens the folder with the item chosen; a folder whose item is gone opens as it is.
void showInFolder(HWND window) {
    const HistoryEntry* entry = selectedEntry(window);
    const std::wstring path = entry ? receivedItemPath(*entry) : std::wstring();
    if (path.empty()) return;
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
        const std::wstring arguments = L"/select,\"" + path + L"\"";
        ShellExecuteW(window, L"open", L"explorer.exe", arguments.c_str(), nullptr, SW_SHOWNORMAL);
        return;
    }
    const std::wstring folder = path.substr(0, path.rfind(L'\\') + 1);
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        ShellExecuteW(window, L"explore", folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    else MessageBeep(MB_ICONWARNING);
}

// A received item opens as a double click in Explorer would open it; a received text in
// the program's own text window, never run or opened by another program.
void openEntry(HWND window) {
    const HistoryEntry* entry = selectedEntry(window);
    if (!entry) return;
    if (entry->door == HistoryDoor::Text) {
        if (entry->direction == HistoryDirection::Received && !entry->text.empty())
            handOverText(entry->address, entry->text);
        return;
    }
    const std::wstring path = receivedItemPath(*entry);
    if (path.empty() || GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        MessageBeep(MB_ICONWARNING);
        return;
    }
    ShellExecuteW(window, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void copyEntryText(HWND window) {
    const HistoryEntry* entry = selectedEntry(window);
    if (!entry || entry->door != HistoryDoor::Text) return;
    std::u16string shown = shownText(entry->text);
    if (!putOnClipboard(window, std::wstring(shown.begin(), shown.end()))) MessageBeep(MB_ICONWARNING);
}

void clearEntries(HWND window) {
    // Titled as the button, without its mnemonic.
    std::wstring title = loadTextW(IDS_HISTORY_CLEAR);
    title.erase(std::remove(title.begin(), title.end(), L'&'), title.end());
    if (MessageBoxW(window, loadTextW(IDS_HISTORY_CLEAR_ASK).c_str(), title.c_str(),
                    MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
        return;
    requestHistorySnapshot(true);
}

bool command(HWND window, int id, int code) {
    if (id == IDC_HISTORY_FILTER && code == EN_CHANGE) {
        showRows(window, chosenId(window), 0);
        const int chosen = static_cast<int>(
            SendMessageW(list(window), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
        if (chosen >= 0) SendMessageW(list(window), LVM_ENSUREVISIBLE, chosen, FALSE);
        return true;
    }
    if (code != BN_CLICKED) return false;
    switch (id) {
        case IDOK:
        case IDC_HISTORY_OPEN: openEntry(window); break;
        case IDC_HISTORY_SHOW: showInFolder(window); break;
        case IDC_HISTORY_COPY: copyEntryText(window); break;
        case IDC_HISTORY_CLEAR: clearEntries(window); break;
        case IDCANCEL: DestroyWindow(window); break;
        default: return false;
    }
    return true;
}

// The list's notes; the answer (the row found for typed keys, else 0) goes back through
// DWLP_MSGRESULT, set for every note so that none reads an earlier one's.
INT_PTR notified(HWND window, const NMHDR* note) {
    LONG_PTR answer = 0;
    switch (note->idFrom == IDC_HISTORY_LIST ? note->code : 0) {
        case LVN_GETDISPINFOW: giveCell(reinterpret_cast<NMLVDISPINFOW*>(const_cast<NMHDR*>(note))); break;
        case LVN_ODFINDITEMW: answer = findRow(reinterpret_cast<const NMLVFINDITEMW*>(note)); break;
        case LVN_ITEMCHANGED:
        case LVN_ODSTATECHANGED: enableButtons(window); break;
        case NM_DBLCLK: openEntry(window); break;
        default: break;
    }
    SetWindowLongPtrW(window, DWLP_MSGRESULT, answer);
    return TRUE;
}

INT_PTR CALLBACK historyWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            historyWindow = window;
            initialise(window);
            return FALSE;  // the focus is set
        case kHistoryReadMessage: takeSnapshot(window); return TRUE;
        case WM_COMMAND: return command(window, LOWORD(wParam), HIWORD(wParam));
        case WM_NOTIFY: return notified(window, reinterpret_cast<const NMHDR*>(lParam));
        case WM_SIZE:
            if (wParam != SIZE_MINIMIZED) layOut(window, LOWORD(lParam), HIWORD(lParam));
            return TRUE;
        case WM_GETMINMAXINFO: {
            MINMAXINFO* limits = reinterpret_cast<MINMAXINFO*>(lParam);
            if (smallest.cx > 0) limits->ptMinTrackSize = {smallest.cx, smallest.cy};
            return TRUE;
        }
        case WM_CLOSE: DestroyWindow(window); return TRUE;
        case WM_DESTROY:
            historyWindow = nullptr;
            forgetHistorySnapshots();
            forgetDialogKeys(window);
            snapshot = std::make_unique<HistorySnapshot>();
            shownRows.clear();
            break;
        default: break;
    }
    return FALSE;
}
}  // namespace

void openHistoryWindow() {
    if (HWND open = historyWindow.load()) {
        ShowWindow(open, SW_RESTORE);
        SetForegroundWindow(open);
        return;
    }
    setHistoryWritten(historyWritten);
    HWND window = CreateDialogParamW(programModule, MAKEINTRESOURCEW(IDD_HISTORY), nullptr, historyWindowProc, 0);
    if (!window) return;
    takeDialogKeys(window);  // Tab, Enter (Open) and Esc (Close)
    ShowWindow(window, SW_SHOW);
    if (!SetForegroundWindow(window)) FlashWindow(window, TRUE);
}
