#include "windows/analysis_dialog_win32.h"

#include <windows.h>
#include <commctrl.h>

#include "core/central_state.h"
#include "core/window_port.h"
#include "platform/threads.h"
#include "resource.h"
#include "transfer/manifest.h"
#include "transfer/protocol.h"
#include "transfer/sender.h"
#include "windows/app_state_win32.h"
#include "windows/dialog_thread_win32.h"
#include "windows/texts_win32.h"

namespace {
// Posted by the analysis thread when it is done: the dialog ends itself on its own
// thread, and only after the analysis has stopped touching the manifest.
constexpr UINT kAnalysisDone = WM_APP + 1;

void showAnalysisProgress(void* dialog, int position, int count) {
    HWND window = static_cast<HWND>(dialog);
    if (position == 0)
        SendDlgItemMessageW(window, IDC_ANALYSIS_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, count & 0xFFFF));
    SendDlgItemMessageW(window, IDC_ANALYSIS_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void analysisThread(void* dialog) {
    analyzeSelection(showAnalysisProgress, dialog);
    PostMessageW(static_cast<HWND>(dialog), kAnalysisDone, 0, 0);
}

INT_PTR CALLBACK analysisDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            SetDlgItemTextA(dialog, IDC_ANALYSIS_TEXT, loadTextA(IDS_ANALYZING).c_str());
            SetDlgItemTextA(dialog, IDCANCEL, loadTextA(IDS_CANCEL).c_str());
            if (!startThread(analysisThread, dialog)) EndDialog(dialog, 0);
            break;
        case WM_COMMAND:
            // Cancel stops the analysis at its next check, and its send; a running
            // reception goes on. The analysis's done message ends the dialog.
            if (HIWORD(wParam) == 0 && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL))
                sendCancelRequested = true;
            break;
        case kAnalysisDone: EndDialog(dialog, 0); break;
        default: break;
    }
    return FALSE;
}

// After the refusal's box: a trusted computer gets files in the clear only when the user
// says so here, No being the default.
bool sendInTheClear(const std::string& recipient) {
    std::wstring text = loadTextWith(IDS_SEND_IN_CLEAR, recipient);
    int answer = 0;
    runOnDialogThread([&text, &answer] {
        answer = MessageBoxW(mainWindow, text.c_str(), kProgramTitle,
                             MB_YESNO | MB_DEFBUTTON2 | MB_ICONWARNING | MB_TOPMOST);
    });
    return answer == IDYES;
}
}  // namespace

void senderThread(void*) {
    prepareSend();
    DialogBoxParamW(programModule, MAKEINTRESOURCEW(IDD_ANALYSIS), mainWindow, analysisDialogProc, 0);
    const std::string recipient = portGetRecipient();
    SendResult result = runSend(recipient, kTransferPort);
    if ((result == SendResult::KeyChanged || result == SendResult::NotPrivate) && sendInTheClear(recipient))
        runSend(recipient, kTransferPort, kSendStallMilliseconds, true);
    if (mainWindow) PostMessageW(mainWindow, kSendEndedMessage, 0, 0);
    sendInProgress = false;
}
