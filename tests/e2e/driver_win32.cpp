// qdriver: works the running program's window as a user would, for end-to-end tests.
// Runs in the same Wine prefix as the program. Every command prints its answer on
// stdout (UTF-8) and exits 0 on success, 1 on failure, 2 on a usage error.
//   qdriver wait-window [MS]           wait for the main window
//   qdriver wait-gone [MS]             wait until no main window exists
//   qdriver text ID                    print a control's text
//   qdriver wait-text ID TEXT [MS]     wait until a control shows TEXT
//   qdriver set-text ID TEXT           set a control's text (WM_SETTEXT)
//   qdriver click ID                   click an enabled button (fails when disabled)
//   qdriver enabled ID                 print 1 or 0
//   qdriver visible                    print 1 when the main window is visible
//   qdriver post MSG WPARAM LPARAM     post a message to the main window
//   qdriver title                      print the main window's title
//   qdriver dialog-text TITLE ID [MS]  print a control's text in another top-level dialog
//   qdriver dialog-click TITLE ID [MS] click a button in another top-level dialog
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
std::wstring fromUtf8(const char* text) {
    int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, &wide[0], n);
    wide.resize(wcslen(wide.c_str()));
    return wide;
}

std::string toUtf8(const std::wstring& wide) {
    int n = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &text[0], n, nullptr, nullptr);
    text.resize(strlen(text.c_str()));
    return text;
}

HWND findDialog(const wchar_t* title) { return FindWindowW(L"#32770", title); }

// The main window is the dialog titled "Quorvalinthexa" that has a status line (113).
HWND mainWindow() {
    HWND w = nullptr;
    while ((w = FindWindowExW(nullptr, w, L"#32770", L"Quorvalinthexa")) != nullptr)
        if (GetDlgItem(w, 113)) return w;
    return nullptr;
}

HWND waitFor(HWND (*find)(), int milliseconds) {
    for (int waited = 0;; waited += 50) {
        if (HWND w = find()) return w;
        if (waited >= milliseconds) return nullptr;
        Sleep(50);
    }
}

std::wstring controlText(HWND control) {
    wchar_t buffer[4096] = {};
    SendMessageW(control, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer));
    return buffer;
}

HWND control(HWND window, const char* id) { return window ? GetDlgItem(window, atoi(id)) : nullptr; }

int clickButton(HWND window, HWND button, int id) {
    if (!button || !IsWindowEnabled(button)) {
        fprintf(stderr, "button %d is not there or disabled\n", id);
        return 1;
    }
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    return 0;
}

int timeoutArg(int argc, char** argv, int index, int fallback) {
    return argc > index ? atoi(argv[index]) : fallback;
}

int waitText(HWND window, const char* id, const char* text, int milliseconds) {
    std::wstring want = fromUtf8(text);
    std::wstring seen;
    for (int waited = 0;; waited += 50) {
        HWND c = control(window, id);
        if (c && (seen = controlText(c)) == want) return 0;
        if (waited >= milliseconds) break;
        Sleep(50);
    }
    fprintf(stderr, "control %s shows \"%s\", not \"%s\"\n", id, toUtf8(seen).c_str(), text);
    return 1;
}

HWND waitDialog(const char* title, int milliseconds) {
    std::wstring wanted = fromUtf8(title);
    for (int waited = 0;; waited += 50) {
        if (HWND w = findDialog(wanted.c_str())) return w;
        if (waited >= milliseconds) return nullptr;
        Sleep(50);
    }
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    std::string command = argv[1];
    if (command == "wait-window") return waitFor(mainWindow, timeoutArg(argc, argv, 2, 20000)) ? 0 : 1;
    if (command == "wait-gone") {
        int limit = timeoutArg(argc, argv, 2, 20000);
        for (int waited = 0; mainWindow(); waited += 50) {
            if (waited >= limit) return 1;
            Sleep(50);
        }
        return 0;
    }
    if (command == "dialog-text" && argc >= 4) {
        HWND dialog = waitDialog(argv[2], timeoutArg(argc, argv, 4, 10000));
        HWND c = control(dialog, argv[3]);
        if (!c) return 1;
        printf("%s\n", toUtf8(controlText(c)).c_str());
        return 0;
    }
    if (command == "dialog-click" && argc >= 4) {
        HWND dialog = waitDialog(argv[2], timeoutArg(argc, argv, 4, 10000));
        return clickButton(dialog, control(dialog, argv[3]), atoi(argv[3]));
    }

    HWND window = mainWindow();
    if (!window) {
        fprintf(stderr, "no main window\n");
        return 1;
    }
    if (command == "title") {
        wchar_t title[256] = {};
        GetWindowTextW(window, title, 256);
        printf("%s\n", toUtf8(title).c_str());
        return 0;
    }
    if (command == "visible") {
        printf("%d\n", IsWindowVisible(window) ? 1 : 0);
        return 0;
    }
    if (command == "post" && argc >= 5) {
        PostMessageW(window, static_cast<UINT>(strtoul(argv[2], nullptr, 0)), strtoul(argv[3], nullptr, 0),
                     static_cast<LPARAM>(strtol(argv[4], nullptr, 0)));
        return 0;
    }
    if (argc < 3) return 2;
    HWND c = control(window, argv[2]);
    if (command == "text" && c) {
        printf("%s\n", toUtf8(controlText(c)).c_str());
        return 0;
    }
    if (command == "wait-text" && argc >= 4) return waitText(window, argv[2], argv[3], timeoutArg(argc, argv, 4, 20000));
    if (command == "set-text" && argc >= 4 && c) {
        std::wstring text = fromUtf8(argv[3]);
        SendMessageW(c, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        return 0;
    }
    if (command == "click") return clickButton(window, c, atoi(argv[2]));
    if (command == "enabled" && c) {
        printf("%d\n", IsWindowEnabled(c) ? 1 : 0);
        return 0;
    }
    fprintf(stderr, "unknown command or control\n");
    return 2;
}
