// Modal boxes raised by worker code (the question before a reception, the receiver's error
// boxes) run their message loop, and with it window hooks, input methods and accessibility
// code, on the stack of the thread that shows them. Web connection threads have a small
// stack of their own, so every such box is shown on a thread with the program's usual stack.
#pragma once
#include <windows.h>

#include <functional>

// Runs show on a new thread with the program's usual stack and returns once it has
// returned. On the main window's thread, or without a thread to be had, show runs on the
// calling thread.
void runOnDialogThread(const std::function<void()>& show);

// A question's dialog (template dialogId, its procedure proc, handed question at
// WM_INITDIALOG) shown with no owner through runOnDialogThread; the value it ended with.
INT_PTR questionOnDialogThread(int dialogId, DLGPROC proc, void* question);
