#include "windows/settings_dialog_win32.h"

#include <string>

#include "core/language_files.h"
#include "core/text_routines.h"
#include "resource.h"
#include "windows/settings_win32.h"
#include "windows/texts_win32.h"

namespace {
// The longest item text: a display name's 30-byte field.
constexpr LRESULT kMaxItemText = 29;

void setCheck(HWND dialog, int control, bool on) {
    CheckDlgButton(dialog, control, on ? BST_CHECKED : BST_UNCHECKED);
}

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

void initialise(HWND dialog) {
    SetDlgItemTextA(dialog, IDC_AUTOSTART, loadTextA(IDS_AUTOSTART).c_str());
    SetDlgItemTextA(dialog, IDC_AUTOSTART_TRAY, loadTextA(IDS_AUTOSTART_TRAY).c_str());
    SetDlgItemTextA(dialog, IDC_MINIMIZE_TRAY, loadTextA(IDS_MINIMIZE_TRAY).c_str());
    std::string code;
    if (readLanguageSetting(&code)) {  // without the settings key every box stays clear
        setCheck(dialog, IDC_AUTOSTART, isAutostartEnabled());
        setCheck(dialog, IDC_AUTOSTART_TRAY, readSwitchSetting(L"AutostartInTray"));
        setCheck(dialog, IDC_MINIMIZE_TRAY, readSwitchSetting(L"MinimizeToTray"));
    }
    fillLanguages(dialog, code);
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
}
}  // namespace

INT_PTR CALLBACK settingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        initialise(dialog);
    } else if (message == WM_COMMAND && HIWORD(wParam) == 0) {
        if (LOWORD(wParam) == IDOK) {
            store(dialog);
            EndDialog(dialog, 0);
        } else if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, 0);
        }
    }
    return FALSE;
}
