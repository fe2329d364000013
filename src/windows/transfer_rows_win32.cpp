#include "windows/transfer_rows_win32.h"

#include <commctrl.h>

#include <mutex>

#include "doors/side_places.h"
#include "resource.h"
#include "transfer/stop.h"
#include "windows/app_state_win32.h"
#include "windows/texts_win32.h"

namespace {
// A row in dialog units: its height, and its text, bar and button across the window.
constexpr int kRowHeight = 13;
// The button is as wide as the main Stop button, whose text it shows in every language.
constexpr RECT kText = {7, 1, 136, 10};
constexpr RECT kBar = {140, 3, 217, 9};
constexpr RECT kStop = {221, 0, 289, 11};
constexpr int kRowsTop = 223;  // under the status line's bar (IDC_PROGRESS ends at 220)

struct RowState {
    bool shown = false;
    std::wstring text;
    int percent = 0;
};
std::mutex rowsLock;
RowState rows[kSidePlaces];

bool rowKnown(int row) { return row >= 0 && row < kSidePlaces; }

void changed() {
    if (mainWindow) PostMessageW(mainWindow, kRowsChangedMessage, 0, 0);
}

RECT inPixels(HWND window, RECT r, int row) {
    r.top += kRowsTop + row * kRowHeight;
    r.bottom += kRowsTop + row * kRowHeight;
    MapDialogRect(window, &r);
    return r;
}

HWND rowControl(HWND window, int id, const wchar_t* kind, DWORD style, RECT at) {
    HWND control = GetDlgItem(window, id);
    if (!control) {
        control = CreateWindowExW(0, kind, L"", WS_CHILD | style, at.left, at.top, at.right - at.left,
                                  at.bottom - at.top, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                  programModule, nullptr);
        SendMessageW(control, WM_SETFONT, SendDlgItemMessageW(window, IDC_STATUS, WM_GETFONT, 0, 0), FALSE);
    }
    MoveWindow(control, at.left, at.top, at.right - at.left, at.bottom - at.top, FALSE);
    return control;
}

// Moves every control below the rows' place, and the window's bottom, by pixels.
void shiftBelow(HWND window, int pixels) {
    RECT top = {0, kRowsTop, 0, kRowsTop};
    MapDialogRect(window, &top);
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        const int id = GetDlgCtrlID(child);
        if (id >= IDC_ROW_TEXT && id < IDC_ROW_STOP + kSidePlaces) continue;
        RECT r;
        GetWindowRect(child, &r);
        MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&r), 2);
        if (r.top >= top.top) SetWindowPos(child, nullptr, r.left, r.top + pixels, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    }
    RECT frame;
    GetWindowRect(window, &frame);
    SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top + pixels,
                 SWP_NOMOVE | SWP_NOZORDER);
}
}  // namespace

void rowStarted(int row, const std::string& sender, const std::string& what) {
    if (!rowKnown(row)) return;
    {
        std::lock_guard<std::mutex> guard(rowsLock);
        rows[row] = RowState{true, utf8ToWide(sender) + L" \x2014 " + utf8ToWide(what), 0};
    }
    changed();
}

void rowMoved(int row, int percent) {
    if (!rowKnown(row)) return;
    {
        std::lock_guard<std::mutex> guard(rowsLock);
        rows[row].percent = percent;
    }
    changed();
}

void rowEnded(int row) {
    if (!rowKnown(row)) return;
    {
        std::lock_guard<std::mutex> guard(rowsLock);
        rows[row].shown = false;
    }
    changed();
}

namespace {
// Places, labels and shows the rows as shown says, then grows or shrinks the window.
void layRows(HWND window, const RowState* now) {
    static int shiftedBy = 0;  // the window's own thread only
    wchar_t stop[64] = {};
    GetDlgItemTextW(window, IDC_STOP, stop, 63);  // the Stop button's text, in the user's language
    int line = 0;
    for (int i = 0; i < kSidePlaces; ++i) {
        HWND text = rowControl(window, IDC_ROW_TEXT + i, L"STATIC", SS_LEFTNOWORDWRAP | SS_NOPREFIX,
                               inPixels(window, kText, line));
        HWND bar = rowControl(window, IDC_ROW_PROGRESS + i, PROGRESS_CLASSW, PBS_SMOOTH, inPixels(window, kBar, line));
        HWND button = rowControl(window, IDC_ROW_STOP + i, L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP,
                                 inPixels(window, kStop, line));
        SetWindowTextW(text, now[i].text.c_str());
        SetWindowTextW(button, stop);
        for (HWND control : {text, bar, button}) ShowWindow(control, now[i].shown ? SW_SHOWNA : SW_HIDE);
        if (now[i].shown) ++line;
    }
    RECT height = {0, 0, 0, line * kRowHeight};
    MapDialogRect(window, &height);
    if (height.bottom != shiftedBy) shiftBelow(window, height.bottom - shiftedBy);
    shiftedBy = height.bottom;
    // The dialog does not clip its children: each is drawn again over the erased background.
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}
}  // namespace

void showTransferRows(HWND window) {
    static bool laid[kSidePlaces] = {};  // the window's own thread only
    RowState now[kSidePlaces];
    {
        std::lock_guard<std::mutex> guard(rowsLock);
        for (int i = 0; i < kSidePlaces; ++i) now[i] = rows[i];
    }
    bool changed = false;
    for (int i = 0; i < kSidePlaces; ++i) {
        changed = changed || laid[i] != now[i].shown;
        laid[i] = now[i].shown;
    }
    // Progress alone moves the bars; a row that comes or goes lays them all out again.
    if (changed || !GetDlgItem(window, IDC_ROW_TEXT)) layRows(window, now);
    for (int i = 0; i < kSidePlaces; ++i)
        SendDlgItemMessageW(window, IDC_ROW_PROGRESS + i, PBM_SETPOS, static_cast<WPARAM>(now[i].percent), 0);
}

TransferSum transferSum(bool mainRunning, int mainPercent) {
    TransferSum sum;
    int total = mainRunning ? mainPercent : 0;
    sum.count = mainRunning ? 1 : 0;
    {
        std::lock_guard<std::mutex> guard(rowsLock);
        for (const RowState& row : rows)
            if (row.shown) {
                ++sum.count;
                total += row.percent;
            }
    }
    sum.percent = sum.count ? total / sum.count : 0;
    return sum;
}

bool rowCommand(int id) {
    if (id < IDC_ROW_STOP || id >= IDC_ROW_STOP + kSidePlaces) return false;
    stopSideReception(id - IDC_ROW_STOP);
    return true;
}
