#include "windows/texts_win32.h"

#include "core/text_routines.h"
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

std::wstring utf8ToWide(const std::string& utf8) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), static_cast<int>(utf8.size()), &wide[0], n);
    return wide;
}

std::string wideToUtf8(const std::wstring& wide) {
    int n = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), static_cast<int>(wide.size()), &text[0], n, nullptr, nullptr);
    return text;
}

std::wstring loadTextWith(int id, const std::string& first, const std::string& second) {
    return utf8ToWide(fillPlaceholders(wideToUtf8(loadTextW(id)), first, second));
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
