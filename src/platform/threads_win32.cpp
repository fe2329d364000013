#include "platform/threads.h"

#include <windows.h>

namespace {
struct Start {
    ThreadProcedure procedure;
    void* argument;
};
DWORD WINAPI run(LPVOID p) {
    Start start = *static_cast<Start*>(p);
    delete static_cast<Start*>(p);
    start.procedure(start.argument);
    return 0;
}
}  // namespace

bool startThread(ThreadProcedure procedure, void* argument, size_t stackBytes) {
    Start* start = new Start{procedure, argument};
    HANDLE thread = CreateThread(nullptr, stackBytes, run, start, stackBytes ? STACK_SIZE_PARAM_IS_A_RESERVATION : 0,
                                 nullptr);
    if (!thread) {
        delete start;
        return false;
    }
    CloseHandle(thread);  // started and forgotten; closing the handle does not stop it
    return true;
}

uint32_t tickCount() { return GetTickCount(); }

void sleepMilliseconds(int milliseconds) { Sleep(static_cast<DWORD>(milliseconds)); }
