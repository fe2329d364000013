// How long a cut private send tries again: "RetrySeconds" (REG_DWORD) in the settings key,
// beside the others; kDefaultRetrySeconds without it, 0 for never.
#pragma once

// At start: the stored value takes effect (one above kMostRetrySeconds is that bound).
void loadRetrySeconds();
