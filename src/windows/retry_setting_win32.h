// How long a cut private send tries again: "RetrySeconds" (REG_DWORD) in the settings key,
// beside the others; kDefaultRetrySeconds without it, 0 for never.
#pragma once
#include <windows.h>

// At start: the stored value takes effect (one above kMostRetrySeconds is that bound).
void loadRetrySeconds();
// The settings dialog's field for it, and Ok: the seconds typed take effect and are stored;
// an empty field changes nothing.
void initialiseRetrySeconds(HWND dialog);
void storeRetrySeconds(HWND dialog);
