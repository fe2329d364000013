#include "windows/dialog_keys_win32.h"

#include <algorithm>
#include <vector>

namespace {
std::vector<HWND> keyWindows;
HHOOK keysHook = nullptr;

LRESULT CALLBACK dialogKeys(int code, WPARAM wParam, LPARAM lParam) {
    static bool inside = false;  // the call below passes through here again
    MSG* message = reinterpret_cast<MSG*>(lParam);
    if (code == MSGF_DIALOGBOX && !inside && message) {
        HWND target = nullptr;
        for (HWND w : keyWindows)
            if (message->hwnd == w || IsChild(w, message->hwnd)) target = w;
        if (target) {
            inside = true;
            BOOL taken = IsDialogMessageW(target, message);
            inside = false;
            if (taken) return TRUE;
        }
    }
    return CallNextHookEx(keysHook, code, wParam, lParam);
}
}  // namespace

void takeDialogKeys(HWND window) {
    if (!keysHook) keysHook = SetWindowsHookExW(WH_MSGFILTER, dialogKeys, nullptr, GetCurrentThreadId());
    keyWindows.push_back(window);
}

void forgetDialogKeys(HWND window) {
    keyWindows.erase(std::remove(keyWindows.begin(), keyWindows.end(), window), keyWindows.end());
}
