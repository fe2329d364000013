// The question before a transfer is received: "<address> wants to send you <size>.
// Accept?", with Accept and Decline (the default, counting down the seconds left).
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "core/window_port.h"

// Shows the question on a thread with the program's usual stack, topmost and with no owner, so that the main
// window stays usable (its Stop ends the question unanswered). Returns when it is answered,
// when milliseconds have passed, or on Stop or the program's end (cancelRequested).
AskAnswer askToReceive(const std::string& address, int64_t total, int milliseconds);
