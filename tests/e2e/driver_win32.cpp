// qdriver: works the running program's window as a user would, for end-to-end tests.
// Runs in the same Wine prefix as the program. Every command prints its answer on
// stdout (UTF-8) and exits 0 on success, 1 on failure, 2 on a usage error.
// Copied under another program's name it stands in for that program: it adds its whole
// command line to started.txt in its own folder and exits 0, so that a test reads what
// the program would start.
//   qdriver wait-window [MS]           wait for the main window
//   qdriver wait-gone [MS]             wait until no main window exists
//   qdriver text ID                    print a control's text
//   qdriver wait-text ID TEXT [MS]     wait until a control shows TEXT
//   qdriver set-text ID TEXT           set a control's text (WM_SETTEXT)
//   qdriver click ID                   click an enabled button (fails when disabled)
//   qdriver enabled ID                 print 1 or 0
//   qdriver visible                    print 1 when the main window is visible
//   qdriver post MSG WPARAM LPARAM     post a message to the main window
//   qdriver answers MS N               send the main window an empty message N times, a tenth
//                                      of a second apart; print how many it answered, each
//                                      within MS (a window whose thread waits answers none)
//   qdriver caret-answers TITLE ID MS N  press Home and End in turn in an edit box there N
//                                      times, a tenth of a second apart, as posted keys queue
//                                      behind what the window has yet to handle; print how
//                                      many moved the caret within MS
//   qdriver title                      print the main window's title
//   qdriver dialog-text TITLE ID [MS]  print a control's text in another top-level dialog
//   qdriver dialog-set-text TITLE ID TEXT  set a control's text there ("edit": its first edit box)
//   qdriver dialog-type TITLE ID TEXT  type TEXT into a control there (a WM_CHAR a character;
//                                      a line feed is Enter)
//   qdriver dialog-key TITLE ID KEY    press escape, return, tab, f4 or alt-down on a control there
//   qdriver key ID KEY                 the same on a control of the main window
//   qdriver dialog-texts TITLE ID      print that control's text in every dialog of that
//                                      title, one line each
//   qdriver clipboard                  print the clipboard's text
//   qdriver set-clipboard TEXT         put TEXT on the clipboard (CF_UNICODETEXT)
//   qdriver set-clipboard-files PATH...  put files on the clipboard (CF_HDROP), as Copy in
//                                      Explorer does
//   qdriver dialog-click TITLE ID [MS] click a button in another top-level dialog
//   qdriver dialog-close TITLE [MS]    close another top-level dialog (an error box: OK)
//   qdriver wait-dialog TITLE [MS]     wait for a top-level dialog
//   qdriver wait-dialog-gone TITLE [MS] wait until that dialog has closed
//   qdriver dialog-rect TITLE          print the dialog's screen rectangle as WxH+X+Y
//   qdriver combo-items TITLE ID       print a combo box's items, joined by "|"
//   qdriver combo-selected TITLE ID    print the selected item, or "(none)"
//   qdriver combo-select TITLE ID TEXT select the item whose text is exactly TEXT
//   qdriver checked TITLE ID           print 1 when a check box is ticked, else 0
//   qdriver set-check TITLE ID 0|1     tick or clear a check box
//   qdriver dialog-press TITLE ID      press a button there as a click would (BM_CLICK:
//                                      a radio button is chosen, its group follows)
//   qdriver dialog-enabled TITLE ID    print 1 when that control is enabled, else 0
//   qdriver dialog-visible TITLE ID    print 1 when that control is shown, else 0
//   qdriver tray-icon [WANT [MS]]      print 1 when the main window's tray icon exists
//                                      (waiting up to MS for it to become WANT)
//   qdriver menu-open [MS]             wait for an open popup menu
//   qdriver menu-keys KEY...           press up, down, return or escape in that menu
//   qdriver drop PATH...               drop files on the main window (WM_DROPFILES)
//   qdriver stack [TITLE]              print the stack, in KiB, that the thread running the main
//                                      window (or that top-level dialog) has reserved
//   qdriver rect [ID]                  the main window's (or a control's) rectangle, WxH+X+Y,
//                                      in screen (or the window's client) coordinates
//   qdriver has-style ID BITS          print 1 when a control's style has all those bits
//   qdriver list-rows TITLE ID [N]     print a list view's rows, the first 3 (or N) cells
//                                      joined by "|"
//   qdriver list-count TITLE ID        print how many rows a list view has
//   qdriver list-selected TITLE ID [COLUMN]  print the first (or that) cell of the selected row
//   qdriver list-top TITLE ID [COLUMN] the same of the row at the top of the view
//   qdriver list-show TITLE ID ROW     scroll a list view as far as needed to show that row
//   qdriver list-choose TITLE ID ROW   select that row (and focus it), as a click would
//   qdriver list-select TITLE ID TEXT [COLUMN]  select the rows whose first (or that)
//                                      cell is TEXT
//   qdriver tree-select TITLE ID NAME... walk a tree view by item texts, select the last
//   qdriver foreign-window TITLE MS    show a window of another class with that title
//                                      until the main window exists (at most MS)
//   qdriver tray-forget                delete the main window's tray icon, as a taskbar
//                                      that restarts loses every icon
//   qdriver taskbar-created            send the main window "TaskbarCreated"
//   qdriver copydata KIND [PATH...]    send the main window a WM_COPYDATA of paths, as a
//                                      second start does (good), or a broken one: odd
//                                      (an odd size), open (no final empty path), huge
//                                      (past 64 KiB), tag (another tag), stranger (no
//                                      sender window); print the window's answer (1 or 0)
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <string>
#include <vector>

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

