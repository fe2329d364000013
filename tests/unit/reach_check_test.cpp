// The network check's ways between two computers: the connect-back's lines on the private
// channel, what a connect's error is called, and the computers' lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "discovery/reach_check.h"
#include "private/private_framing.h"
#include "resource.h"

#ifdef _WIN32
#include <winsock2.h>
#define QV_ERROR(windows, posix) windows
#else
#include <cerrno>
#define QV_ERROR(windows, posix) posix
#endif

namespace {
std::string fakeText(int id) { return "<" + std::to_string(id) + ":%s:%s>"; }
// A text as fakeText gives it, filled as fillPlaceholders fills it.
std::string t(int id) { return fakeText(id); }
std::string t(int id, const std::string& first, const std::string& second = "") {
    return "<" + std::to_string(id) + ":" + first + ":" + second + ">";
}
}  // namespace

// The request takes no text and the answer exactly two known words: anything else is no
// line of the channel.
TEST(PrivateFraming, ConnectBackLines) {
    const struct {
        std::string bytes;
        LineKind kind;
    } rows[] = {
        {"QVP/1 CONNECT-BACK\n", LineKind::ConnectBack},
        {"QVP/1 CONNECT-BACK 10.0.0.9\n", LineKind::Invalid},
        {"QVP/1 CONNECT-BACK \n", LineKind::Invalid},
        {"QVP/1 REACHED ok ok\n", LineKind::Reached},
        {"QVP/1 REACHED timeout filtered\n", LineKind::Reached},
        {"QVP/1 REACHED ok\n", LineKind::Invalid},
        {"QVP/1 REACHED ok ok ok\n", LineKind::Invalid},
        {"QVP/1 REACHED ok  ok\n", LineKind::Invalid},
        {"QVP/1 REACHED ok maybe\n", LineKind::Invalid},
        {"QVP/1 REACHED OK ok\n", LineKind::Invalid},
    };
    for (const auto& row : rows)
        EXPECT_EQ(parsePrivateLine(row.bytes.data(), row.bytes.size()).kind, row.kind) << row.bytes;
    EXPECT_EQ(privateLineBytes(LineKind::ConnectBack), "QVP/1 CONNECT-BACK\n");
}

// A connect's error as this side shows it, as the other side words it, and how that word
// is shown here: its firewall is not ours.
TEST(ConnectBack, ErrorsWordsAndWays) {
    const struct {
        int error;
        const char* word;
        Reach ours;
    } rows[] = {
        {0, "ok", Reach::Works},
        {QV_ERROR(WSAECONNREFUSED, ECONNREFUSED), "refused", Reach::Refused},
        {QV_ERROR(WSAETIMEDOUT, ETIMEDOUT), "timeout", Reach::NoAnswer},
        {QV_ERROR(WSAEHOSTUNREACH, EHOSTUNREACH), "unreachable", Reach::NoRoute},
        {QV_ERROR(WSAENETUNREACH, ENETUNREACH), "unreachable", Reach::NoRoute},
        {QV_ERROR(WSAEACCES, EPERM), "filtered", Reach::FilteredHere},
        {QV_ERROR(WSAEINVAL, EINVAL), "failed", Reach::Failed},
    };
    for (const auto& row : rows) {
        EXPECT_STREQ(connectWord(row.error), row.word) << row.error;
        EXPECT_EQ(reachOfConnect(row.error), row.ours) << row.error;
        ConnectFailure failure;
        EXPECT_EQ(connectWordOk(row.word, &failure), row.error == 0) << row.word;
        if (row.error != 0) {
            EXPECT_EQ(failure, netConnectFailure(row.error)) << row.word;
        }
    }
}

TEST(ReachCheck, LinesNameEachWayAndWhyItFails) {
    ComputerReach trusted{"office", "AAAA", "10.0.0.2", Reach::Works, Reach::Verified, Reach::Works, Reach::NoAnswer};
    ComputerReach old{"attic", "BBBB", "10.0.0.3", Reach::Refused, Reach::Verified, Reach::Unknown, Reach::Unknown};
    ComputerReach away{"laptop", "CCCC", "", Reach::Unknown, Reach::Unknown, Reach::NotAsked, Reach::NotAsked};
    ComputerReach remembered{"", "", "10.0.0.4", Reach::NoRoute, Reach::FilteredHere, Reach::NotAsked, Reach::NotAsked};
    const std::vector<std::string> lines = reachLines({trusted, old, away, remembered}, fakeText);
    const std::vector<std::string> expected = {
        t(IDS_REACH_HEADING),
        "  " + t(IDS_REACH_TRUSTED, "office", "10.0.0.2"),
        "    " + t(IDS_REACH_TO, t(IDS_REACH_WORKS, "2904") + "; " + t(IDS_REACH_VERIFIED, "2906")),
        "    " + t(IDS_REACH_FROM, t(IDS_REACH_WORKS, "2904") + "; " + t(IDS_REACH_NO_ANSWER, "2906")),
        "  " + t(IDS_REACH_TRUSTED, "attic", "10.0.0.3"),
        "    " + t(IDS_REACH_TO, t(IDS_REACH_REFUSED, "2904") + "; " + t(IDS_REACH_VERIFIED, "2906")),
        "    " + t(IDS_REACH_FROM, t(IDS_REACH_UNKNOWN, "2904") + "; " + t(IDS_REACH_UNKNOWN, "2906")),
        "  " + t(IDS_REACH_NO_ADDRESS, "laptop"),
        "  10.0.0.4",
        "    " + t(IDS_REACH_TO, t(IDS_REACH_NO_ROUTE, "2904") + "; " + t(IDS_REACH_FILTERED_HERE, "2906")),
        "    " + t(IDS_REACH_FROM, t(IDS_REACH_NOT_ASKED)),
    };
    EXPECT_EQ(lines, expected);
    EXPECT_TRUE(reachLines({}, fakeText).empty()) << "no computer: the remembered peers' lines say so";
}
