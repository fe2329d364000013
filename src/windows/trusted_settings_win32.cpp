#include "windows/trusted_settings_win32.h"

#include <commctrl.h>

#include <atomic>
#include <ctime>
#include <string>

#include "core/window_port.h"
#include "platform/net.h"
#include "platform/threads.h"
#include "resource.h"
#include "private/pairing_wait.h"
#include "private/private_channel.h"
#include "trust/computer_id.h"
#include "trust/identity.h"
#include "trust/trusted_list.h"
#include "windows/app_state_win32.h"
#include "windows/dialog_thread_win32.h"
#include "windows/text_window_win32.h"
#include "windows/texts_win32.h"

namespace {
std::atomic<bool> pairing{false};  // one pairing (or wait for one) at a time
constexpr int kPairWaitMilliseconds = 60000;
constexpr UINT_PTR kWaitTimer = 1;
constexpr UINT kWaitTick = 200;  // milliseconds between two looks at the wait

struct Pairing {
    std::string recipient;  // as typed: an address or a host name
};

std::string lastSeenText(int64_t seen) {
    if (seen <= 0) return wideToUtf8(loadTextW(IDS_NEVER));
    time_t when = static_cast<time_t>(seen);
    struct tm* local = localtime(&when);
    char text[32] = {};
    if (!local || !strftime(text, sizeof text, "%Y-%m-%d %H:%M", local)) return std::string();
    return text;
}

void addColumn(HWND list, int index, int textId, int width) {
    std::wstring title = loadTextW(textId);
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = &title[0];
    column.cx = width;
    column.iSubItem = index;
    SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
}

// A column as wide as sample in the list's font, with the cell's margins.
int widthOf(HWND list, const wchar_t* sample) {
    return static_cast<int>(SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(sample))) + 16;
}

// The ID, address and time whole (the ID is what the user compares with the other
// computer's); the name takes what is left.
void addColumns(HWND list) {
    // Every letter and digit of the alphabet once, and room for an ID of wide ones.
    const int id = widthOf(list, L"ABCD-EFGH-IJKL-MNOP-QRST-UVWX-YZ23-4567") * 21 / 20;
    const int address = widthOf(list, L"888.888.888.888"), seen = widthOf(list, L"8888-88-88 88:88");
    RECT inside = {};
    GetClientRect(list, &inside);
    const int name = inside.right - id - address - seen - GetSystemMetrics(SM_CXVSCROLL);
    addColumn(list, 0, IDS_COLUMN_NAME, name > 60 ? name : 60);
    addColumn(list, 1, IDS_COLUMN_ID, id);
    addColumn(list, 2, IDS_COLUMN_LAST_ADDRESS, address);
    addColumn(list, 3, IDS_COLUMN_LAST_SEEN, seen);
}

