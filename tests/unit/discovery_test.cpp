#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "core/central_state.h"
#include "discovery/discovery.h"
#include "recording_port.h"

namespace {
// A 45-byte datagram from three raw 15-byte fields.
std::string fields(const std::string& tag, const std::string& kind, const std::string& number) {
    EXPECT_EQ(tag.size(), 15u);
    EXPECT_EQ(kind.size(), 15u);
    EXPECT_EQ(number.size(), 15u);
    return tag + kind + number;
}

DiscoveryAsk judge(const std::string& bytes) {
    return judgeDiscoveryDatagram(bytes.data(), static_cast<int>(bytes.size()));
}

const std::string kTag = " Quorvalinthexa";
const std::string kNotify = "         notify";
const std::string kRequest = "        request";

class DiscoveryDatagramTest : public ::testing::Test {
  protected:
    void SetUp() override { instanceNumber = 4242; }
};
}  // namespace

TEST_F(DiscoveryDatagramTest, BuildsExactly45BytesWithFieldsRightAlignedAndNumberZeroPadded) {
    std::string notify = discoveryDatagram("notify", 4242);
    EXPECT_EQ(notify, " Quorvalinthexa         notify000000000004242");
    std::string request = discoveryDatagram("request", 10000000);
    EXPECT_EQ(request, " Quorvalinthexa        request000000010000000");
    EXPECT_EQ(request.size(), 45u);
    EXPECT_EQ(request.find('\0'), std::string::npos);
    EXPECT_EQ(discoveryDatagram("a-kind-too-long-", 1), "");
}

TEST_F(DiscoveryDatagramTest, ParsesWhatItBuilds) {
    std::string bytes = discoveryDatagram("request", 77);
    DiscoveryFields f = parseDiscoveryDatagram(bytes.data(), 45);
    EXPECT_EQ(f.tag, "Quorvalinthexa");
    EXPECT_EQ(f.kind, "request");
    EXPECT_EQ(f.number, 77);
    EXPECT_EQ(judge(bytes), DiscoveryAsk::Request);
    EXPECT_EQ(judge(discoveryDatagram("notify", 1)), DiscoveryAsk::Notify);
}

TEST_F(DiscoveryDatagramTest, OwnNumberIsIgnored) {
    EXPECT_EQ(judge(discoveryDatagram("notify", 4242)), DiscoveryAsk::Nothing);
    EXPECT_EQ(judge(discoveryDatagram("request", 4242)), DiscoveryAsk::Nothing);
}

TEST_F(DiscoveryDatagramTest, TagAndKindMustMatchExactlyButMayBePaddedEitherSide) {
    EXPECT_EQ(judge(fields(" quorvalinthexa", kNotify, "000000000000005")), DiscoveryAsk::Nothing);
    EXPECT_EQ(judge(fields(" QUORVALINTHEXA", kNotify, "000000000000005")), DiscoveryAsk::Nothing);
    EXPECT_EQ(judge(fields("Quorvalinthexa ", kNotify, "000000000000005")), DiscoveryAsk::Notify);
    EXPECT_EQ(judge(fields(" Quorvalinthexa", "notify         ", "000000000000005")), DiscoveryAsk::Notify);
    // A tag cut short or carrying a second word is another tag.
    EXPECT_EQ(judge(fields("  Quorvalinthex", kNotify, "000000000000005")), DiscoveryAsk::Nothing);
    EXPECT_EQ(judge(fields("Quorvalinthexaz", kNotify, "000000000000005")), DiscoveryAsk::Nothing);
    // Only the two kinds, exactly.
    EXPECT_EQ(judge(fields(kTag, "         NOTIFY", "000000000000009")), DiscoveryAsk::Nothing);
    EXPECT_EQ(judge(fields(kTag, "          hello", "000000000000009")), DiscoveryAsk::Nothing);
}

TEST_F(DiscoveryDatagramTest, NumberFollowsAtoi) {
    struct Case {
        const char* field;
        int number;
        DiscoveryAsk ask;
    } cases[] = {
        {"000000000000000", 0, DiscoveryAsk::Nothing},
        {"-00000000000001", -1, DiscoveryAsk::Nothing},
        {"abc000000000012", 0, DiscoveryAsk::Nothing},
        {"000000000012abc", 12, DiscoveryAsk::Request},  // the digits count, the rest not
        {"   +12         ", 12, DiscoveryAsk::Request},
        {"\t\n 7 8         ", 7, DiscoveryAsk::Request},
        {"+-0000000000012", 0, DiscoveryAsk::Nothing},
        {"999999999999999", INT_MAX, DiscoveryAsk::Request},  // saturates, no overflow
        {"-99999999999999", INT_MIN, DiscoveryAsk::Nothing},
    };
    for (const Case& c : cases) {
        std::string bytes = fields(kTag, kRequest, c.field);
        EXPECT_EQ(parseDiscoveryDatagram(bytes.data(), 45).number, c.number) << c.field;
        EXPECT_EQ(judge(bytes), c.ask) << c.field;
    }
}

TEST_F(DiscoveryDatagramTest, ShortDatagramsLoseTheirTrailingFields) {
    std::string full = discoveryDatagram("request", 99);
    // 20 bytes: the kind is cut to "reque"... and the number field is empty.
    DiscoveryFields f = parseDiscoveryDatagram(full.data(), 20);
    EXPECT_EQ(f.tag, "Quorvalinthexa");
    EXPECT_EQ(f.number, 0);
    EXPECT_EQ(judge(full.substr(0, 20)), DiscoveryAsk::Nothing);
    // A number field cut to its first digits reads as what is there.
    EXPECT_EQ(parseDiscoveryDatagram(full.data(), 44).number, 9);
    EXPECT_EQ(judge(full.substr(0, 0)), DiscoveryAsk::Nothing);
    EXPECT_EQ(parseDiscoveryDatagram(full.data(), -5).tag, "");
}

TEST_F(DiscoveryDatagramTest, EmbeddedNulEndsTheText) {
    std::string bytes = discoveryDatagram("request", 99);
    bytes[35] = '\0';  // inside the number field: its zeros before the NUL read as 0
    EXPECT_EQ(parseDiscoveryDatagram(bytes.data(), 45).number, 0);
    EXPECT_EQ(judge(bytes), DiscoveryAsk::Nothing);
    bytes = discoveryDatagram("notify", 99);
    bytes[0] = '\0';
    EXPECT_EQ(judge(bytes), DiscoveryAsk::Nothing);
}

TEST_F(DiscoveryDatagramTest, NothingBeyond45BytesIsRead) {
    // A longer datagram is judged on its first 45 bytes: trailing digits do not extend
    // the number, and a trailing "notify" does not count.
    std::string bytes = fields(kTag, kRequest, "000000000000007") + "99 notify";
    EXPECT_EQ(parseDiscoveryDatagram(bytes.data(), static_cast<int>(bytes.size())).number, 7);
    EXPECT_EQ(judge(bytes), DiscoveryAsk::Request);
}

TEST(DiscoveryTickTest, AnnouncesWhileTheRecipientIsEmptyAndStopsOnceItIsNot) {
    recordingPortReset();
    EXPECT_FALSE(discoveryTick());
    recordingPortReset("", "", "10.0.0.9");
    EXPECT_TRUE(discoveryTick());
    // Only the recipient's emptiness counts: a blank typed by the user is an address.
    recordingPortReset("", "", " ");
    EXPECT_TRUE(discoveryTick());
}
