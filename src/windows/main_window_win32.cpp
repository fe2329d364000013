#include "windows/main_window_win32.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <string>

#include "core/central_state.h"
#include "core/text_routines.h"
#include "core/window_port.h"
#include "discovery/discovery.h"
#include "discovery/own_address.h"
#include "platform/codepage.h"
#include "resource.h"
#include "selection/selection_list.h"
#include "windows/app_state_win32.h"
#include "windows/banner_display_win32.h"
#include "windows/browser_dialog_win32.h"
#include "windows/folder_browser_win32.h"
#include "windows/handed_paths_win32.h"
#include "windows/history_window_win32.h"
#include "windows/main_window_commands_win32.h"
#include "windows/network_check_win32.h"
#include "windows/partial_settings_win32.h"
#include "windows/private_mark_win32.h"
#include "windows/receive_settings_win32.h"
#include "windows/recipient_menu_win32.h"
#include "windows/resume_offer_win32.h"
#include "windows/send_text_win32.h"
#include "windows/settings_dialog_win32.h"
#include "windows/settings_win32.h"
#include "windows/text_window_win32.h"
#include "windows/texts_win32.h"
#include "windows/transfer_buttons_win32.h"
#include "windows/transfer_rows_win32.h"
#include "windows/tray_win32.h"

namespace {
std::wstring withTrailingBackslash(std::wstring path) {
    if (!path.empty() && path.back() != L'\\' && path.size() < 260) path += L'\\';
    return path;
}

std::wstring desktopFolder() {
    wchar_t path[MAX_PATH + 1] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_DESKTOP, nullptr, 0, path))) return std::wstring();
    return withTrailingBackslash(path);
}

// The stored "Directory", or the desktop when none is stored (also on a first run,
// when the settings key does not exist yet: a new user can receive at once).
void fillStorePath(HWND window) {
    std::wstring path;
    readStorePathSetting(&path);
    if (path.empty()) path = desktopFolder();
    SetDlgItemTextW(window, IDC_STORE_PATH, path.c_str());
}

void setTranslatedTexts(HWND window) {
    const int controls[] = {IDC_LABEL_OWN, IDC_LABEL_RECIPIENT, IDC_STOP, IDC_SEND, IDC_LABEL_STORE};
    const int texts[] = {IDS_YOUR_IP, IDS_RECIPIENT_IP, IDS_STOP, IDS_SEND_FILE, IDS_STORE_PATH};
    for (int i = 0; i < 5; ++i) SetDlgItemTextA(window, controls[i], loadTextA(texts[i]).c_str());
    SetDlgItemTextW(window, IDC_HISTORY_BUTTON, loadTextW(IDS_HISTORY).c_str());
    SetDlgItemTextW(window, IDC_TEXT_BUTTON, loadTextW(IDS_TEXT_BUTTON).c_str());
}

void setButtonBitmap(HWND window, int control, int bitmap, UINT flags) {
    HANDLE image = LoadImageW(programModule, MAKEINTRESOURCEW(bitmap), IMAGE_BITMAP, 16, 16, flags);
    SendDlgItemMessageW(window, control, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(image));
}

// Once a second while no recipient is known: announce this copy. When the recipient
// field holds an address, the timer stops for good and the discovery button works.
void CALLBACK discoveryTickProc(HWND window, UINT, UINT_PTR, DWORD) {
    if (!discoveryTick()) return;
    if (discoveryTimerId) KillTimer(window, discoveryTimerId);
    discoveryTimerId = 0;
    EnableWindow(GetDlgItem(window, IDC_DISCOVER), TRUE);
    setButtonBitmap(window, IDC_DISCOVER, IDB_DISCOVERY, LR_COPYFROMRESOURCE | LR_LOADMAP3DCOLORS | LR_LOADTRANSPARENT);
}

