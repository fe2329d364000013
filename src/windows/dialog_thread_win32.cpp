#include "windows/dialog_thread_win32.h"

#include <windows.h>

#include "platform/threads.h"
#include "windows/app_state_win32.h"

namespace {
struct DialogRun {
    const std::function<void()>* show;
    HANDLE done;
};

void dialogThread(void* argument) {
    auto* run = static_cast<DialogRun*>(argument);
    (*run->show)();
    SetEvent(run->done);
}
}  // namespace

void runOnDialogThread(const std::function<void()>& show) {
    // A box the main window owns sends that window messages while it opens and closes:
    // the window's own thread must go on answering them, so it shows its boxes itself.
    if (mainWindow && GetWindowThreadProcessId(mainWindow, nullptr) == GetCurrentThreadId()) return show();
    DialogRun run{&show, CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    if (run.done && startThread(dialogThread, &run)) WaitForSingleObject(run.done, INFINITE);
    else show();
    if (run.done) CloseHandle(run.done);
}

INT_PTR questionOnDialogThread(int dialogId, DLGPROC proc, void* question) {
    INT_PTR result = 0;
    runOnDialogThread([&] {
        result = DialogBoxParamW(programModule, MAKEINTRESOURCEW(dialogId), nullptr, proc,
                                 reinterpret_cast<LPARAM>(question));
    });
    return result;
}
