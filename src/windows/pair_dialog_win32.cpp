#include "windows/pair_dialog_win32.h"

#include <windows.h>

#include "platform/threads.h"
#include "resource.h"
#include "windows/app_state_win32.h"
#include "windows/dialog_thread_win32.h"
#include "windows/texts_win32.h"

namespace {
constexpr UINT_PTR kPairTimer = 1;
constexpr UINT kPairTick = 200;  // milliseconds between two looks at the clock
constexpr int kCodePoints = 28;  // the code's type size, large enough to read across a desk

struct Question {
    std::string name, id, code;
    int milliseconds = 0;
    uint32_t start = 0;
    HFONT codeFont = nullptr;
};

void showSecondsLeft(HWND dialog, const Question& q) {
    int left = q.milliseconds - static_cast<int>(tickCount() - q.start);
    std::wstring text = loadTextW(IDS_NO) + L" (" + std::to_wstring(left > 0 ? (left + 999) / 1000 : 0) + L")";
    SetDlgItemTextW(dialog, IDCANCEL, text.c_str());
}

// The dialog's own face, larger and bold: the digits are what the user compares.
HFONT codeFont(HWND dialog) {
    LOGFONTW face = {};
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
    if (!font || !GetObjectW(font, sizeof face, &face)) return nullptr;
    HDC screen = GetDC(dialog);
    face.lfHeight = -MulDiv(kCodePoints, GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(dialog, screen);
    face.lfWeight = FW_BOLD;
    return CreateFontIndirectW(&face);
}

void initialise(HWND dialog, Question* q) {
    SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(q));
    SetWindowTextW(dialog, loadTextW(IDS_PAIR_TITLE).c_str());
    SetDlgItemTextW(dialog, IDC_PAIR_COMPUTER, loadTextWith(IDS_PAIR_COMPUTER, q->name).c_str());
    SetDlgItemTextW(dialog, IDC_PAIR_ID, loadTextWith(IDS_PAIR_ID, q->id).c_str());
    SetDlgItemTextW(dialog, IDC_PAIR_COMPARE, loadTextW(IDS_PAIR_COMPARE).c_str());
    SetDlgItemTextW(dialog, IDC_PAIR_QUESTION, loadTextW(IDS_PAIR_QUESTION).c_str());
    SetDlgItemTextW(dialog, IDC_PAIR_YES, loadTextW(IDS_YES).c_str());
    q->codeFont = codeFont(dialog);
    if (q->codeFont)
        SendDlgItemMessageW(dialog, IDC_PAIR_CODE, WM_SETFONT, reinterpret_cast<WPARAM>(q->codeFont), FALSE);
    SetDlgItemTextW(dialog, IDC_PAIR_CODE, utf8ToWide(spacedCode(q->code)).c_str());
    showSecondsLeft(dialog, *q);
    SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(dialog);
    SetFocus(GetDlgItem(dialog, IDCANCEL));  // Enter or Space on their own say no
    SetTimer(dialog, kPairTimer, kPairTick, nullptr);
    MessageBeep(MB_ICONQUESTION);
}

INT_PTR CALLBACK pairDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    Question* q = reinterpret_cast<Question*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG: initialise(dialog, reinterpret_cast<Question*>(lParam)); return FALSE;  // the focus is set
        case WM_TIMER:
            if (q && tickCount() - q->start >= static_cast<uint32_t>(q->milliseconds)) EndDialog(dialog, IDCANCEL);
            else if (q) showSecondsLeft(dialog, *q);
            return TRUE;
        case WM_COMMAND:
            if (HIWORD(wParam) != BN_CLICKED) break;
            if (LOWORD(wParam) == IDC_PAIR_YES) EndDialog(dialog, IDC_PAIR_YES);
            if (LOWORD(wParam) == IDCANCEL) EndDialog(dialog, IDCANCEL);
            return TRUE;
        case WM_DESTROY: KillTimer(dialog, kPairTimer); break;
        default: break;
    }
    return FALSE;
}
}  // namespace

std::string spacedCode(const std::string& code) {
    return code.size() == 6 ? code.substr(0, 3) + " " + code.substr(3) : code;
}

bool askToTrust(const std::string& name, const std::string& id, const std::string& code, int milliseconds) {
    Question q{name, id, code, milliseconds, tickCount(), nullptr};
    const INT_PTR result = questionOnDialogThread(IDD_PAIR, pairDialogProc, &q);
    if (q.codeFont) DeleteObject(q.codeFont);
    return result == IDC_PAIR_YES;
}
