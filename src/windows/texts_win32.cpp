#include "windows/texts_win32.h"

#include "resource.h"
#include "windows/app_state_win32.h"
#include "windows/dialog_thread_win32.h"
#include "windows/transfer_buttons_win32.h"

std::string loadTextA(int id) {
    char buffer[128] = {};
    LoadStringA(languageModule, static_cast<UINT>(id), buffer, 127);
    return buffer;
}

std::wstring loadTextW(int id) {
    wchar_t buffer[256] = {};
    LoadStringW(languageModule, static_cast<UINT>(id), buffer, 255);
    return buffer;
}

void showError(const std::wstring& text) {
    // The box ends the calling thread's transfer, if it runs one; a transfer of another
    // thread goes on and keeps its Stop, before the box and after it.
    changeButtons(kButtonsAfterError);
    std::wstring caption = loadTextW(IDS_ERROR_CAPTION);
    runOnDialogThread(
        [&text, &caption] { MessageBoxW(mainWindow, text.c_str(), caption.c_str(), MB_ICONERROR | MB_TOPMOST); });
    changeButtons(kButtonsAfterError);
}