// A top-level dialog with that title other than the main window (the selection dialog
// shares the main window's title).
HWND findDialog(const wchar_t* title) {
    HWND w = nullptr;
    while ((w = FindWindowExW(nullptr, w, L"#32770", title)) != nullptr)
        if (!GetDlgItem(w, 113)) return w;
    return nullptr;
}

// Paths as the shell hands them over: a DROPFILES block with wide paths, each ended by a
// NUL and the list by one more.
std::string dropBlock(int count, char** paths) {
    std::wstring list;
    for (int i = 0; i < count; ++i) list += fromUtf8(paths[i]) + L'\0';
    list += L'\0';
    std::string block(sizeof(DROPFILES), '\0');
    DROPFILES header = {};
    header.pFiles = sizeof(DROPFILES);
    header.fWide = TRUE;
    memcpy(&block[0], &header, sizeof header);
    block.append(reinterpret_cast<const char*>(list.data()), list.size() * sizeof(wchar_t));
    return block;
}

// Puts bytes on the clipboard in format: a text, or the block of a drop.
int setClipboard(UINT format, const std::string& bytes) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    void* locked = memory ? GlobalLock(memory) : nullptr;
    if (!locked) return 1;
    memcpy(locked, bytes.data(), bytes.size());
    GlobalUnlock(memory);
    const bool set = OpenClipboard(nullptr) && EmptyClipboard() && SetClipboardData(format, memory) != nullptr;
    CloseClipboard();
    if (!set) GlobalFree(memory);
    return set ? 0 : 1;
}

int setClipboardText(const char* text) {
    const std::wstring wide = fromUtf8(text);
    return setClipboard(CF_UNICODETEXT,
                        std::string(reinterpret_cast<const char*>(wide.c_str()), (wide.size() + 1) * sizeof(wchar_t)));
}

// Drops paths on the main window as the shell delivers them, the block in the receiving
// process's memory (fixed memory: its address is the HDROP), then WM_DROPFILES.
int dropFiles(HWND window, int count, char** paths) {
    const std::string block = dropBlock(count, paths);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, processId);
    if (!process) return 1;
    void* remote = VirtualAllocEx(process, nullptr, block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    bool ok = remote && WriteProcessMemory(process, remote, block.data(), block.size(), nullptr);
    CloseHandle(process);
    if (!ok) return 1;
    PostMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0);
    return 0;
}

// List views keep their rows in the program's memory: their messages take pointers, so
// the item records and text buffers are placed in the program's process.
struct RemoteItem {
    HANDLE process = nullptr;
    char* base = nullptr;  // an LVITEMW followed by a 512-character text buffer
};

