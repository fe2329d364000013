// A cut private send tries again after 1, 2, 4 ... s (at most 30 s between tries), and only
// when the network cut it or its trusted computer is away: never after a word of the
// receiver's, a changed key, Stop, this side's shortfall, or on port 2904.
#include "send/send_retry.h"

#include <gtest/gtest.h>

TEST(SendRetry, WaitsDoubleUpToTheCap) {
    const int expected[] = {1, 2, 4, 8, 16, 30, 30, 30};
    for (int tries = 1; tries <= 8; ++tries) EXPECT_EQ(retryWaitSeconds(tries), expected[tries - 1]) << tries;
    EXPECT_EQ(retryWaitSeconds(1000000), kLongestRetryWait);
}

TEST(SendRetry, OnlyACutOrAnAbsentTrustedComputerTriesAgain) {
    struct Case {
        SendResult result;
        bool wentPrivately, finalWord, again;
    } cases[] = {
        {SendResult::NotTaken, true, false, true},      // reset, timed out, closed without an answer
        {SendResult::NotPrivate, true, false, true},    // no session at its address now
        {SendResult::NotTaken, true, true, false},      // refused, no room, or its tally came
        {SendResult::NotPrivate, true, true, false},    // our pinned list cannot be read
        {SendResult::NotTaken, false, false, false},    // port 2904
        {SendResult::NotPrivate, false, false, false},  // never reached it: nothing to go on with
        {SendResult::KeyChanged, true, false, false},  {SendResult::Cancelled, true, false, false},
        {SendResult::Incomplete, true, false, false},  {SendResult::ConnectError, false, false, false},
        {SendResult::Complete, true, false, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(triesAgain(TryEnding{c.result, c.wentPrivately, c.finalWord}), c.again)
            << static_cast<int>(c.result) << " " << c.wentPrivately << c.finalWord;
}