// The object must be initialised before any other call; one that cannot be is let go.
void createTaskbarProgress(HWND window) {
    void* object = nullptr;
    if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3, &object)) ||
        !object)
        return;
    ITaskbarList3* list = static_cast<ITaskbarList3*>(object);
    if (FAILED(list->HrInit())) {
        list->Release();
        return;
    }
    taskbarProgress = list;
    taskbarProgress->SetProgressState(window, TBPF_NORMAL);
}

// The taskbar and the tray tip sum every running transfer: the one reception or send, whose
// bar last showed mainPercent, and each side reception's row. With none running, the
// taskbar keeps what the last one showed.
int mainPercent = 0;  // this thread only

void showTransferSum(HWND window) {
    const TransferSum sum = transferSum(receiveInProgress || sendInProgress, mainPercent);
    setTrayTip(sum.count, sum.percent);
    const int shown = sum.count > 0 ? sum.percent : mainPercent;
    if (taskbarProgress) taskbarProgress->SetProgressValue(window, static_cast<ULONGLONG>(shown), 100);
}

void showTaskbarProgress(HWND window, WPARAM percent) {
    mainPercent = static_cast<int>(percent);
    showTransferSum(window);
}

BOOL initialise(HWND window) {
    setTranslatedTexts(window);
    HICON icon = LoadIconW(programModule, MAKEINTRESOURCEW(IDI_PROGRAM));
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    HICON smallIcon = static_cast<HICON>(LoadImageW(programModule, MAKEINTRESOURCEW(IDI_PROGRAM), IMAGE_ICON,
                                                    GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));
    applyStoredReceivePolicy();  // before the first connection can arrive
    fillStorePath(window);
    applyStoredPartialFiles(portGetStorePath());  // before a reception can keep or resume one
    startListenerCommand();
    wchar_t ownAddress[16] = {};
    if (getOwnAddress(ownAddress)) SetDlgItemTextW(window, IDC_OWN_ADDRESS, ownAddress);
    SetWindowTextW(window, kProgramTitle);
    startBannerThread();
    SetFocus(GetDlgItem(window, IDC_RECIPIENT));
    EnableWindow(GetDlgItem(window, IDC_SEND), TRUE);
    EnableWindow(GetDlgItem(window, IDC_STOP), FALSE);
    SendDlgItemMessageW(window, IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    EnableWindow(GetDlgItem(window, IDC_DISCOVER), FALSE);
    setButtonBitmap(window, IDC_DISCOVER, IDB_DISCOVERY, LR_COPYFROMRESOURCE | LR_LOADTRANSPARENT);
    setButtonBitmap(window, IDC_SETTINGS, IDB_SETTINGS, LR_COPYFROMRESOURCE | LR_LOADMAP3DCOLORS | LR_LOADTRANSPARENT);
    setUpRecipientMenu(window);
    createTaskbarProgress(window);
    discoveryTimerId = SetTimer(window, 1, kDiscoveryTickMilliseconds, discoveryTickProc);
    return FALSE;  // the focus is set
}

void refreshSummary(HWND window) {
    offerSelection();
    refreshSendLabel(window);
    if (selectedFileCount == 0 && selectedFolderCount == 0) {
        SetDlgItemTextA(window, IDC_SUMMARY, loadTextA(IDS_SELECT_FILES).c_str());
        return;
    }
    const std::string summary = fillNumbers(loadTextA(IDS_SELECTED), selectedFileCount, selectedFolderCount);
    SetDlgItemTextA(window, IDC_SUMMARY, summary.c_str());
}

void takeDrop(HWND window, HDROP drop) {
    const std::vector<std::wstring> paths = droppedPaths(drop);
    DragFinish(drop);
    addPaths(window, paths);
}

void chooseStorePath(HWND window) {
    std::wstring path = browseForFolder(window);
    if (path.empty()) return;
    std::wstring chosen = withTrailingBackslash(path);
    SetDlgItemTextW(window, IDC_STORE_PATH, chosen.c_str());
    writeStorePathSetting(chosen);
}

// Browser access ends first, while this window still answers its connections' threads;
// the program ends when its dialog has closed.
void endProgram(HWND window) {
    if (endBrowserAccessForExit()) return;
    EndDialog(window, 0);
    PostQuitMessage(0);
}

void command(HWND window, int id) {
    switch (id) {
        case IDOK:
        case IDCANCEL:
        case IDM_EXIT: endProgram(window); break;
        case IDC_STOP: stopCommand(); break;
        case IDC_SEND: sendCommand(window); break;
        case IDC_CHOOSE_STORE: chooseStorePath(window); break;
        case IDC_SETTINGS:
            DialogBoxParamW(programModule, MAKEINTRESOURCEW(IDD_SETTINGS), window, settingsDialogProc, 0);
            break;
        case IDM_RESTORE: removeTrayIcon(); break;
        case IDM_PAUSE: pauseReceiving(!receivingPaused()); break;
        case IDM_OPEN_STORE: openStoreFolder(); break;
        case IDM_BROWSER_ACCESS: runBrowserAccess(); break;
        case IDM_NETWORK_CHECK: openNetworkCheck(); break;
        case IDM_HISTORY:
        case IDC_HISTORY_BUTTON: openHistoryWindow(); break;
        case IDC_RECIPIENT_PEERS: showRecipientMenu(window); break;
        case IDC_TEXT_BUTTON: showTextMenu(window); break;
        case IDM_SEND_TEXT: sendTextCommand(window); break;
        case IDM_SEND_CLIPBOARD: sendClipboardCommand(window); break;
        default:
            if (!rowCommand(id)) otherCommand(window, id);
            break;
    }
}
}  // namespace