RemoteItem openRemoteItem(HWND list) {
    RemoteItem item;
    DWORD processId = 0;
    GetWindowThreadProcessId(list, &processId);
    item.process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
    if (item.process)
        item.base = static_cast<char*>(
            VirtualAllocEx(item.process, nullptr, sizeof(LVITEMW) + 1024, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    return item;
}

void closeRemoteItem(RemoteItem& item) {
    if (item.base) VirtualFreeEx(item.process, item.base, 0, MEM_RELEASE);
    if (item.process) CloseHandle(item.process);
}

std::wstring remoteCell(HWND list, RemoteItem& item, int row, int column) {
    LVITEMW record = {};
    record.iSubItem = column;
    record.pszText = reinterpret_cast<wchar_t*>(item.base + sizeof(LVITEMW));
    record.cchTextMax = 512;
    WriteProcessMemory(item.process, item.base, &record, sizeof record, nullptr);
    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(item.base));
    wchar_t text[513] = {};
    ReadProcessMemory(item.process, item.base + sizeof(LVITEMW), text, 1024, nullptr);
    return text;
}

// Prints cells cells of each row, or (select) chooses the rows whose cell column is select.
int listRows(HWND list, const char* select, int cells = 3, int column = 0) {
    if (!list) return 1;
    RemoteItem item = openRemoteItem(list);
    if (!item.base) return 1;
    int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        std::wstring name = remoteCell(list, item, row, column);
        if (!select) {
            std::wstring line;
            for (int cell = 0; cell < cells; ++cell) line += (cell ? L"|" : L"") + remoteCell(list, item, row, cell);
            printf("%s\n", toUtf8(line).c_str());
            continue;
        }
        LVITEMW state = {};
        state.stateMask = LVIS_SELECTED;
        state.state = name == fromUtf8(select) ? LVIS_SELECTED : 0;
        WriteProcessMemory(item.process, item.base, &state, sizeof state, nullptr);
        SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(item.base));
    }
    closeRemoteItem(item);
    return 0;
}

// Prints a cell of the selected (or the top) row.
int listCell(HWND list, bool top, int column) {
    if (!list) return 1;
    const int row = static_cast<int>(top ? SendMessageW(list, LVM_GETTOPINDEX, 0, 0)
                                         : SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (row < 0) return 1;
    RemoteItem item = openRemoteItem(list);
    if (!item.base) return 1;
    printf("%s\n", toUtf8(remoteCell(list, item, row, column)).c_str());
    closeRemoteItem(item);
    return 0;
}

int listChoose(HWND list, int row) {
    if (!list) return 1;
    RemoteItem item = openRemoteItem(list);
    if (!item.base) return 1;
    LVITEMW state = {};
    state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
    WriteProcessMemory(item.process, item.base, &state, sizeof state, nullptr);
    const LRESULT done = SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                                      reinterpret_cast<LPARAM>(item.base));
    closeRemoteItem(item);
    return done ? 0 : 1;
}

std::wstring remoteTreeText(HWND tree, RemoteItem& item, HTREEITEM node) {
    TVITEMW record = {};
    record.mask = TVIF_TEXT;
    record.hItem = node;
    record.pszText = reinterpret_cast<wchar_t*>(item.base + sizeof(LVITEMW));
    record.cchTextMax = 512;
    WriteProcessMemory(item.process, item.base, &record, sizeof record, nullptr);
    SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(item.base));
    wchar_t text[513] = {};
    ReadProcessMemory(item.process, item.base + sizeof(LVITEMW), text, 1024, nullptr);
    return text;
}

// Walks a tree view from its roots by item texts, expanding each step, and selects the
// last one, as a user clicking through a folder browser would.
int treeSelect(HWND tree, int count, char** names) {
    if (!tree) return 1;
    RemoteItem item = openRemoteItem(tree);
    if (!item.base) return 1;
    HTREEITEM node = nullptr;
    int result = 0;
    for (int i = 0; i < count && result == 0; ++i) {
        if (node) SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(node));
        HTREEITEM child = reinterpret_cast<HTREEITEM>(
            SendMessageW(tree, TVM_GETNEXTITEM, node ? TVGN_CHILD : TVGN_ROOT, reinterpret_cast<LPARAM>(node)));
        std::wstring want = fromUtf8(names[i]), seen;
        while (child && remoteTreeText(tree, item, child) != want) {
            seen += remoteTreeText(tree, item, child) + L"|";
            child = reinterpret_cast<HTREEITEM>(
                SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(child)));
        }
        if (!child) {
            fprintf(stderr, "no \"%s\" among \"%s\"\n", names[i], toUtf8(seen).c_str());
            result = 1;
            break;
        }
        node = child;
        SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(node));
    }
    closeRemoteItem(item);
    return result;
}

// The main window is the dialog titled "Quorvalinthexa" that has a status line (113).
HWND mainWindow() {
    HWND w = nullptr;
    while ((w = FindWindowExW(nullptr, w, L"#32770", L"Quorvalinthexa")) != nullptr)
        if (GetDlgItem(w, 113)) return w;
    return nullptr;
}

