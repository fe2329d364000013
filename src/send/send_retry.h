// A private send cut by the network tries again by itself: it connects again, makes the
// same offer and goes on from what the receiver answers it kept. Port 2904 never does.
#pragma once
#include <atomic>

#include "send/sender.h"

// How long, in all, a cut send keeps trying (0: it does not). The Windows setting, the
// command line's --retry-for.
constexpr int kDefaultRetrySeconds = 600;
constexpr int kMostRetrySeconds = 86400;
extern std::atomic<int> sendRetrySeconds;

// The wait after the try numbered tries (1 for the first) failed: 1, 2, 4, 8 ... s,
// at most kLongestRetryWait.
constexpr int kLongestRetryWait = 30;
int retryWaitSeconds(int tries);

// How one try ended, as far as trying again goes.
struct TryEnding {
    SendResult result = SendResult::Complete;
    bool wentPrivately = false;  // this try, or one before it, reached the trusted computer
    bool finalWord = false;      // the receiver refused, or named files it could not store,
                                 // or our pinned list could not be read: no cut
};
// Only a private send the network cut, or whose trusted computer is away for now,
// tries again; a refusal, a changed key, Stop or this side's shortfall never does.
bool triesAgain(const TryEnding& ending);
