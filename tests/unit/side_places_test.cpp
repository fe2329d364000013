// The side places of trusted computers' receptions, and the store's names claimed while
// they are written.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "doors/side_places.h"
#include "store/name_claims.h"
#include "transfer/question_turn.h"

namespace {
TEST(SidePlaces, TakesEachPlaceOnceUntilItIsGivenBack) {
    int places[kSidePlaces];
    for (int& place : places) place = takeSidePlace();
    for (int i = 0; i < kSidePlaces; ++i) EXPECT_EQ(places[i], i);
    EXPECT_EQ(takeSidePlace(), -1) << "every place is taken";
    EXPECT_EQ(sidePlacesTaken(), kSidePlaces);
    for (const int wrong : {-1, kSidePlaces}) releaseSidePlace(wrong);  // ignored
    EXPECT_EQ(sidePlacesTaken(), kSidePlaces);
    releaseSidePlace(2);
    EXPECT_EQ(takeSidePlace(), 2);
    for (const int place : places) releaseSidePlace(place);
    EXPECT_EQ(sidePlacesTaken(), 0);
}

TEST(NameClaims, ASecondWriterWaitsForTheNameOrRefusesIt) {
    std::atomic<bool> stopped{false};
    ASSERT_TRUE(claimStoreName("/store/Same.bin", stopped));
    EXPECT_FALSE(claimStoreName("/store/same.BIN", stopped, 100)) << "held, whatever its case";
    EXPECT_TRUE(claimStoreName("/store/other.bin", stopped, 0)) << "another name is free";
    releaseStoreName("/store/other.bin");

    // A waiter takes the name once it is given up.
    std::atomic<bool> claimed{false};
    std::thread waiter([&] {
        claimed = claimStoreName("/store/same.bin", stopped, 10000);
        if (claimed) releaseStoreName("/store/same.bin");
    });
    releaseStoreName("/store/Same.bin");
    waiter.join();
    EXPECT_TRUE(claimed);

    // A Stop ends the wait.
    ASSERT_TRUE(claimStoreName("/store/same.bin", stopped));
    std::thread stopper([&] { stopped = true; });
    EXPECT_FALSE(claimStoreName("/store/same.bin", stopped, 60000));
    stopper.join();
    releaseStoreName("/store/same.bin");
    stopped = false;
    StoreNameClaim scoped("/store/same.bin", stopped);
    EXPECT_TRUE(scoped.held) << "given up";
}

// What a trusted computer's reception calls to push a stranger's out: here it gives the
// stranger's name up, as the stranger's reception does once its connection is shut.
int pushes = 0;
void pushStranger() {
    ++pushes;
    releaseStoreName("/store/held.bin");
}

TEST(NameClaims, ATrustedWriterPushesOnlyAStrangersClaimOut) {
    const std::atomic<bool> stopped{false};
    ASSERT_TRUE(claimStoreName("/store/held.bin", stopped));  // a stranger's
    EXPECT_TRUE(claimStoreName("/store/held.bin", stopped, 100, pushStranger)) << "pushed out once waited for";
    EXPECT_EQ(pushes, 1);
    // Now a trusted computer's claim: another one waits for it, and pushes nobody.
    EXPECT_FALSE(claimStoreName("/store/held.bin", stopped, 100, pushStranger));
    EXPECT_EQ(pushes, 1);
    releaseStoreName("/store/held.bin");
}

TEST(QuestionTurn, AQuestionWaitsForTheOneOpenUnlessStoppedOrTakenBack) {
    const std::atomic<bool> never{false};
    std::atomic<bool> stopped{false}, withdrawn{false};
    ASSERT_TRUE(takeQuestionTurn(never, never));
    std::thread stopper([&] { stopped = true; });
    EXPECT_FALSE(takeQuestionTurn(stopped, never)) << "stopped while another question is open";
    stopper.join();
    std::thread withdrawer([&] { withdrawn = true; });
    EXPECT_FALSE(takeQuestionTurn(never, withdrawn)) << "taken back while another question is open";
    withdrawer.join();

    std::atomic<bool> asked{false};
    std::thread second([&] {
        asked = takeQuestionTurn(never, never);
        if (asked) endQuestionTurn();
    });
    endQuestionTurn();  // the first question ends: the second is asked
    second.join();
    EXPECT_TRUE(asked);
}
}  // namespace
