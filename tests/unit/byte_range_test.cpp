#include <gtest/gtest.h>

#include <string>

#include "web/byte_range.h"

TEST(ByteRange, AnswersEachRangeOfATenByteFile) {
    const std::string tag = "\"a-1-2\"";
    struct Case {
        const char* range;
        const char* ifRange;
        RangeAnswer answer;
        int64_t first, length;
    } cases[] = {
        {"", "", RangeAnswer::Whole, 0, 10},
        {"bytes=2-5", "", RangeAnswer::Part, 2, 4},
        {"BYTES=2-5", "", RangeAnswer::Part, 2, 4},
        {"bytes=0-0", "", RangeAnswer::Part, 0, 1},
        {"bytes=4-", "", RangeAnswer::Part, 4, 6},
        {"bytes=4-99", "", RangeAnswer::Part, 4, 6},
        {"bytes=-3", "", RangeAnswer::Part, 7, 3},
        {"bytes=-30", "", RangeAnswer::Part, 0, 10},
        {"bytes=9-9", "", RangeAnswer::Part, 9, 1},
        {"bytes=10-", "", RangeAnswer::Unsatisfiable, 0, 10},
        {"bytes=10-20", "", RangeAnswer::Unsatisfiable, 0, 10},
        {"bytes=-0", "", RangeAnswer::Unsatisfiable, 0, 10},
        {"bytes=5-2", "", RangeAnswer::Whole, 0, 10},
        {"bytes=0-1,4-5", "", RangeAnswer::Whole, 0, 10},
        {"bytes=0-1,", "", RangeAnswer::Whole, 0, 10},
        {"bytes=z-", "", RangeAnswer::Whole, 0, 10},
        {"bytes=-", "", RangeAnswer::Whole, 0, 10},
        {"bytes=1", "", RangeAnswer::Whole, 0, 10},
        {"bytes=1-2x", "", RangeAnswer::Whole, 0, 10},
        {"items=1-2", "", RangeAnswer::Whole, 0, 10},
        {"bytes=9223372036854775808-", "", RangeAnswer::Whole, 0, 10},
        {"bytes=0-99999999999999999999", "", RangeAnswer::Whole, 0, 10},
        {"bytes=-9223372036854775807", "", RangeAnswer::Part, 0, 10},
        {"bytes=2-5", "\"a-1-2\"", RangeAnswer::Part, 2, 4},
        {"bytes=2-5", "\"a-1-3\"", RangeAnswer::Whole, 0, 10},
        {"bytes=2-5", "W/\"a-1-2\"", RangeAnswer::Whole, 0, 10},
        {"bytes=2-5", "Tue, 08 Dec 2026 16:00:00 GMT", RangeAnswer::Whole, 0, 10},
        {"bytes=20-", "\"a-1-3\"", RangeAnswer::Whole, 0, 10},
    };
    for (const Case& c : cases) {
        ByteRange chosen;
        RangeAnswer answer = chooseRange(c.range, c.ifRange, tag, 10, &chosen);
        EXPECT_EQ(c.answer, answer) << c.range << " / " << c.ifRange;
        EXPECT_EQ(c.first, chosen.first) << c.range << " / " << c.ifRange;
        EXPECT_EQ(c.length, chosen.length) << c.range << " / " << c.ifRange;
    }
    ByteRange chosen;
    EXPECT_EQ(RangeAnswer::Unsatisfiable, chooseRange("bytes=-5", "", tag, 0, &chosen)) << "an empty file";
}

TEST(ByteRange, TagChangesWithEachPartOfTheStamp) {
    FileStamp a;
    a.size = 10, a.modified = 1700000000123456789, a.number = 42;
    FileStamp bySize = a, byTime = a, byNumber = a;
    bySize.size = 11, byTime.modified += 1, byNumber.number = 43;
    std::string tag = fileEntityTag(a);
    EXPECT_EQ('"', tag.front());
    EXPECT_EQ('"', tag.back());
    for (const FileStamp& other : {bySize, byTime, byNumber}) EXPECT_NE(tag, fileEntityTag(other));
}