void setCell(HWND list, int row, int column, const std::string& utf8) {
    std::wstring text = utf8ToWide(utf8);
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = column;
    item.pszText = &text[0];
    SendMessageW(list, column == 0 ? LVM_INSERTITEMW : LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

void fillList(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_TRUSTED_LIST);
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    int row = 0;
    for (const TrustedComputer& computer : trustedComputers()) {
        setCell(list, row, 0, computer.name);
        setCell(list, row, 1, computer.id);
        setCell(list, row, 2, computer.lastAddress ? netDotted(computer.lastAddress) : std::string());
        setCell(list, row, 3, lastSeenText(computer.lastSeen));
        ++row;
    }
    EnableWindow(GetDlgItem(dialog, IDC_UNTRUST), row > 0);
}

void setNote(HWND dialog, const std::wstring& text) { SetDlgItemTextW(dialog, IDC_TRUST_NOTE, text.c_str()); }

std::string fieldText(HWND dialog, int control) {
    wchar_t text[128] = {};
    GetDlgItemTextW(dialog, control, text, 128);
    return wideToUtf8(text);
}

void showOwnId(HWND dialog) {
    std::string where;
    IdentityState state = loadIdentity(&where);
    std::string id = ownComputerId();
    if (state == IdentityState::Ready && !id.empty()) {
        SetDlgItemTextW(dialog, IDC_OWN_ID, utf8ToWide(id).c_str());
        return;
    }
    // An identity that exists but cannot be read is never replaced: the user is told.
    SetDlgItemTextW(dialog, IDC_OWN_ID, loadTextWith(IDS_OWN_ID_MISSING, where).c_str());
    EnableWindow(GetDlgItem(dialog, IDC_COPY_ID), FALSE);
}

void copyOwnId(HWND dialog) {
    std::string id = ownComputerId();
    if (!id.empty() && putOnClipboard(dialog, utf8ToWide(id))) setNote(dialog, loadTextW(IDS_TEXT_COPIED));
}

void addById(HWND dialog) {
    std::string id = parseComputerId(fieldText(dialog, IDC_TRUST_ID));
    if (id.empty()) {
        setNote(dialog, loadTextW(IDS_BAD_ID));
        HWND field = GetDlgItem(dialog, IDC_TRUST_ID);
        SetFocus(field);
        SendMessageW(field, EM_SETSEL, 0, -1);
        return;
    }
    std::string name = fieldText(dialog, IDC_TRUST_NAME);
    if (name.empty()) name = id.substr(0, 9);  // a name the list can show until a pairing names it
    if (!trustComputer(id, name)) {
        setNote(dialog, loadTextW(IDS_TRUST_FAILED));
        return;
    }
    SetDlgItemTextW(dialog, IDC_TRUST_ID, L"");
    SetDlgItemTextW(dialog, IDC_TRUST_NAME, L"");
    setNote(dialog, loadTextWith(IDS_TRUSTED_ADDED, id));
    fillList(dialog);
}

void removeSelected(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_TRUSTED_LIST);
    int row = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (row < 0) return;
    wchar_t id[kComputerIdLength + 16] = {};
    LVITEMW item = {};
    item.iSubItem = 1;
    item.pszText = id;
    item.cchTextMax = static_cast<int>(sizeof id / sizeof id[0]);
    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    untrustComputer(wideToUtf8(id));
    fillList(dialog);
}

int pairText(PairResult result) {
    switch (result) {
        case PairResult::Paired: return IDS_PAIRED;
        case PairResult::Declined: return IDS_PAIR_DECLINED;
        case PairResult::PeerDeclined: return IDS_PAIR_PEER_DECLINED;
        case PairResult::NoAnswer: return IDS_PAIR_NO_ANSWER;
        default: return IDS_PAIR_FAILED;
    }
}

// The pairing's thread: it resolves the recipient (a host name may take a while), its
// question is a dialog of its own (portAskTrust), its result goes on the status line.
void pairThread(void* argument) {
    Pairing* p = static_cast<Pairing*>(argument);
    uint32_t address = 0;
    PairResult result = netResolve(p->recipient, &address) ? pairWith(address) : PairResult::Failed;
    const std::string shown = address ? netDotted(address) : p->recipient;
    SetDlgItemTextW(mainWindow, IDC_STATUS, loadTextWith(pairText(result), shown).c_str());
    delete p;
    pairing = false;
}
void showWaitLeft(HWND dialog, int millisecondsLeft) {
    const std::string seconds = std::to_string(millisecondsLeft > 0 ? (millisecondsLeft + 999) / 1000 : 0);
    SetDlgItemTextW(dialog, IDC_PAIR_WAIT_TEXT, loadTextWith(IDS_PAIR_WAITING, seconds).c_str());
}

// The box ends as the wait does: on Cancel, at its time, or when a request took it (the
// pairing's question then comes in a dialog of its own).
INT_PTR CALLBACK waitDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    PairResult result = PairResult::NoAnswer;
    uint32_t address = 0;
    int left = 0;
    switch (message) {
        case WM_INITDIALOG:
            SetWindowTextW(dialog, loadTextW(IDS_PAIR_WAIT_TITLE).c_str());
            SetDlgItemTextW(dialog, IDCANCEL, loadTextW(IDS_CANCEL).c_str());
            pairingWaitState(&result, &address, &left);
            showWaitLeft(dialog, left);
            SetForegroundWindow(dialog);
            SetTimer(dialog, kWaitTimer, kWaitTick, nullptr);
            return TRUE;
        case WM_TIMER:
            if (pairingWaitState(&result, &address, &left) == PairingWaitState::Waiting) showWaitLeft(dialog, left);
            else EndDialog(dialog, 0);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) != IDCANCEL) break;
            closePairingWait();
            EndDialog(dialog, 0);
            return TRUE;
        case WM_DESTROY: KillTimer(dialog, kWaitTimer); break;
        default: break;
    }
    return FALSE;
}

