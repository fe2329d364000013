#include "windows/settings_dialog_win32.h"

#include <string>
#include <vector>

#include "core/language_files.h"
#include "core/text_routines.h"
#include "history/history.h"
#include "platform/codepage.h"
#include "resource.h"
#include "peers/remembered_peers.h"
#include "windows/browser_dialog_win32.h"
#include "windows/encrypted_only_win32.h"
#include "windows/network_check_win32.h"
#include "windows/partial_settings_win32.h"
#include "windows/peer_store_win32.h"
#include "windows/receive_settings_win32.h"
#include "windows/retry_setting_win32.h"
#include "windows/settings_win32.h"
#include "windows/texts_win32.h"
#include "windows/trusted_settings_win32.h"

namespace {
// The longest item text: a display name's 30-byte field.
constexpr LRESULT kMaxItemText = 29;
// The most entries the history field takes (six digits).
constexpr UINT kMostHistoryEntries = 999999;

void setCheck(HWND dialog, int control, bool on) { CheckDlgButton(dialog, control, on ? BST_CHECKED : BST_UNCHECKED); }

bool isChecked(HWND dialog, int control) {
    return SendDlgItemMessageW(dialog, control, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// The combo box lists the satellites beside the program, where start-up loads them
// from, whatever the current folder is.
void fillLanguages(HWND dialog, const std::string& storedCode) {
    LanguageChoices choices = languageChoices(storedCode, moduleDirectory());
    for (const std::string& name : choices.names)
        SendDlgItemMessageA(dialog, IDC_LANGUAGE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    if (choices.selected >= 0) SendDlgItemMessageA(dialog, IDC_LANGUAGE, CB_SETCURSEL, choices.selected, 0);
}

// The six choices of who may send, in the order of their stored numbers.
constexpr int kChoiceButtons[] = {IDC_ACCEPT_EVERYONE, IDC_ACCEPT_ASK,         IDC_ACCEPT_LISTED,
                                  IDC_ACCEPT_NOBODY,   IDC_ACCEPT_TRUSTED_ASK, IDC_ACCEPT_TRUSTED_ONLY};
constexpr int kChoiceCount = static_cast<int>(sizeof kChoiceButtons / sizeof kChoiceButtons[0]);

AcceptFrom chosenAcceptFrom(HWND dialog) {
    for (int i = 0; i < kChoiceCount; ++i)
        if (isChecked(dialog, kChoiceButtons[i])) return static_cast<AcceptFrom>(i);
    return AcceptFrom::Everyone;
}

bool isChoiceButton(int id) {
    for (int button : kChoiceButtons)
        if (id == button) return true;
    return false;
}

// The list is for the third choice only.
void enableList(HWND dialog) {
    EnableWindow(GetDlgItem(dialog, IDC_ALLOWED_SENDERS), chosenAcceptFrom(dialog) == AcceptFrom::Listed);
}

void initialiseReceiving(HWND dialog) {
    const int texts[][2] = {{IDC_ACCEPT_GROUP, IDS_ACCEPT_GROUP},   {IDC_ACCEPT_EVERYONE, IDS_ACCEPT_EVERYONE},
                            {IDC_ACCEPT_ASK, IDS_ACCEPT_ASK},       {IDC_ACCEPT_LISTED, IDS_ACCEPT_LISTED},
                            {IDC_ACCEPT_NOBODY, IDS_ACCEPT_NOBODY}, {IDC_ALLOWED_HINT, IDS_ALLOWED_HINT}};
    for (const auto& text : texts) SetDlgItemTextW(dialog, text[0], ansiToWide(loadTextA(text[1])).c_str());
    SetDlgItemTextW(dialog, IDC_ACCEPT_TRUSTED_ASK, loadTextW(IDS_ACCEPT_TRUSTED_ASK).c_str());
    SetDlgItemTextW(dialog, IDC_ACCEPT_TRUSTED_ONLY, loadTextW(IDS_ACCEPT_TRUSTED_ONLY).c_str());
    ReceiveSettings settings = readReceiveSettings();
    const int chosen = static_cast<int>(settings.choice);
    for (int i = 0; i < kChoiceCount; ++i) setCheck(dialog, kChoiceButtons[i], i == chosen);
    SendDlgItemMessageW(dialog, IDC_ALLOWED_SENDERS, EM_LIMITTEXT, kAllowedSendersLimit, 0);
    SetDlgItemTextW(dialog, IDC_ALLOWED_SENDERS, ansiToWide(settings.allowed).c_str());
    enableList(dialog);
    // The choices for a file already there, in the order of their stored numbers.
    SetDlgItemTextW(dialog, IDC_EXISTING_LABEL, loadTextW(IDS_EXISTING_SETTING).c_str());
    for (int text : {IDS_EXISTING_CHOICE_REPLACE, IDS_EXISTING_CHOICE_KEEP_BOTH, IDS_EXISTING_CHOICE_SKIP,
                     IDS_EXISTING_CHOICE_ASK})
        SendDlgItemMessageW(dialog, IDC_EXISTING_CHOICE, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(loadTextW(text).c_str()));
    SendDlgItemMessageW(dialog, IDC_EXISTING_CHOICE, CB_SETCURSEL, static_cast<WPARAM>(settings.existing), 0);
}

ExistingChoice chosenExisting(HWND dialog) {
    const LRESULT index = SendDlgItemMessageW(dialog, IDC_EXISTING_CHOICE, CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? ExistingChoice::Replace : existingChoiceStored(static_cast<uint32_t>(index));
}

std::string allowedText(HWND dialog) {
    wchar_t text[kAllowedSendersLimit + 1] = {};
    GetDlgItemTextW(dialog, IDC_ALLOWED_SENDERS, text, kAllowedSendersLimit + 1);
    return wideToAnsi(text);
}

// The list as typed, when the third choice needs it: an entry that is not an address or
// a range is named in a box, and the dialog stays open on the field.
bool listIsGood(HWND dialog) {
    if (chosenAcceptFrom(dialog) != AcceptFrom::Listed) return true;
    std::vector<SenderRange> ranges;
    std::vector<std::string> bad = parseSenderList(allowedText(dialog), &ranges);
    if (bad.empty()) return true;
    std::string text = fillPlaceholders(loadTextA(IDS_BAD_SENDER), bad.front().substr(0, 40));
    MessageBoxW(dialog, ansiToWide(text).c_str(), loadTextW(IDS_ERROR_CAPTION).c_str(), MB_ICONWARNING);
    HWND field = GetDlgItem(dialog, IDC_ALLOWED_SENDERS);
    SetFocus(field);
    SendMessageW(field, EM_SETSEL, 0, -1);
    return false;
}

void initialiseHistoryLimit(HWND dialog) {
    SetDlgItemTextW(dialog, IDC_HISTORY_LIMIT_LABEL, loadTextW(IDS_HISTORY_LIMIT).c_str());
    SendDlgItemMessageW(dialog, IDC_HISTORY_LIMIT, EM_LIMITTEXT, 6, 0);
    SetDlgItemInt(dialog, IDC_HISTORY_LIMIT, static_cast<UINT>(historyLimit()), FALSE);
}

// An empty field, or 0, keeps the limit as it is: the history is never emptied by a typo.
void storeHistoryLimit(HWND dialog) {
    BOOL typed = FALSE;
    UINT entries = GetDlgItemInt(dialog, IDC_HISTORY_LIMIT, &typed, FALSE);
    if (!typed || entries == 0) return;
    if (entries > kMostHistoryEntries) entries = kMostHistoryEntries;
    if (static_cast<int>(entries) != historyLimit()) setHistoryLimit(static_cast<int>(entries));
}

void initialise(HWND dialog) {
    SetDlgItemTextA(dialog, IDC_AUTOSTART, loadTextA(IDS_AUTOSTART).c_str());
    SetDlgItemTextA(dialog, IDC_AUTOSTART_TRAY, loadTextA(IDS_AUTOSTART_TRAY).c_str());
    SetDlgItemTextA(dialog, IDC_MINIMIZE_TRAY, loadTextA(IDS_MINIMIZE_TRAY).c_str());
    SetDlgItemTextW(dialog, IDC_SETTINGS_BROWSER, loadTextW(IDS_BROWSER_ACCESS).c_str());
    SetDlgItemTextW(dialog, IDC_LOOK_AROUND, loadTextW(IDS_LOOK_AROUND).c_str());
    SetDlgItemTextW(dialog, IDC_FORGET_PEERS, loadTextW(IDS_FORGET_PEERS).c_str());
    SetDlgItemTextW(dialog, IDC_SETTINGS_CHECK, loadTextW(IDS_NETWORK_CHECK).c_str());
    setCheck(dialog, IDC_LOOK_AROUND, storedLookAround());  // on unless stored off
    SetDlgItemTextW(dialog, IDC_ONLY_ENCRYPTED, loadTextW(IDS_ONLY_ENCRYPTED_SETTING).c_str());
    setCheck(dialog, IDC_ONLY_ENCRYPTED, storedSendOnlyEncrypted());
    std::string code;
    if (readLanguageSetting(&code)) {  // without the settings key every box stays clear
        setCheck(dialog, IDC_AUTOSTART, isAutostartEnabled());
        setCheck(dialog, IDC_AUTOSTART_TRAY, readSwitchSetting(L"AutostartInTray"));
        setCheck(dialog, IDC_MINIMIZE_TRAY, readSwitchSetting(L"MinimizeToTray"));
    }
    fillLanguages(dialog, code);
    initialiseReceiving(dialog);
    initialisePartialFiles(dialog);
    initialiseHistoryLimit(dialog);
    initialiseRetrySeconds(dialog);
    initialiseTrusted(dialog);
}

std::string chosenLanguage(HWND dialog) {
    LRESULT index = SendDlgItemMessageA(dialog, IDC_LANGUAGE, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR) return std::string();
    std::string text;
    LRESULT length = SendDlgItemMessageA(dialog, IDC_LANGUAGE, CB_GETLBTEXTLEN, index, 0);
    if (length != CB_ERR && length <= kMaxItemText) {
        char item[kMaxItemText + 1] = {};
        SendDlgItemMessageA(dialog, IDC_LANGUAGE, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(item));
        text = item;
    }
    return languageCodeForChoice(static_cast<int>(index), text);
}

void store(HWND dialog) {
    StoredSettings settings;
    settings.language = chosenLanguage(dialog);
    settings.autostart = isChecked(dialog, IDC_AUTOSTART);
    settings.autostartInTray = isChecked(dialog, IDC_AUTOSTART_TRAY);
    settings.minimizeToTray = isChecked(dialog, IDC_MINIMIZE_TRAY);
    writeSettings(settings);  // a failure is not reported; the dialog closes anyway
    storeLookAround(isChecked(dialog, IDC_LOOK_AROUND));
    storeSendOnlyEncrypted(isChecked(dialog, IDC_ONLY_ENCRYPTED));
    // Who may send takes effect at once, stored or not.
    ReceiveSettings receiving{chosenAcceptFrom(dialog), allowedText(dialog), chosenExisting(dialog)};
    applyReceiveSettings(receiving);
    writeReceiveSettings(receiving);
    storePartialFiles(dialog);
    storeHistoryLimit(dialog);
    storeRetrySeconds(dialog);
}
}  // namespace

INT_PTR CALLBACK settingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        initialise(dialog);
    } else if (message == WM_COMMAND && HIWORD(wParam) == 0) {
        if (trustedCommand(dialog, LOWORD(wParam)) || partialFilesCommand(dialog, LOWORD(wParam))) return TRUE;
        if (LOWORD(wParam) == IDC_SETTINGS_BROWSER) runBrowserAccess();
        if (LOWORD(wParam) == IDC_SETTINGS_CHECK) openNetworkCheck();
        if (LOWORD(wParam) == IDC_FORGET_PEERS) forgetRememberedPeers();  // at once, as the button says
        // Pair and Wait close the dialog as Ok does, then pair: their boxes come to the front.
        const bool pair = LOWORD(wParam) == IDC_PAIR, wait = LOWORD(wParam) == IDC_PAIR_WAIT;
        if (LOWORD(wParam) == IDOK || wait || (pair && pairingTarget(dialog))) {
            if (!listIsGood(dialog)) return FALSE;
            store(dialog);
            EndDialog(dialog, 0);
            if (pair) startPairing();
            if (wait) startPairingWait();
        } else if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, 0);
        } else if (isChoiceButton(LOWORD(wParam))) {
            enableList(dialog);
        }
    }
    return FALSE;
}