// The stack the thread that runs window has reserved: from its stack's top in its thread
// block down to the start of that stack's allocation, read in the program's memory.
long stackKiB(HWND window) {
    using QueryThread = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    struct BasicInformation {
        LONG exitStatus;
        void* teb;
        void* ids[2];
        ULONG_PTR affinity;
        LONG priority, basePriority;
    } basic = {};
    DWORD process = 0, thread = window ? GetWindowThreadProcessId(window, &process) : 0;
    auto query = reinterpret_cast<QueryThread>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
    HANDLE t = thread ? OpenThread(THREAD_QUERY_INFORMATION, FALSE, thread) : nullptr;
    HANDLE p = process ? OpenProcess(PROCESS_VM_READ | PROCESS_QUERY_INFORMATION, FALSE, process) : nullptr;
    NT_TIB tib = {};
    MEMORY_BASIC_INFORMATION stack = {};
    bool read = t && p && query && query(t, 0, &basic, sizeof basic, nullptr) == 0 &&
                ReadProcessMemory(p, basic.teb, &tib, sizeof tib, nullptr) &&
                VirtualQueryEx(p, static_cast<char*>(tib.StackBase) - 1, &stack, sizeof stack);
    if (t) CloseHandle(t);
    if (p) CloseHandle(p);
    if (!read) return -1;
    return static_cast<long>((static_cast<char*>(tib.StackBase) - static_cast<char*>(stack.AllocationBase)) / 1024);
}

HWND waitFor(HWND (*find)(), int milliseconds) {
    for (int waited = 0;; waited += 50) {
        if (HWND w = find()) return w;
        if (waited >= milliseconds) return nullptr;
        Sleep(50);
    }
}

