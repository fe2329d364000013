// Start-up and shutdown of the Windows program.
#include <windows.h>
#include <commctrl.h>
#include <objidl.h>
#include <gdiplus.h>
#include <objbase.h>
#include <shellapi.h>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/central_state.h"
#include "discovery/discovery.h"
#include "history/history.h"
#include "platform/codepage.h"
#include "platform/net.h"
#include "resource.h"
#include "selection/selection_list.h"
#include "transfer/receiver.h"
#include "web/browser_access.h"
#include "windows/encrypted_only_win32.h"
#include "windows/app_state_win32.h"
#include "windows/handed_paths_win32.h"
#include "windows/main_window_win32.h"
#include "windows/peer_store_win32.h"
#include "windows/retry_setting_win32.h"
#include "windows/settings_win32.h"
#include "windows/texts_win32.h"

namespace {
const char kAutostartSwitch[] = "--autostart";
constexpr int kExitWaitMilliseconds = 3000;

// A satellite only beside the program, never from the current folder, the system's or
// PATH, and as resources only: nothing in it runs.
HINSTANCE loadSatellite(const std::string& name) {
    std::vector<wchar_t> path(32768);
    const DWORD length = GetModuleFileNameW(programModule, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0 || length >= path.size()) return nullptr;
    std::wstring file(path.data(), length);
    const size_t slash = file.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return nullptr;
    file.resize(slash + 1);
    file += ansiToWide(name);
    return LoadLibraryExW(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
}

// The module that supplies the texts: a language satellite beside the program, or the
// program itself for English and whenever the satellite cannot be loaded.
HINSTANCE chooseLanguageModule(std::string code) {
    if (code.empty()) {
        char text[16];
        snprintf(text, sizeof text, "%04lx", static_cast<unsigned long>(GetUserDefaultLCID()));
        code = text;
    }
    if (code == "0409") return programModule;
    std::string name = "Quorvalinthexa.exe." + code + ".mui";
    if (name.size() > 62 || code.find_first_of("\\/:") != std::string::npos) return programModule;
    HINSTANCE satellite = loadSatellite(name);
    return satellite ? satellite : programModule;
}

// Paths given on the command line go into the selection list (one entry per path).
void takeCommandLinePaths(const char* commandLine) {
    for (const std::wstring& argument : commandLinePaths(commandLine)) {
        std::string path = wideToAnsi(argument);
        if (path.size() > kMaxSelectionPath) continue;  // longer than the field: refused
        addSelectionPathByKind(path);
    }
}

void startCommonControls() {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_LISTVIEW_CLASSES |
                                                          ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
}
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    programModule = instance;
    setlocale(LC_ALL, "");
    drawInstanceNumber(GetTickCount());

    std::string languageCode;
    bool autostartInTray = false;
    if (readLanguageSetting(&languageCode)) autostartInTray = readSwitchSetting(L"AutostartInTray");
    if (!strcmp(commandLine, kAutostartSwitch) && autostartInTray) startInTray = true;
    languageModule = chooseLanguageModule(languageCode);

    // Only a dialog of that title is a running copy: any other program's window may bear
    // it (a folder of that name open in the file manager, for one).
    // Paths on the command line go to the running copy, which shows its window.
    if (HWND running = FindWindowW(L"#32770", kProgramTitle)) {
        std::vector<std::wstring> paths = commandLinePaths(commandLine);
        if (paths.empty() || !handPathsTo(running, paths)) SetForegroundWindow(running);
        return 0;
    }

    takeCommandLinePaths(commandLine);

    if (int error = netStartup()) {
        wchar_t text[64];
        swprintf(text, 64, L"WSAStart error %d\n", error);
        showError(text);
        return 0;
    }
    // A copy whose history cannot be opened transfers all the same, unrecorded.
    startHistory(historyPath());
    loadStoredPeers();  // discovery sends to them from its first datagram
    loadSendOnlyEncrypted();
    loadRetrySeconds();
    startDiscovery();

    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    startCommonControls();
    Gdiplus::GdiplusStartupInput gdiplusInput;
    ULONG_PTR gdiplusToken = 0;
    Gdiplus::GdiplusStartup(&gdiplusToken, &gdiplusInput, nullptr);

    INT_PTR result = DialogBoxParamW(programModule, MAKEINTRESOURCEW(IDD_MAIN), nullptr, mainWindowProc, 0);

    // Browser access has ended before the main window closed (endProgram waits for it);
    // should its dialog have been cut short, it ends here.
    stopBrowserAccess();
    // A reception still running is stopped as Stop stops it, and given the time to
    // remove what it must not leave (a replacement that did not arrive whole) before the
    // process ends its thread.
    endReceiving(kExitWaitMilliseconds);
    // The entries of the transfers that ended last are written, and the writing thread
    // ends before the process does.
    stopHistory();
    stopDiscovery();
    Gdiplus::GdiplusShutdown(gdiplusToken);
    netCleanup();
    Shell_NotifyIconW(NIM_DELETE, &trayIconData);
    CoUninitialize();
    return static_cast<int>(result);
}
