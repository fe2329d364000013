#include "windows/ask_dialog_win32.h"

#include <string>

#include "core/central_state.h"
#include "core/text_routines.h"
#include "platform/codepage.h"
#include "platform/threads.h"
#include "resource.h"
#include "selection/size_format.h"
#include "windows/app_state_win32.h"
#include "windows/dialog_thread_win32.h"
#include "windows/texts_win32.h"

namespace {
constexpr UINT_PTR kAskTimer = 1;
constexpr UINT kAskTick = 200;  // milliseconds between two looks at the clock, at Stop and at a withdrawal

struct Question {
    std::string address;
    int64_t total = 0;
    int milliseconds = 0;
    uint32_t start = 0;
};

void showSecondsLeft(HWND dialog, const Question& q) {
    int left = q.milliseconds - static_cast<int>(tickCount() - q.start);
    std::string text = loadTextA(IDS_ASK_DECLINE) + " (" + std::to_string(left > 0 ? (left + 999) / 1000 : 0) + ")";
    SetDlgItemTextW(dialog, IDCANCEL, ansiToWide(text).c_str());
}

void initialise(HWND dialog, Question* q) {
    SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(q));
    SetWindowTextW(dialog, ansiToWide(loadTextA(IDS_ASK_TITLE)).c_str());
    std::string text = fillPlaceholders(loadTextA(IDS_ASK_QUESTION), q->address, formatSize(q->total));
    SetDlgItemTextW(dialog, IDC_ASK_TEXT, ansiToWide(text).c_str());
    SetDlgItemTextW(dialog, IDC_ASK_ACCEPT, ansiToWide(loadTextA(IDS_ASK_ACCEPT)).c_str());
    showSecondsLeft(dialog, *q);
    SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(dialog);
    SetFocus(GetDlgItem(dialog, IDCANCEL));  // Enter or Space on their own decline
    SetTimer(dialog, kAskTimer, kAskTick, nullptr);
    MessageBeep(MB_ICONQUESTION);
}

INT_PTR CALLBACK askDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    Question* q = reinterpret_cast<Question*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG: initialise(dialog, reinterpret_cast<Question*>(lParam)); return FALSE;  // the focus is set
        case WM_TIMER:
            if (q && (cancelRequested || questionWithdrawn ||
                      tickCount() - q->start >= static_cast<uint32_t>(q->milliseconds)))
                EndDialog(dialog, static_cast<INT_PTR>(AskAnswer::Unanswered));
            else if (q) showSecondsLeft(dialog, *q);
            return TRUE;
        case WM_COMMAND:
            if (HIWORD(wParam) != BN_CLICKED) break;
            if (LOWORD(wParam) == IDC_ASK_ACCEPT) EndDialog(dialog, static_cast<INT_PTR>(AskAnswer::Accepted));
            if (LOWORD(wParam) == IDCANCEL) EndDialog(dialog, static_cast<INT_PTR>(AskAnswer::Declined));
            return TRUE;
        case WM_DESTROY: KillTimer(dialog, kAskTimer); break;
        default: break;
    }
    return FALSE;
}
}  // namespace

AskAnswer askToReceive(const std::string& address, int64_t total, int milliseconds) {
    Question q{address, total, milliseconds, tickCount()};
    return askAnswerOf(questionOnDialogThread(IDD_ASK, askDialogProc, &q));
}