INT_PTR CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // Sent to every top-level window when the taskbar has started again, its icons lost.
    static const UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    mainWindow = window;
    if (taskbarCreated && message == taskbarCreated) {
        addTrayIconAgain();
        return FALSE;
    }
    switch (message) {
        case WM_DESTROY:
            if (taskbarProgress) taskbarProgress->Release();
            taskbarProgress = nullptr;
            break;
        case WM_ACTIVATE: refreshSummary(window); break;
        case WM_NCPAINT:
            if (startInTray.exchange(false)) addTrayIcon();
            break;
        case WM_INITDIALOG: return initialise(window);
        case WM_COMMAND:
            if (HIWORD(wParam) == 0) command(window, LOWORD(wParam));
            if (HIWORD(wParam) == EN_CHANGE && LOWORD(wParam) == IDC_RECIPIENT) refreshSendLabel(window);
            break;
        case WM_SYSCOMMAND:
            // With "MinimizeToTray" a minimise hides the window to the tray instead.
            if ((wParam & 0xFFF0) == SC_MINIMIZE && readSwitchSetting(L"MinimizeToTray")) {
                addTrayIcon();
                return TRUE;
            }
            break;
        case WM_DROPFILES: takeDrop(window, reinterpret_cast<HDROP>(wParam)); break;
        case WM_TRAY_CALLBACK: trayCallback(lParam); break;
        case kButtonsMessage:
            applyButtonsChange(window, wParam, lParam);
            showTransferSum(window);  // a transfer that ended leaves the tray tip
            break;
        case kTaskbarProgressMessage: showTaskbarProgress(window, wParam); break;
        case kReceptionEndedMessage: showReceptionBalloon(wParam != 0); break;
        case kTextArrivedMessage: openArrivedTexts(); break;
        case kPrivateMarkMessage: showPrivateMark(window); break;
        case kSendEndedMessage: showSendEnded(window); break;
        case kRowsChangedMessage:
            showTransferRows(window);
            showTransferSum(window);
            break;
        case WM_COPYDATA: {
            // A dialog procedure's answer to this message goes in DWLP_MSGRESULT.
            BOOL taken = takeHandedPaths(window, wParam, reinterpret_cast<const COPYDATASTRUCT*>(lParam));
            SetWindowLongPtrW(window, DWLP_MSGRESULT, taken);
            return TRUE;
        }
        case WM_ENABLE:
            if (wParam) takeWaitingPaths(window);
            break;
        default: break;
    }
    return FALSE;
}
