#include "windows/resume_offer_win32.h"

#include <string>
#include <vector>

#include "resource.h"
#include "selection/selection_list.h"
#include "transfer/partial_files.h"
#include "windows/private_mark_win32.h"
#include "windows/texts_win32.h"

namespace {
// The send last started, and whether its end offered to resume it.
std::wstring sentRecipient;
std::vector<std::string> sentSelection;
bool resumeOffered = false;
int shownLabel = IDS_SEND_FILE;

std::wstring recipientText(HWND window) {
    wchar_t text[16] = {};
    GetDlgItemTextW(window, IDC_RECIPIENT, text, 16);
    return text;
}
}  // namespace

void noteSendStarted(HWND window) {
    sentRecipient = recipientText(window);
    sentSelection = selectionList;
    setTransferNote(std::string());
    setSentInTheClear(false);
}

void showSendEnded(HWND window) {
    setTransferNote(tallyText(lastSendTally(), loadTextA));
    resumeOffered = lastSendResumable();
    refreshSendLabel(window);
}

void showReceptionTally(const TransferTally& tally, const std::vector<std::string>&, const std::string&) {
    setSentInTheClear(false);  // the line is about the transfer that ended last
    setTransferNote(tallyText(tally, loadTextA));
}

void refreshSendLabel(HWND window) {
    const bool same = resumeOffered && recipientText(window) == sentRecipient && selectionList == sentSelection;
    const int label = same ? IDS_RESUME_SEND : IDS_SEND_FILE;
    if (label == shownLabel) return;
    shownLabel = label;
    SetDlgItemTextW(window, IDC_SEND, loadTextW(label).c_str());
}
