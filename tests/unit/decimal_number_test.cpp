// The strict reader of a peer's decimal numbers: digits and nothing else, within a bound.
#include <gtest/gtest.h>

#include "core/decimal_number.h"

TEST(DecimalNumber, DigitsOnlyWithinTheBound) {
    struct Case {
        const char* text;
        uint64_t most;
        LeadingZero zeros;
        bool read;
        uint64_t value;
    };
    const LeadingZero any = LeadingZero::Allowed, one = LeadingZero::OnlyZeroItself;
    const Case cases[] = {
        {"0", 9, any, true, 0},
        {"0", 9, one, true, 0},
        {"42", 99, any, true, 42},
        {"007", 99, any, true, 7},
        {"007", 99, one, false, 0},
        {"", 99, any, false, 0},
        {"+1", 99, any, false, 0},
        {"-1", 99, any, false, 0},
        {" 1", 99, any, false, 0},
        {"1 ", 99, any, false, 0},
        {"1a", 99, any, false, 0},
        {"0x1", 99, any, false, 0},
        {"100", 99, any, false, 0},
        {"99", 99, any, true, 99},
        {"9223372036854775807", INT64_MAX, any, true, INT64_MAX},
        {"9223372036854775808", INT64_MAX, any, false, 0},
        {"18446744073709551615", UINT64_MAX, any, true, UINT64_MAX},
        {"18446744073709551616", UINT64_MAX, any, false, 0},
        {"000000000000000000000000000001", 9, any, true, 1},
        {"99999999999999999999999999999", UINT64_MAX, any, false, 0},
    };
    for (const Case& c : cases) {
        uint64_t value = 12345;
        EXPECT_EQ(readDecimal(c.text, c.most, &value, c.zeros), c.read) << c.text;
        EXPECT_EQ(value, c.read ? c.value : 12345u) << c.text;
    }
    int64_t signedValue = 0;
    EXPECT_TRUE(readDecimal("9223372036854775807", INT64_MAX, &signedValue));
    EXPECT_EQ(signedValue, INT64_MAX);
    EXPECT_FALSE(readDecimal("5", int64_t{-1}, &signedValue));
}