// The wait's thread: the box while it waits, then the outcome on the status line once a
// pairing that took the wait has ended.
void waitThread(void*) {
    runOnDialogThread(
        [] { DialogBoxParamW(programModule, MAKEINTRESOURCEW(IDD_PAIR_WAIT), nullptr, waitDialogProc, 0); });
    closePairingWait();  // also when the box could not be shown
    PairResult result = PairResult::NoAnswer;
    uint32_t address = 0;
    int left = 0;
    while (pairingWaitState(&result, &address, &left) == PairingWaitState::Pairing) sleepMilliseconds(kWaitTick);
    const std::wstring text = address ? loadTextWith(pairText(result), netDotted(address))
                                      : loadTextW(IDS_PAIR_WAIT_OVER);
    SetDlgItemTextW(mainWindow, IDC_STATUS, text.c_str());
    pairing = false;
}
}  // namespace

void initialiseTrusted(HWND dialog) {
    const int texts[][2] = {{IDC_OWN_ID_LABEL, IDS_OWN_ID},
                            {IDC_COPY_ID, IDS_TEXT_COPY},
                            {IDC_TRUSTED_GROUP, IDS_TRUSTED_GROUP},
                            {IDC_UNTRUST, IDS_UNTRUST},
                            {IDC_PAIR, IDS_PAIR_BUTTON},
                            {IDC_PAIR_WAIT, IDS_PAIR_WAIT_BUTTON},
                            {IDC_TRUST_ID_LABEL, IDS_TRUST_BY_ID},
                            {IDC_TRUST_NAME_LABEL, IDS_TRUST_NAME},
                            {IDC_TRUST_ADD, IDS_TRUST_ADD}};
    for (const auto& text : texts) SetDlgItemTextW(dialog, text[0], loadTextW(text[1]).c_str());
    HWND list = GetDlgItem(dialog, IDC_TRUSTED_LIST);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
    addColumns(list);
    // An ID is 32 characters in groups: room for dashes or spaces as pasted.
    SendDlgItemMessageW(dialog, IDC_TRUST_ID, EM_LIMITTEXT, 100, 0);
    SendDlgItemMessageW(dialog, IDC_TRUST_NAME, EM_LIMITTEXT, kTrustedNameLimit / 2, 0);
    showOwnId(dialog);
    fillList(dialog);
    EnableWindow(GetDlgItem(dialog, IDC_PAIR), !pairing);
    EnableWindow(GetDlgItem(dialog, IDC_PAIR_WAIT), !pairing);
}

bool trustedCommand(HWND dialog, int id) {
    switch (id) {
        case IDC_COPY_ID: copyOwnId(dialog); return true;
        case IDC_TRUST_ADD: addById(dialog); return true;
        case IDC_UNTRUST: removeSelected(dialog); return true;
        default: return false;
    }
}

bool pairingTarget(HWND dialog) {
    if (!portGetRecipient().empty()) return true;
    setNote(dialog, loadTextW(IDS_PAIR_NO_RECIPIENT));
    return false;
}

void startPairing() {
    if (pairing.exchange(true)) return;
    Pairing* p = new Pairing{portGetRecipient()};
    // Before the thread starts: an address that does not answer ends it at once, and its
    // outcome must not be covered by this.
    SetDlgItemTextW(mainWindow, IDC_STATUS, loadTextWith(IDS_PAIRING, p->recipient).c_str());
    if (startThread(pairThread, p)) return;
    SetDlgItemTextW(mainWindow, IDC_STATUS, loadTextWith(IDS_PAIR_FAILED, p->recipient).c_str());
    delete p;
    pairing = false;
}

void startPairingWait() {
    if (pairing.exchange(true)) return;
    openPairingWait(kPairWaitMilliseconds);
    if (startThread(waitThread, nullptr)) return;
    closePairingWait();
    pairing = false;
}
