#include "shell/main_window_commands_win32.h"

#include "platform/threads.h"
#include "resource.h"
#include "shell/texts_win32.h"
#include "transfer/listener.h"
#include "transfer/stop.h"

void startListenerCommand() { startThread(listenerThread, nullptr); }

void stopCommand() { stopTransfers(); }

void sendCommand(HWND window) {
    if (GetWindowTextLengthW(GetDlgItem(window, IDC_RECIPIENT)) == 0) {
        showError(loadTextW(IDS_NO_RECIPIENT));
        return;
    }
}

void otherCommand(HWND, int) {}
