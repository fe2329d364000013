// The doors' admission: who gets a waiting place, and who may take the one reception from
// whom.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "core/central_state.h"
#include "doors/places.h"
#include "doors/reception.h"

namespace {
constexpr uint32_t A = 1, B = 2, C = 3;

TEST(Places, ACrowdPushesOutOnlyItself) {
    struct Case {
        const char* what;
        std::vector<uint32_t> holders;
        uint32_t newcomer;
        bool ownGoes;
        PlaceChoice want;
        size_t pushed;
    };
    // Four places, two of them at most for one address.
    for (const Case& c : {
             Case{"a free place within the share", {A, B}, C, true, PlaceChoice::Take, 0},
             Case{"at its share, its own oldest goes", {B, A, C, A}, A, true, PlaceChoice::PushOut, 1},
             Case{"at its share, refused where its own stay", {A, B, A}, A, false, PlaceChoice::Refuse, 0},
             Case{"full, its own oldest goes", {B, C, A, B}, A, true, PlaceChoice::PushOut, 2},
             Case{"full, its own oldest goes, not the crowd's", {B, B, A, C}, A, true, PlaceChoice::PushOut, 2},
             Case{"full, holding none: the crowd's oldest goes", {A, B, B, C}, 4, false, PlaceChoice::PushOut, 1},
             Case{"full of single tries: the oldest goes", {A, B, C, 5}, 4, true, PlaceChoice::PushOut, 0},
         }) {
        SCOPED_TRACE(c.what);
        size_t pushed = 99;
        EXPECT_EQ(choosePlace(c.holders, c.newcomer, 4, 2, c.ownGoes, &pushed), c.want);
        if (c.want == PlaceChoice::PushOut) {
            EXPECT_EQ(pushed, c.pushed);
        }
    }
}

std::atomic<unsigned> stops{0};
Socket shutDown = kInvalidSocket;

// The holder's connection shut down: its reception ends and gives the reception up.
bool shutAndRelease(Socket holder) {
    shutDown = holder;
    releaseReception();
    return true;
}

TEST(Reception, AStrangerNeverKeepsATrustedKeyOut) {
    struct Case {
        const char* what;
        bool holderTrusted, asking, newcomerTrusted, admitted;
    };
    const Socket holder = 42;
    for (const Case& c : {
             Case{"a stranger's progressing reception holds against a stranger", false, false, false, false},
             Case{"a trusted key's session takes a stranger's reception", false, false, true, true},
             Case{"a trusted key's reception holds against another one", true, false, true, false},
             Case{"a stranger whose user is asked holds against a stranger", false, true, false, false},
             Case{"a stranger's question is taken back for a trusted key", false, true, true, true},
             Case{"a trusted key's question holds against another one", true, true, true, false},
         }) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(takeFreeReception());
        holdReception(holder, c.holderTrusted);
        receptionReading(int64_t{1} << 40);
        receptionReceived(int64_t{1} << 30);  // its content has begun, far above the floor
        if (c.asking) receptionAsking(true);
        shutDown = kInvalidSocket;
        Newcomer n;
        n.stopCount = &stops;
        n.trusted = c.newcomerTrusted;
        n.shut = shutAndRelease;
        // An asking holder ends its reception once its question is taken back.
        std::thread asked;
        if (c.asking)
            asked = std::thread([] {
                while (!questionWithdrawn) std::this_thread::sleep_for(std::chrono::milliseconds(10));
                releaseReception();
            });
        EXPECT_EQ(admitReception(n), c.admitted);
        // A question is taken back, never its connection shut: the holder resets it itself.
        EXPECT_EQ(questionWithdrawn.load(), c.asking && c.admitted);
        EXPECT_EQ(shutDown, c.admitted && !c.asking ? holder : kInvalidSocket);
        questionWithdrawn = true;  // ends a holder that still waits
        if (asked.joinable()) asked.join();
        questionWithdrawn = false;
        releaseReception();
    }
    EXPECT_FALSE(receiveInProgress);
}
}  // namespace
