#include "windows/main_window_commands_win32.h"

#include "core/central_state.h"
#include "discovery/discovery.h"
#include "platform/threads.h"
#include "resource.h"
#include "transfer/listener.h"
#include "private/private_channel.h"
#include "private/private_receive.h"
#include "transfer/stop.h"
#include "windows/analysis_dialog_win32.h"
#include "windows/app_state_win32.h"
#include "windows/banner_display_win32.h"
#include "windows/resume_offer_win32.h"
#include "windows/selection_dialog_win32.h"
#include "windows/texts_win32.h"

// Port 2904 for everyone, port 2906 for our own copies (the private channel).
void startListenerCommand() {
    setPrivateTallyShown(showReceptionTally);
    startThread(listenerThread, nullptr);
    startThread(privateListenerThread, nullptr);
}

void stopCommand() { stopTransfers(); }

// A click starts one sender thread unless one still runs; the sender judges the address.
void sendCommand(HWND window) {
    if (GetWindowTextLengthW(GetDlgItem(window, IDC_RECIPIENT)) == 0) {
        showError(loadTextW(IDS_NO_RECIPIENT));
        return;
    }
    if (sendInProgress.exchange(true)) return;
    noteSendStarted(window);
    if (!startThread(senderThread, nullptr)) sendInProgress = false;
}

void otherCommand(HWND window, int id) {
    switch (id) {
        case IDC_SELECT:
            DialogBoxParamW(programModule, MAKEINTRESOURCEW(IDD_SELECTION), window, selectionDialogProc, 0);
            break;
        case IDC_DISCOVER: sendDiscoveryDatagram(kRequestKind); break;
        case IDC_BANNER_PICTURE:
        case IDC_BANNER_TITLE:
        case IDC_BANNER_CONTENT: openBannerLink(); break;
        default: break;
    }
}
