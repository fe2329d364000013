#include "history/history_shares.h"

#include <gtest/gtest.h>

#include <numeric>

// Each address keeps what it holds while that fits an even share; the room the small ones
// leave goes to the big ones; whatever cannot be split evenly goes to the newest.
TEST(HistoryShares, TheBiggestHolderLosesFirst) {
    const struct {
        const char* what;
        std::vector<AddressHold> holds;
        int64_t limit;
        std::vector<int64_t> keeps;
    } cases[] = {
        {"within the limit", {{"a", 3, 3}, {"b", 2, 5}}, 10, {3, 2}},
        {"one floods, the others keep all", {{"a", 3, 3}, {"flood", 60, 65}, {"b", 2, 5}}, 20, {3, 15, 2}},
        {"two flood: the room left is split", {{"f", 30, 40}, {"a", 4, 4}, {"g", 30, 41}}, 20, {8, 4, 8}},
        {"an odd room goes to the newest", {{"f", 30, 40}, {"g", 30, 41}}, 21, {10, 11}},
        {"more addresses than room", {{"a", 1, 1}, {"b", 1, 3}, {"c", 1, 2}}, 2, {0, 1, 1}},
        {"one address alone keeps the newest", {{"", 50, 50}}, 20, {20}},
    };
    for (const auto& c : cases) {
        const std::vector<int64_t> keeps = addressKeeps(c.holds, c.limit);
        EXPECT_EQ(keeps, c.keeps) << c.what;
    }
}
