#include "web/upload_shares.h"

#include <gtest/gtest.h>

// A full table makes way only at the cost of an address over its even share: the one that
// holds the most, an idle upload before a busy one, the longest idle first.
TEST(UploadShares, OnlyAnAddressOverItsShareMakesWay) {
    constexpr uint32_t kNew = 9;
    const struct {
        const char* what;
        std::vector<HeldUpload> held;
        uint32_t sender;
        int most;
        int way;
    } cases[] = {
        {"a newcomer: the longest idle of the biggest holder",
         {{1, false, 10}, {2, false, 50}, {2, false, 40}, {1, false, 90}, {2, false, 5}},
         kNew,
         5,
         1},
        {"an idle one before a busy one, however old",
         {{1, true, 99}, {1, false, 1}, {1, true, 98}, {2, false, 50}},
         kNew,
         4,
         1},
        {"all busy: the longest idle is cut",
         {{1, true, 20}, {1, true, 30}, {1, true, 10}, {2, false, 50}},
         kNew,
         4,
         1},
        {"every address within its share keeps all",
         {{1, false, 10}, {1, false, 20}, {2, false, 30}, {2, false, 40}},
         1,
         4,
         -1},
        {"an asker over its share loses its own",
         {{1, false, 10}, {1, false, 20}, {1, false, 5}, {2, false, 40}},
         1,
         4,
         1},
    };
    for (const auto& c : cases) EXPECT_EQ(uploadMakingWay(c.held, c.sender, c.most), c.way) << c.what;
}