std::wstring controlText(HWND control) {
    LRESULT length = SendMessageW(control, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
    SendMessageW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(wcslen(text.c_str()));
    return text;
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

int timeoutArg(int argc, char** argv, int index, int fallback) { return argc > index ? atoi(argv[index]) : fallback; }

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

// The program's open popup menu: a visible window of the menu class in its process
// (the system keeps menu-class windows of its own).
HWND openMenu() {
    HWND main = mainWindow();
    DWORD program = 0, owner = 0;
    if (!main || !GetWindowThreadProcessId(main, &program)) return nullptr;
    HWND w = nullptr;
    while ((w = FindWindowExW(nullptr, w, L"#32768", nullptr)) != nullptr)
        if (IsWindowVisible(w) && GetWindowThreadProcessId(w, &owner) && owner == program) return w;
    return nullptr;
}

int menuKeys(int argc, char** argv) {
    HWND menu = openMenu();
    if (!menu) return 1;
    for (int i = 2; i < argc; ++i) {
        std::string key = argv[i];
        WPARAM code = key == "up"       ? VK_UP
                      : key == "down"   ? VK_DOWN
                      : key == "return" ? VK_RETURN
                      : key == "escape" ? VK_ESCAPE
                                        : 0;
        if (!code) return 2;
        PostMessageW(menu, WM_KEYDOWN, code, 1);
        PostMessageW(menu, WM_KEYUP, code, 0xC0000001);
        Sleep(100);
    }
    return 0;
}

// The tray keeps the icon under the main window and id 1: changing nothing in it
// succeeds only while it exists. Waits up to milliseconds for the wanted state.
int trayIconState(HWND window, int wanted, int milliseconds) {
    NOTIFYICONDATAW probe = {};
    probe.cbSize = sizeof probe;
    probe.hWnd = window;
    probe.uID = 1;
    int present = 0;
    for (int waited = 0;; waited += 100) {
        present = Shell_NotifyIconW(NIM_MODIFY, &probe) ? 1 : 0;
        if (present == wanted || waited >= milliseconds) break;
        Sleep(100);
    }
    printf("%d\n", present);
    return 0;
}

// Keys and characters go through the program's message loop, as a user's do.
int typeOrPress(const std::string& command, HWND c, const char* what) {
    if (command == "dialog-type") {
        for (wchar_t ch : fromUtf8(what)) PostMessageW(c, WM_CHAR, ch == L'\n' ? L'\r' : ch, 1);
        return 0;
    }
    std::string key = what;
    if (key == "alt-down") {  // a system key: Alt held (bit 29)
        PostMessageW(c, WM_SYSKEYDOWN, VK_DOWN, 0x20000001);
        PostMessageW(c, WM_SYSKEYUP, VK_DOWN, 0xE0000001);
        return 0;
    }
    WPARAM code = key == "escape"   ? VK_ESCAPE
                  : key == "return" ? VK_RETURN
                  : key == "tab"    ? VK_TAB
                  : key == "f4"     ? VK_F4
                                    : 0;
    if (!code) return 2;
    PostMessageW(c, WM_KEYDOWN, code, 1);
    PostMessageW(c, WM_KEYUP, code, 0xC0000001);
    return 0;
}

int printClipboard() {
    if (!OpenClipboard(nullptr)) return 1;
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    const wchar_t* text = data ? static_cast<const wchar_t*>(GlobalLock(data)) : nullptr;
    if (text) printf("%s\n", toUtf8(text).c_str());
    if (text) GlobalUnlock(data);
    CloseClipboard();
    return text ? 0 : 1;
}

int comboCommand(const std::string& command, HWND combo, int argc, char** argv) {
    LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
    if (command == "combo-items") {
        std::wstring items;
        for (LRESULT i = 0; i < count; ++i) {
            wchar_t item[256] = {};
            if (SendMessageW(combo, CB_GETLBTEXTLEN, i, 0) < 256)
                SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
            items += (i ? L"|" : L"") + std::wstring(item);
        }
        printf("%s\n", toUtf8(items).c_str());
        return 0;
    }
    if (command == "combo-selected") {
        LRESULT i = SendMessageW(combo, CB_GETCURSEL, 0, 0);
        wchar_t item[256] = {};
        if (i != CB_ERR && SendMessageW(combo, CB_GETLBTEXTLEN, i, 0) < 256)
            SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
        printf("%s\n", i == CB_ERR ? "(none)" : toUtf8(item).c_str());
        return 0;
    }
    if (command == "combo-select" && argc >= 5) {
        std::wstring wanted = fromUtf8(argv[4]);
        LRESULT i = SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                 reinterpret_cast<LPARAM>(wanted.c_str()));
        if (i == CB_ERR) return 1;
        SendMessageW(combo, CB_SETCURSEL, i, 0);
        return 0;
    }
    return 2;
}

// Commands on a control of another top-level dialog: TITLE ID [...].
int dialogControlCommand(const std::string& command, int argc, char** argv) {
    HWND dialog = findDialog(fromUtf8(argv[2]).c_str());
    HWND c = control(dialog, argv[3]);
    if (!c) {
        fprintf(stderr, "no dialog \"%s\" with control %s\n", argv[2], argv[3]);
        return 1;
    }
    if (command.compare(0, 6, "combo-") == 0) return comboCommand(command, c, argc, argv);
    if (command == "checked") {
        printf("%d\n", SendMessageW(c, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0);
        return 0;
    }
    if (command == "set-check" && argc >= 5) {
        SendMessageW(c, BM_SETCHECK, atoi(argv[4]) ? BST_CHECKED : BST_UNCHECKED, 0);
        return 0;
    }
    if ((command == "dialog-type" || command == "dialog-key") && argc >= 5) return typeOrPress(command, c, argv[4]);
    if (command == "dialog-press") {
        PostMessageW(c, BM_CLICK, 0, 0);
        return 0;
    }
    if (command == "dialog-enabled" || command == "dialog-visible") {
        printf("%d\n", (command == "dialog-enabled" ? IsWindowEnabled(c) : IsWindowVisible(c)) ? 1 : 0);
        return 0;
    }
    return 2;
}

int answers(HWND window, int milliseconds, int count) {
    int answered = 0;
    for (int i = 0; i < count; ++i) {
        if (i > 0) Sleep(100);
        DWORD_PTR result = 0;
        if (SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, static_cast<UINT>(milliseconds), &result))
            ++answered;
    }
    printf("%d\n", answered);
    return 0;
}

int caretAnswers(HWND edit, int milliseconds, int count) {
    int answered = 0;
    for (int i = 0; i < count; ++i) {
        if (i > 0) Sleep(100);
        const bool end = i % 2 == 1;  // Home first: a caret already at the end proves nothing
        PostMessageW(edit, WM_KEYDOWN, end ? VK_END : VK_HOME, 1);
        PostMessageW(edit, WM_KEYUP, end ? VK_END : VK_HOME, 0xC0000001);
        const DWORD start = GetTickCount();
        while (GetTickCount() - start <= static_cast<DWORD>(milliseconds)) {
            DWORD_PTR caret = 0, length = 0;
            if (SendMessageTimeoutW(edit, EM_GETSEL, 0, 0, SMTO_NORMAL, 1000, &caret) &&
                SendMessageTimeoutW(edit, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 1000, &length) &&
                HIWORD(caret) == (end ? length : 0)) {
                ++answered;
                break;
            }
            Sleep(20);
        }
    }
    printf("%d\n", answered);
    return 0;
}

// On a timeout the test's log learns which dialogs were there instead.
void tellDialogsThere(const char* wanted) {
    std::string there;
    HWND w = nullptr;
    while ((w = FindWindowExW(nullptr, w, L"#32770", nullptr)) != nullptr) {
        wchar_t caption[256] = L"";
        GetWindowTextW(w, caption, 256);
        there += " \"" + toUtf8(caption) + "\"";
    }
    fprintf(stderr, "no dialog \"%s\"; dialogs there:%s\n", wanted, there.empty() ? " none" : there.c_str());
}

HWND waitDialog(const char* title, int milliseconds) {
    std::wstring wanted = fromUtf8(title);
    for (int waited = 0;; waited += 50) {
        if (HWND w = findDialog(wanted.c_str())) return w;
        if (waited >= milliseconds) {
            tellDialogsThere(title);
            return nullptr;
        }
        Sleep(50);
    }
}
}  // namespace

