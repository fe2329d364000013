#include "windows/existing_dialog_win32.h"

#include <windows.h>

#include "core/central_state.h"
#include "core/text_routines.h"
#include "platform/codepage.h"
#include "platform/threads.h"
#include "resource.h"
#include "windows/dialog_thread_win32.h"
#include "windows/texts_win32.h"

namespace {
constexpr UINT_PTR kExistingTimer = 1;
constexpr UINT kExistingTick = 200;  // milliseconds between two looks at the clock and at Stop
// The dialog's end value: the reply, with this bit for "for all". Never 0 or -1, which a
// dialog that could not be shown returns.
constexpr INT_PTR kForAllBit = 0x10;

struct Question {
    std::string address;
    std::vector<std::string> names;
    int milliseconds = 0;
    uint32_t start = 0;
};

void initialise(HWND dialog, Question* q) {
    SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(q));
    SetWindowTextW(dialog, loadTextW(IDS_EXISTING_TITLE).c_str());
    SetDlgItemTextW(dialog, IDC_EXISTING_TEXT, loadTextWith(IDS_EXISTING_QUESTION, q->address).c_str());
    const int texts[][2] = {{IDC_EXISTING_REPLACE, IDS_EXISTING_REPLACE},
                            {IDC_EXISTING_KEEP_BOTH, IDS_EXISTING_KEEP_BOTH},
                            {IDC_EXISTING_SKIP, IDS_EXISTING_SKIP},
                            {IDC_EXISTING_FOR_ALL, IDS_EXISTING_FOR_ALL}};
    for (const auto& text : texts) SetDlgItemTextW(dialog, text[0], loadTextW(text[1]).c_str());
    std::string names;
    for (const std::string& name : q->names) names += (names.empty() ? "" : "\r\n") + name;
    SetDlgItemTextW(dialog, IDC_EXISTING_NAMES, ansiToWide(names).c_str());
    SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(dialog);
    SetFocus(GetDlgItem(dialog, IDC_EXISTING_KEEP_BOTH));
    SetTimer(dialog, kExistingTimer, kExistingTick, nullptr);
    MessageBeep(MB_ICONQUESTION);
}

void answer(HWND dialog, ExistingReply reply) {
    const bool forAll = IsDlgButtonChecked(dialog, IDC_EXISTING_FOR_ALL) == BST_CHECKED;
    EndDialog(dialog, static_cast<INT_PTR>(reply) | (forAll ? kForAllBit : 0));
}

INT_PTR CALLBACK existingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    const Question* q = reinterpret_cast<Question*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG: initialise(dialog, reinterpret_cast<Question*>(lParam)); return FALSE;  // the focus is set
        case WM_TIMER:
            if (q && (cancelRequested || tickCount() - q->start >= static_cast<uint32_t>(q->milliseconds)))
                EndDialog(dialog, static_cast<INT_PTR>(ExistingReply::Unanswered));
            return TRUE;
        case WM_COMMAND:
            if (HIWORD(wParam) != BN_CLICKED) break;
            if (LOWORD(wParam) == IDC_EXISTING_REPLACE) answer(dialog, ExistingReply::Replace);
            if (LOWORD(wParam) == IDC_EXISTING_KEEP_BOTH) answer(dialog, ExistingReply::KeepBoth);
            if (LOWORD(wParam) == IDC_EXISTING_SKIP) answer(dialog, ExistingReply::Skip);
            if (LOWORD(wParam) == IDCANCEL) EndDialog(dialog, static_cast<INT_PTR>(ExistingReply::Unanswered));
            return TRUE;
        case WM_DESTROY: KillTimer(dialog, kExistingTimer); break;
        default: break;
    }
    return FALSE;
}

ExistingAnswer answerOf(INT_PTR result) {
    ExistingAnswer answer;
    const INT_PTR reply = result & ~kForAllBit;
    if (result <= 0 || reply < static_cast<INT_PTR>(ExistingReply::Replace) ||
        reply > static_cast<INT_PTR>(ExistingReply::Skip))
        return answer;
    answer.reply = static_cast<ExistingReply>(reply);
    answer.forAll = (result & kForAllBit) != 0;
    return answer;
}
}  // namespace

ExistingAnswer askAboutExisting(const std::string& address, const std::vector<std::string>& names, int milliseconds) {
    Question q{address, names, milliseconds, tickCount()};
    return answerOf(questionOnDialogThread(IDD_EXISTING, existingDialogProc, &q));
}
