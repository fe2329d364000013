// Computer IDs: the encoding of a key's digest, and what is taken as an ID when typed.
#include <gtest/gtest.h>

#include "trust/comparison_code.h"
#include "trust/computer_id.h"

namespace {
const char kId[] = "ABCD-EFGH-IJKL-MNOP-QRST-UVWX-YZ23-4567";

TEST(ComputerId, IsTheBase32OfTheKeysDigestInGroups) {
    // The first 20 bytes of SHA-256("abc"), base32.
    const unsigned char der[] = {'a', 'b', 'c'};
    EXPECT_EQ(computerIdOfKey(der, sizeof der), "XJ4B-NP4P-AHH6-UQKB-IDPF-3LRC-EOYA-GYND");
}

TEST(ComputerId, ParsesWhatAPersonTypesAndNothingElse) {
    const struct {
        const char* typed;
        const char* parsed;  // "" refused
    } cases[] = {
        {kId, kId},
        {"abcdefghijklmnopqrstuvwxyz234567", kId},
        {"abcd efgh ijkl mnop qrst uvwx yz23 4567", kId},
        {" ABCD--EFGH-IJKL-MNOP-QRST-UVWX-YZ23-4567- ", kId},
        {"ABCD-EFGH-IJKL-MNOP-QRST-UVWX-YZ23-456", ""},    // one short
        {"ABCD-EFGH-IJKL-MNOP-QRST-UVWX-YZ23-45677", ""},  // one long
        {"ABCD-EFGH-IJKL-MNOP-QRST-UVWX-YZ23-4560", ""},   // 0, 1, 8, 9 are not base32
        {"ABCD-EFGH-IJKL-MNOP-QRST-UVWX-YZ23-4561", ""},
        {"ABCD-EFGH-IJKL-MNOP-QRST-UVWX-YZ23-4568", ""},
        {"ABCD-EFGH-IJKL-MNOP-QRST-UVWX-YZ23-4569", ""},
        {"ABCD-EFGH-IJKL-MNOP-QRST-UVWX-YZ23-456=", ""},
        {"ABCD_EFGH-IJKL-MNOP-QRST-UVWX-YZ23-4567", ""},
        {"", ""},
        {"----", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(parseComputerId(c.typed), c.parsed) << c.typed;
}

TEST(ComparisonCode, IsSixDigitsThatHangOnTheRoles) {
    const unsigned char exported[32] = {1, 2, 3};
    const std::string other = "XJ4B-NP4P-AHH6-UQKB-IDPF-3LRC-EOYA-GYND";
    std::string code = comparisonCode(exported, sizeof exported, kId, other);
    EXPECT_EQ(code.size(), 6u);
    EXPECT_EQ(code.find_first_not_of("0123456789"), std::string::npos);
    EXPECT_NE(comparisonCode(exported, sizeof exported, other, kId), code);
    const unsigned char another[32] = {1, 2, 4};
    EXPECT_NE(comparisonCode(another, sizeof another, kId, other), code);
}
}  // namespace
