#include "windows/send_text_win32.h"

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/peer_text.h"
#include "platform/net.h"
#include "platform/threads.h"
#include "private/private_channel.h"
#include "resource.h"
#include "selection/selection_list.h"
#include "send/text_send.h"
#include "windows/app_state_win32.h"
#include "windows/handed_paths_win32.h"
#include "windows/main_window_commands_win32.h"
#include "windows/texts_win32.h"

namespace {
std::atomic<bool> textSending{false};  // one text at a time

struct TextJob {
    std::string recipient, text;
};

void showStatus(const std::wstring& text) { SetDlgItemTextW(mainWindow, IDC_STATUS, text.c_str()); }

void textThread(void* argument) {
    const std::unique_ptr<TextJob> job(static_cast<TextJob*>(argument));
    showStatus(loadTextWith(IDS_TEXT_SENDING, job->recipient));
    const TextSendEnding ending = sendText(job->recipient, job->text);
    const std::string& shown = ending.result == TextSendResult::Refused ? ending.reason : ending.name;
    showStatus(loadTextWith(textSendTextId(ending.result), shown));
    textSending = false;
}

// The recipient field as typed; an error box says so when it is empty.
std::string recipientOf(HWND window) {
    wchar_t field[256] = {};
    GetDlgItemTextW(window, IDC_RECIPIENT, field, 256);
    if (!field[0]) showError(loadTextW(IDS_NO_RECIPIENT));
    return wideToUtf8(field);
}

// The edit box's and the clipboard's line ends are CR LF; a text's are LF.
std::string textOf(const std::wstring& wide) {
    std::wstring lines;
    for (size_t i = 0; i < wide.size(); ++i)
        if (!(wide[i] == L'\r' && i + 1 < wide.size() && wide[i + 1] == L'\n')) lines += wide[i];
    return wideToUtf8(lines);
}

void startTextSend(const std::string& recipient, const std::string& text) {
    if (textSending.exchange(true)) return;
    TextJob* job = new TextJob{recipient, text};
    if (startThread(textThread, job)) return;
    delete job;
    textSending = false;
}

// The trusted computer met at the recipient field's address, if any.
std::optional<std::string> trustedNameOf(const std::string& recipient) {
    uint32_t address = 0;
    if (!netParseDotted(recipient, &address)) return std::nullopt;
    return trustedNameAt(address);
}

// The dialog's title names where the words go; its text is what OK takes.
struct TextDialog {
    std::string recipient, text;
};

INT_PTR CALLBACK sendTextProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, GWLP_USERDATA, lParam);
        const TextDialog* shown = reinterpret_cast<const TextDialog*>(lParam);
        SetWindowTextW(dialog, loadTextWith(IDS_SEND_TEXT_TITLE, shown->recipient).c_str());
        SetDlgItemTextW(dialog, IDOK, loadTextW(IDS_SEND_TEXT_BUTTON).c_str());
        SetDlgItemTextW(dialog, IDCANCEL, loadTextW(IDS_CANCEL).c_str());
        // A character is at least one byte: more than the bound can never go.
        SendDlgItemMessageW(dialog, IDC_SEND_TEXT_BODY, EM_SETLIMITTEXT, static_cast<WPARAM>(kMostTextBytes), 0);
        return TRUE;
    }
    if (message != WM_COMMAND || (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL)) return FALSE;
    if (LOWORD(wParam) == IDOK) {
        HWND body = GetDlgItem(dialog, IDC_SEND_TEXT_BODY);
        std::wstring wide(static_cast<size_t>(GetWindowTextLengthW(body)) + 1, L'\0');
        wide.resize(static_cast<size_t>(GetWindowTextW(body, &wide[0], static_cast<int>(wide.size()))));
        reinterpret_cast<TextDialog*>(GetWindowLongPtrW(dialog, GWLP_USERDATA))->text = textOf(wide);
    }
    EndDialog(dialog, LOWORD(wParam));
    return TRUE;
}

// The clipboard's text, at most one character past the bound (more is refused whole).
std::wstring clipboardText() {
    std::wstring text;
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    const wchar_t* locked = data ? static_cast<const wchar_t*>(GlobalLock(data)) : nullptr;
    if (!locked) return text;
    const size_t most = GlobalSize(data) / sizeof(wchar_t);
    for (size_t i = 0; i < most && locked[i] && i <= static_cast<size_t>(kMostTextBytes); ++i) text += locked[i];
    GlobalUnlock(data);
    return text;
}

// Files go only where a trusted computer was met (or chosen in the recipient menu):
// anything else is refused with the hint to pair.
bool trustedRecipient(const std::string& recipient) {
    if (trustedNameOf(recipient)) return true;
    showStatus(loadTextWith(IDS_TEXT_NOT_TRUSTED, recipient));
    return false;
}

void sendClipboardFiles(HWND window, const std::string& recipient, const std::vector<std::wstring>& paths) {
    if (!trustedRecipient(recipient)) return;
    clearSelection();
    addPaths(window, paths);
    sendCommand(window);
}
}  // namespace

void showTextMenu(HWND window) {
    HMENU menu = CreatePopupMenu();
    if (!menu) return;
    AppendMenuW(menu, MF_STRING, IDM_SEND_TEXT, loadTextW(IDS_SEND_TEXT_MENU).c_str());
    AppendMenuW(menu, MF_STRING, IDM_SEND_CLIPBOARD, loadTextW(IDS_SEND_CLIPBOARD).c_str());
    RECT button = {};
    GetWindowRect(GetDlgItem(window, IDC_TEXT_BUTTON), &button);
    SetForegroundWindow(window);  // else the menu stays open when the user clicks elsewhere
    TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON, button.left, button.bottom, 0, window, nullptr);
    DestroyMenu(menu);
}

void sendTextCommand(HWND window) {
    const std::string recipient = recipientOf(window);
    if (recipient.empty()) return;
    // A trusted computer met at the address is named as the status line will name it.
    const std::optional<std::string> trusted = trustedNameOf(recipient);
    TextDialog shown{trusted ? *trusted : recipient, std::string()};
    if (DialogBoxParamW(programModule, MAKEINTRESOURCEW(IDD_SEND_TEXT), window, sendTextProc,
                        reinterpret_cast<LPARAM>(&shown)) == IDOK)
        startTextSend(recipient, shown.text);
}

void sendClipboardCommand(HWND window) {
    const std::string recipient = recipientOf(window);
    if (recipient.empty() || !OpenClipboard(window)) return;
    std::vector<std::wstring> paths;
    std::wstring text;
    if (IsClipboardFormatAvailable(CF_HDROP)) {
        HANDLE drop = GetClipboardData(CF_HDROP);
        if (drop) paths = droppedPaths(static_cast<HDROP>(drop));
    } else if (IsClipboardFormatAvailable(CF_UNICODETEXT)) {
        text = clipboardText();
    }
    CloseClipboard();
    if (!paths.empty()) sendClipboardFiles(window, recipient, paths);
    else if (!text.empty()) startTextSend(recipient, textOf(text));
    else showStatus(loadTextW(IDS_CLIPBOARD_EMPTY));
}
