#include "send/send_retry.h"

#include <algorithm>

std::atomic<int> sendRetrySeconds{kDefaultRetrySeconds};

int retryWaitSeconds(int tries) {
    if (tries < 1) return 1;
    // 2^5 already passes the cap: no shift of a larger count is made.
    return tries > 5 ? kLongestRetryWait : std::min(1 << (tries - 1), kLongestRetryWait);
}

bool triesAgain(const TryEnding& ending) {
    if (!ending.wentPrivately || ending.finalWord) return false;
    // NotTaken: the connection was reset, timed out or closed early without an answer;
    // NotPrivate: the trusted computer's address gave no session (down, asleep, no route).
    return ending.result == SendResult::NotTaken || ending.result == SendResult::NotPrivate;
}