// Windows of other programs and the taskbar's messages. -1: not one of these commands.
namespace {
LRESULT CALLBACK foreignWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

int foreignWindow(const char* title, int milliseconds) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = foreignWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"QdriverForeign";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowW(L"QdriverForeign", fromUtf8(title).c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                nullptr, nullptr, windowClass.hInstance, nullptr);
    if (!window) return 1;
    printf("ready\n");
    fflush(stdout);
    for (int waited = 0; !mainWindow() && waited < milliseconds; waited += 50) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        Sleep(50);
    }
    DestroyWindow(window);
    return 0;
}

// copydata KIND [PATH...]: what a second start sends, or one broken in one way.
int copyData(HWND window, const std::string& kind, int count, char** paths) {
    std::wstring list;
    for (int i = 0; i < count; ++i) list += fromUtf8(paths[i]) + L'\0';
    list += L'\0';
    if (kind == "huge") list.assign(40000, L'x').append(2, L'\0');
    std::vector<char> bytes(reinterpret_cast<const char*>(list.data()),
                            reinterpret_cast<const char*>(list.data() + list.size()));
    if (kind == "odd") bytes.push_back(0);
    if (kind == "open") bytes.resize(bytes.size() - 2 * sizeof(wchar_t));
    COPYDATASTRUCT data = {kind == "tag" ? 0x12345678u : 0x51564850u, static_cast<DWORD>(bytes.size()), bytes.data()};
    HWND self = kind == "stranger"
                    ? nullptr
                    : CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    DWORD_PTR taken = 0;
    LRESULT sent = SendMessageTimeoutW(window, WM_COPYDATA, reinterpret_cast<WPARAM>(self),
                                       reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, 10000, &taken);
    printf("%d\n", sent && taken == TRUE ? 1 : 0);
    return sent ? 0 : 1;
}

int shellCommand(const std::string& command, int argc, char** argv) {
    if (command == "foreign-window" && argc >= 3) return foreignWindow(argv[2], timeoutArg(argc, argv, 3, 30000));
    if (command == "copydata" && argc >= 3) {
        HWND window = waitFor(mainWindow, 3000);
        return window ? copyData(window, argv[2], argc - 3, argv + 3) : 1;
    }
    if (command != "tray-forget" && command != "taskbar-created") return -1;
    HWND window = waitFor(mainWindow, 3000);
    if (!window) return 1;
    if (command == "tray-forget") {
        NOTIFYICONDATAW icon = {};
        icon.cbSize = sizeof icon;
        icon.hWnd = window;
        icon.uID = 1;
        return Shell_NotifyIconW(NIM_DELETE, &icon) ? 0 : 1;
    }
    // Sent, so that the window has acted on it when the command returns.
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0, SMTO_NORMAL, 10000, &result)
               ? 0
               : 1;
}
}  // namespace

// The arguments as UTF-8: the narrow argv of the C runtime holds the ANSI code page,
// which cannot carry every name a test passes (Cyrillic paths to drop, for one).
std::vector<std::string> utf8Arguments() {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 0; wide && i < count; ++i) arguments.push_back(toUtf8(wide[i]));
    LocalFree(wide);
    return arguments;
}

