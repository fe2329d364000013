#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <string>

#include "selection/size_format.h"

TEST(FormatSize, TruncatesToHundredthsAndDropsTrailingZeros) {
    EXPECT_EQ(formatSize(0), "0 B");
    EXPECT_EQ(formatSize(-5), "0 B");
    EXPECT_EQ(formatSize(INT64_MIN), "0 B");
    EXPECT_EQ(formatSize(1), "1 B");
    EXPECT_EQ(formatSize(1023), "1023 B");
    EXPECT_EQ(formatSize(1024), "1 kB");
    EXPECT_EQ(formatSize(1100), "1.07 kB");  // 1.074..., truncated
    EXPECT_EQ(formatSize(1536), "1.5 kB");   // one zero dropped, not the 5
    EXPECT_EQ(formatSize(10240), "10 kB");   // the zero before the point stays
    EXPECT_EQ(formatSize(1000000), "976.56 kB");
    EXPECT_EQ(formatSize(1048575), "1023.99 kB");  // never rounded up to 1024
    EXPECT_EQ(formatSize(1048576), "1 mB");
}

TEST(FormatSize, LargeUnitsStopAtPetabytes) {
    EXPECT_EQ(formatSize(int64_t(1) << 30), "1 gB");
    EXPECT_EQ(formatSize((int64_t(1) << 30) * 5 / 2), "2.5 gB");
    EXPECT_EQ(formatSize(int64_t(1) << 40), "1 tB");
    EXPECT_EQ(formatSize(int64_t(1) << 50), "1 pB");
    EXPECT_EQ(formatSize(int64_t(1) << 60), "1024 pB");
    EXPECT_EQ(formatSize(INT64_MAX), "8192 pB");
}

namespace {
// A locale whose decimal separator is a comma, or "" when none is installed.
std::string commaLocale() {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8", "es_ES.UTF-8",
                             "German_Germany.1252", "German", "de-DE", "de_DE"}) {
        if (setlocale(LC_NUMERIC, name) && localeconv()->decimal_point[0] == ',') return name;
    }
    setlocale(LC_NUMERIC, "C");
    return "";
}
}  // namespace

TEST(FormatSize, FollowsTheLocalesDecimalSeparator) {
    const std::string name = commaLocale();
    if (name.empty()) GTEST_SKIP() << "no locale with a decimal comma is installed";
    const std::string half = formatSize(1536), whole = formatSize(1024), fine = formatSize(1100);
    setlocale(LC_NUMERIC, "C");
    EXPECT_EQ(half, "1,5 kB") << name;
    EXPECT_EQ(whole, "1 kB") << name;  // the comma goes with the zeros
    EXPECT_EQ(fine, "1,07 kB") << name;
}
