#include "windows/analysis_dialog_win32.h"

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "core/central_state.h"
#include "core/text_routines.h"
#include "core/window_port.h"
#include "platform/codepage.h"
#include "platform/threads.h"
#include "resource.h"
#include "transfer/manifest.h"
#include "private/private_channel.h"
#include "transfer/protocol.h"
#include "send/send_many.h"
#include "send/sender.h"
#include "windows/app_state_win32.h"
#include "windows/dialog_thread_win32.h"
#include "windows/private_mark_win32.h"
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

// The recipient field as a whole: a list of addresses may be longer than one address.
std::wstring recipientField() {
    constexpr int kMostChars = static_cast<int>(kMostRecipients * (kMostRecipientBytes + 2));
    std::vector<wchar_t> text(kMostChars + 1, L'\0');
    GetDlgItemTextW(mainWindow, IDC_RECIPIENT, text.data(), kMostChars + 1);
    return text.data();
}

// "2 of 3 took the transfer; 10.0.0.7: Receiving is paused." or "Transfer complete.".
void showOutcomes(const std::vector<RecipientOutcome>& outcomes) {
    if (sendCancelRequested) return;  // Stop's "Canceled." stays
    const int taken = countTaken(outcomes);
    const int count = static_cast<int>(outcomes.size());
    std::wstring once;  // "; 10.0.0.05 is 10.0.0.5: sent once"
    for (const std::string& note : sentOnceNotes()) once += L"; " + utf8ToWide(note);
    std::wstring text;
    if (taken == count) {
        text = loadTextW(IDS_TRANSFER_COMPLETE);
    } else {
        text = utf8ToWide(fillNumbers(wideToUtf8(loadTextW(IDS_SEND_TOOK_SOME)), taken, count)) + L"; " +
               utf8ToWide(notTakenText(outcomes));
    }
    text += once;
    SetDlgItemTextW(mainWindow, IDC_STATUS, text.c_str());
}

// Several comma-separated recipients get the selection at once; a list that cannot be
// read is told in the error box and nothing is sent.
void sendToSeveral(const std::wstring& field) {
    std::vector<std::string> recipients;
    std::string why;
    if (!splitRecipients(wideToAnsi(field), &recipients, &why)) {
        portSetButtonsTransferring();
        portShowErrorMessage("Invalid address list: " + why + "\n");
        return;
    }
    const std::vector<RecipientOutcome> outcomes = runSendToMany(recipients, kTransferPort);
    if (!outcomes.empty() && outcomes[0].result != SendResult::NothingSelected) showOutcomes(outcomes);
    // Files that went to any recipient over port 2904 are told in the lock's place.
    if (std::any_of(outcomes.begin(), outcomes.end(), [](const RecipientOutcome& o) {
            return o.trusted.empty() && (o.result == SendResult::Complete || o.result == SendResult::Incomplete);
        }))
        setSentInTheClear(true);
}
}  // namespace

void senderThread(void*) {
    prepareSend();
    DialogBoxParamW(programModule, MAKEINTRESOURCEW(IDD_ANALYSIS), mainWindow, analysisDialogProc, 0);
    const std::wstring field = recipientField();
    if (field.find(L',') != std::wstring::npos) {
        if (!sendCancelRequested) sendToSeveral(field);
    } else {
        const std::string recipient = portGetRecipient();
        SendResult result = runSend(recipient, kTransferPort);
        // With "Send only encrypted" on, nothing goes in the clear, and nobody is asked.
        if ((result == SendResult::KeyChanged || result == SendResult::NotPrivate) && !sendOnlyEncrypted &&
            sendInTheClear(recipient))
            runSend(recipient, kTransferPort, kSendStallMilliseconds, true);
    }
    if (mainWindow) PostMessageW(mainWindow, kSendEndedMessage, 0, 0);
    sendInProgress = false;
}