// As a stand-in (see above): true when this copy is not named qdriver.exe.
bool stoodIn() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    std::wstring own(path, length);
    const size_t slash = own.find_last_of(L"\\/");
    std::wstring name = own.substr(slash + 1);
    for (wchar_t& c : name) c = towlower(c);
    if (name == L"qdriver.exe") return false;
    const std::wstring log = own.substr(0, slash + 1) + L"started.txt";
    FILE* out = _wfopen(log.c_str(), L"ab");
    if (out) {
        fprintf(out, "%s\n", toUtf8(GetCommandLineW()).c_str());
        fclose(out);
    }
    return true;
}

int main(int argc, char** ansiArgv) {
    if (stoodIn()) return 0;
    static std::vector<std::string> arguments = utf8Arguments();
    static std::vector<char*> pointers;
    for (std::string& a : arguments) pointers.push_back(&a[0]);
    pointers.push_back(nullptr);
    char** argv = static_cast<int>(arguments.size()) == argc ? pointers.data() : ansiArgv;
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
    if (command == "dialog-close" && argc >= 3) {
        HWND dialog = waitDialog(argv[2], timeoutArg(argc, argv, 3, 10000));
        if (!dialog) return 1;
        PostMessageW(dialog, WM_CLOSE, 0, 0);
        return 0;
    }
    if (command == "dialog-children" && argc >= 3) {
        HWND dialog = waitDialog(argv[2], 10000);
        for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
            wchar_t cls[64] = {};
            GetClassNameW(c, cls, 64);
            printf("%d %s %d \"%s\"\n", GetDlgCtrlID(c), toUtf8(cls).c_str(), IsWindowVisible(c) ? 1 : 0,
                   toUtf8(controlText(c)).c_str());
        }
        return dialog ? 0 : 1;
    }
    if (command == "tree-select" && argc >= 5)
        return treeSelect(GetDlgItem(waitDialog(argv[2], 10000), atoi(argv[3])), argc - 4, argv + 4);
    if (command == "dialog-set-text" && argc >= 5) {
        HWND dialog = waitDialog(argv[2], 10000);
        HWND c = strcmp(argv[3], "edit") == 0 ? FindWindowExW(dialog, nullptr, L"Edit", nullptr)
                                              : control(dialog, argv[3]);
        if (!c) return 1;
        std::wstring text = fromUtf8(argv[4]);
        SendMessageW(c, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        return 0;
    }
    if (command == "dialog-click" && argc >= 4) {
        HWND dialog = waitDialog(argv[2], timeoutArg(argc, argv, 4, 10000));
        return clickButton(dialog, control(dialog, argv[3]), atoi(argv[3]));
    }

    if (command == "stack") {
        long kib = stackKiB(argc >= 3 ? waitDialog(argv[2], 10000) : waitFor(mainWindow, 3000));
        printf("%ld\n", kib);
        return kib > 0 ? 0 : 1;
    }
    if (command == "wait-dialog" && argc >= 3) return waitDialog(argv[2], timeoutArg(argc, argv, 3, 10000)) ? 0 : 1;
    if (command == "wait-dialog-gone" && argc >= 3) {
        std::wstring title = fromUtf8(argv[2]);
        int limit = timeoutArg(argc, argv, 3, 10000);
        for (int waited = 0; findDialog(title.c_str()); waited += 50) {
            if (waited >= limit) return 1;
            Sleep(50);
        }
        return 0;
    }
    if (command == "list-rows" && argc >= 4)
        return listRows(GetDlgItem(waitDialog(argv[2], 10000), atoi(argv[3])), nullptr, timeoutArg(argc, argv, 4, 3));
    if (command == "list-count" && argc >= 4) {
        HWND list = GetDlgItem(waitDialog(argv[2], 10000), atoi(argv[3]));
        if (!list) return 1;
        printf("%d\n", static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)));
        return 0;
    }
    if (command == "caret-answers" && argc >= 6) {
        HWND edit = GetDlgItem(waitDialog(argv[2], 10000), atoi(argv[3]));
        return edit ? caretAnswers(edit, atoi(argv[4]), atoi(argv[5])) : 1;
    }
    if ((command == "list-selected" || command == "list-top") && argc >= 4)
        return listCell(GetDlgItem(waitDialog(argv[2], 10000), atoi(argv[3])), command == "list-top",
                        timeoutArg(argc, argv, 4, 0));
    if (command == "list-choose" && argc >= 5)
        return listChoose(GetDlgItem(waitDialog(argv[2], 10000), atoi(argv[3])), atoi(argv[4]));
    if (command == "list-show" && argc >= 5) {
        HWND list = GetDlgItem(waitDialog(argv[2], 10000), atoi(argv[3]));
        return list && SendMessageW(list, LVM_ENSUREVISIBLE, atoi(argv[4]), FALSE) ? 0 : 1;
    }
    if (command == "list-select" && argc >= 5)
        return listRows(GetDlgItem(waitDialog(argv[2], 10000), atoi(argv[3])), argv[4], 0,
                        timeoutArg(argc, argv, 5, 0));
    if (command == "dialog-rect" && argc >= 3) {
        RECT r;
        HWND dialog = findDialog(fromUtf8(argv[2]).c_str());
        if (!dialog || !GetWindowRect(dialog, &r)) return 1;
        printf("%ldx%ld+%ld+%ld\n", r.right - r.left, r.bottom - r.top, r.left, r.top);
        return 0;
    }
    if ((command.compare(0, 6, "combo-") == 0 || command == "checked" || command == "set-check" ||
         command == "dialog-press" || command == "dialog-enabled" || command == "dialog-visible" ||
         command == "dialog-type" || command == "dialog-key") &&
        argc >= 4)
        return dialogControlCommand(command, argc, argv);
    if (command == "dialog-texts" && argc >= 4) {
        std::wstring title = fromUtf8(argv[2]);
        HWND w = nullptr;
        while ((w = FindWindowExW(nullptr, w, L"#32770", title.c_str())) != nullptr)
            if (HWND c = GetDlgItem(w, atoi(argv[3]))) printf("%s\n", toUtf8(controlText(c)).c_str());
        return 0;
    }
    if (command == "clipboard") return printClipboard();
    if (command == "set-clipboard" && argc == 3) return setClipboardText(argv[2]);
    if (command == "set-clipboard-files" && argc >= 3) return setClipboard(CF_HDROP, dropBlock(argc - 2, argv + 2));
    if (command == "menu-open") return waitFor(openMenu, timeoutArg(argc, argv, 2, 10000)) ? 0 : 1;
    if (command == "menu-keys") return menuKeys(argc, argv);

    int shellResult = shellCommand(command, argc, argv);
    if (shellResult >= 0) return shellResult;

    // A program that is still starting gets a moment (a wait-text its whole time-out).
    int patience = command == "wait-text" ? timeoutArg(argc, argv, 4, 20000) : 3000;
    HWND window = waitFor(mainWindow, patience);
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
    if (command == "tray-icon")
        return trayIconState(window, argc > 2 ? atoi(argv[2]) : -1, timeoutArg(argc, argv, 3, 10000));
    if (command == "visible") {
        printf("%d\n", IsWindowVisible(window) ? 1 : 0);
        return 0;
    }
    if (command == "rect") {
        RECT r;
        if (argc >= 3) {
            HWND c = GetDlgItem(window, atoi(argv[2]));
            if (!c) return 1;
            GetWindowRect(c, &r);
            MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
        } else {
            GetWindowRect(window, &r);
        }
        printf("%ldx%ld+%ld+%ld\n", r.right - r.left, r.bottom - r.top, r.left, r.top);
        return 0;
    }
    if (command == "drop" && argc >= 3) return dropFiles(window, argc - 2, argv + 2);
    if (command == "answers" && argc >= 4) return answers(window, atoi(argv[2]), atoi(argv[3]));
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
    if (command == "wait-text" && argc >= 4)
        return waitText(window, argv[2], argv[3], timeoutArg(argc, argv, 4, 20000));
    if (command == "set-text" && argc >= 4 && c) {
        std::wstring text = fromUtf8(argv[3]);
        SendMessageW(c, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        return 0;
    }
    if (command == "has-style" && argc >= 4 && c) {
        LONG bits = static_cast<LONG>(strtoul(argv[3], nullptr, 0));
        printf("%d\n", (GetWindowLongW(c, GWL_STYLE) & bits) == bits ? 1 : 0);
        return 0;
    }
    if (command == "click") return clickButton(window, c, atoi(argv[2]));
    if (command == "key" && argc >= 4 && c) return typeOrPress("dialog-key", c, argv[3]);
    if (command == "enabled" && c) {
        printf("%d\n", IsWindowEnabled(c) ? 1 : 0);
        return 0;
    }
    fprintf(stderr, "unknown command or control\n");
    return 2;
}
