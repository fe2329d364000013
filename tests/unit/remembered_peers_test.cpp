#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "discovery/look_around.h"
#include "discovery/network_check.h"
#include "peers/asked_peers.h"
#include "peers/remembered_peers.h"
#include "platform/net.h"
#include "resource.h"
#ifndef _WIN32
#include "peers/peer_file.h"
#endif

namespace {
using List = std::vector<std::string>;

uint32_t ip(const char* dotted) {
    uint32_t address = 0;
    EXPECT_TRUE(netParseDotted(dotted, &address)) << dotted;
    return address;
}

// A keeper in memory, as the registry or the state file holds the text; counts writes.
std::string keptText;
int keptWrites = 0;
std::string keepInMemory(const PeerTextEdit& edit) {
    std::string edited = edit(keptText);
    if (edited != keptText) ++keptWrites;
    return keptText = edited;
}

TEST(PeerList, ParsesTheStoredText) {
    std::string seventeen;
    for (int i = 1; i <= 17; ++i) seventeen += "10.0.0." + std::to_string(i) + "\n";
    List firstSixteen;
    for (int i = 1; i <= 16; ++i) firstSixteen.push_back("10.0.0." + std::to_string(i));
    const struct {
        const char* what;
        std::string text;
        List expected;
    } cases[] = {
        {"commas, in order", "10.0.0.2,192.168.1.9", {"10.0.0.2", "192.168.1.9"}},
        {"lines and spaces", "10.0.0.2\n 10.0.0.3\r\n\t10.0.0.4;", {"10.0.0.2", "10.0.0.3", "10.0.0.4"}},
        {"repeats once", "10.0.0.2,10.0.0.3,10.0.0.2", {"10.0.0.2", "10.0.0.3"}},
        {"junk skipped", "host,10.0.0.300,224.0.0.1,0.1.2.3,255.255.255.255,1.2.3.4.5,10.0.0.9", {"10.0.0.9"}},
        {"a word longer than an address", std::string(40, '1') + ",10.0.0.9", {"10.0.0.9"}},
        {"answered only, marked", "10.0.0.2,10.0.0.5?,10.0.0.6??", {"10.0.0.2", "10.0.0.5"}},
        {"at most 16", seventeen, firstSixteen},
        {"empty", "", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(parsePeerList(c.text), c.expected) << c.what;
    EXPECT_EQ(formatPeerList({"10.0.0.2", "10.0.0.3"}), "10.0.0.2,10.0.0.3");
}

TEST(PeerList, RemembersMostRecentFirstAndForgets) {
    keptText = "10.0.0.2,10.0.0.3";
    loadRememberedPeers(keptText, keepInMemory);
    rememberPeer("10.0.0.3");
    EXPECT_EQ(rememberedPeers(), (List{"10.0.0.3", "10.0.0.2"}));
    EXPECT_EQ(keptText, "10.0.0.3,10.0.0.2");
    keptText = "10.0.0.9," + keptText;  // another process's change meanwhile stays
    rememberPeer("10.0.0.2");
    EXPECT_EQ(keptText, "10.0.0.2,10.0.0.9,10.0.0.3");
    keptWrites = 0;
    rememberPeer("10.0.0.2");  // already first: nothing to write
    rememberPeer("239.1.2.3");
    rememberPeer("not an address");
    EXPECT_EQ(keptWrites, 0);
    for (int i = 1; i <= 20; ++i) rememberPeer(ip(("10.1.0." + std::to_string(i)).c_str()));
    EXPECT_EQ(rememberedPeers().size(), 16u);
    EXPECT_EQ(rememberedPeerNumbered(1), "10.1.0.20");
    EXPECT_EQ(rememberedPeerNumbered(16), "10.1.0.5");
    EXPECT_EQ(rememberedPeerNumbered(17), "");
    EXPECT_EQ(rememberedPeerNumbered(0), "");
    forgetRememberedPeers();
    EXPECT_TRUE(rememberedPeers().empty());
    EXPECT_EQ(keptText, "");
    loadRememberedPeers("", nullptr);
}

// A hand-over counts as the answer to a datagram sent within the window, and ranks below
// every peer a transfer completed with, however many come.
TEST(PeerList, HandOversAnswerAsksAndRankBelowTransfers) {
    const uint32_t later = tickCount() + 0x40000000u;  // far from any datagram a test sent
    noteAsked(ip("10.9.0.1"), later);
    EXPECT_TRUE(askedLately(ip("10.9.0.1"), later + kAnswerWindowMilliseconds - 1));
    EXPECT_FALSE(askedLately(ip("10.9.0.1"), later + kAnswerWindowMilliseconds));
    EXPECT_FALSE(askedLately(ip("10.9.0.2"), later));
    noteAsked(ip("239.123.126.129"));  // the group: only the link hears it
    EXPECT_FALSE(askedLately(ip("198.51.100.7")));
    loadRememberedPeers("10.0.0.2", nullptr);
    for (int i = 1; i <= 20; ++i) {
        noteAsked(ip(("10.8.0." + std::to_string(i)).c_str()));
        rememberHandOver(ip(("10.8.0." + std::to_string(i)).c_str()));
    }
    rememberHandOver(ip("10.0.0.2"));  // a proven peer stays where it is
    List expected{"10.0.0.2"};
    for (int i = 20; i >= 6; --i) expected.push_back("10.8.0." + std::to_string(i));
    EXPECT_EQ(rememberedPeers(), expected);
    for (int i = 1; i <= 16; ++i) rememberPeer(ip(("10.1.0." + std::to_string(i)).c_str()));
    noteAsked(ip("10.8.0.30"));
    rememberHandOver(ip("10.8.0.30"));  // sixteen proven: no room for an answer
    EXPECT_EQ(rememberedPeerNumbered(16), "10.1.0.1");
    loadRememberedPeers("", nullptr);
}

TEST(PeerList, HeardSinceSurvivesTheTickCountWrap) {
    const uint32_t since = tickCount();
    const uint32_t day = 24u * 3600u * 1000u;
    for (uint32_t ago : {1u, 20u * day, 30u * day, 45u * day}) {  // past the signed half
        notePeerHeard(ip("10.7.0.1"), since - ago);
        EXPECT_FALSE(peerHeardSince(ip("10.7.0.1"), since)) << ago / day << " days ago";
    }
    notePeerHeard(ip("10.7.0.1"), since);
    EXPECT_TRUE(peerHeardSince(ip("10.7.0.1"), since));
}

TEST(LookAround, TargetsOfASubnet) {
    const struct {
        const char *local, *mask;
        int round;
        size_t count;
        const char *first, *last;
    } cases[] = {
        {"192.168.1.10", "255.255.255.0", 0, 253, "192.168.1.1", "192.168.1.254"},
        {"10.0.0.1", "255.255.255.252", 0, 1, "10.0.0.2", "10.0.0.2"},
        {"10.0.0.1", "255.255.255.254", 0, 0, nullptr, nullptr},
        {"10.0.0.1", "255.255.255.255", 0, 0, nullptr, nullptr},
        // Larger subnets: one block of 256 a sweep, the own block first.
        {"172.16.9.7", "255.255.0.0", 0, 255, "172.16.9.0", "172.16.9.255"},
        {"172.16.9.7", "255.255.0.0", 1, 256, "172.16.10.0", "172.16.10.255"},
        {"172.16.9.7", "255.255.0.0", 3, 256, "172.16.8.0", "172.16.8.255"},
        {"10.50.0.1", "255.255.252.0", 0, 254, "10.50.0.2", "10.50.0.255"},
        {"10.50.0.1", "255.255.252.0", 3, 255, "10.50.3.0", "10.50.3.254"},
        {"10.60.1.9", "255.255.254.0", 0, 254, "10.60.1.0", "10.60.1.254"},
    };
    for (const auto& c : cases) {
        std::vector<uint32_t> targets = lookAroundTargets(ip(c.local), ip(c.mask), c.round);
        ASSERT_EQ(targets.size(), c.count) << c.local << "/" << c.mask << " round " << c.round;
        for (uint32_t t : targets) EXPECT_NE(t, ip(c.local)) << c.local;
        if (c.count == 0) continue;
        EXPECT_EQ(netDotted(targets.front()), c.first) << c.local << "/" << c.mask << " round " << c.round;
        EXPECT_EQ(netDotted(targets.back()), c.last) << c.local << "/" << c.mask << " round " << c.round;
    }
}

// A copy alone on its network, on a simulated clock ticking once a second from its
// first look-around (3 s after its start): six sweeps in the first hour, not sixty.
TEST(LookAround, SweepsLessOftenWhileNobodyAnswers) {
    LookAroundTimes times;
    std::vector<uint32_t> at;
    auto run = [&](uint32_t from, uint32_t to, uint32_t adapters) {
        for (uint32_t second = from; second < to; ++second)
            if (lookAroundDue(&times, second * 1000, adapters)) at.push_back(second);
    };
    run(3, 3603, 7);
    for (uint32_t second : at) std::printf("sweep at %um%02us\n", second / 60, second % 60);
    EXPECT_EQ(at, (std::vector<uint32_t>{3, 63, 183, 423, 903, 1863}));
    at.clear();
    run(3603, 3603 + 24 * 3600, 7);
    ASSERT_EQ(at.size(), 24u) << "then one an hour";
    EXPECT_EQ(at.back() - at[at.size() - 2], 3600u);
    at.clear();
    const uint32_t changed = 3603 + 24 * 3600;  // an adapter or its address changed
    run(changed, changed + 200, 8);
    EXPECT_EQ(at, (std::vector<uint32_t>{changed, changed + 60, changed + 180}));
}

std::string fakeText(int id) { return "<" + std::to_string(id) + ":%s:%s:%s>"; }

TEST(NetworkCheck, LinesFollowTheOutcomes) {
    NetworkCheck check;
    check.adapters = {
        {"10.0.0.1", "", 0, false}, {"10.9.9.9", "Add membership error 19", 19, false}, {"0.0.0.0", "", 0, false}};
    check.port = 2904;
    check.tcpError = 0;
    check.udpError = -1;
    check.privatePort = 2906;
    check.privateError = 0;
    check.peers = {
        {"10.0.0.2", true, true}, {"10.0.0.3", true, false}, {"10.0.0.4", false, true}, {"10.0.0.5", false, false}};
    auto t = [](int id, std::vector<std::string> values) {
        std::string text = "<" + std::to_string(id);
        for (size_t i = 0; i < 3; ++i) text += ":" + (i < values.size() ? values[i] : "%s");
        return text + ">";
    };
    EXPECT_EQ(networkCheckLines(check, fakeText),
              (List{t(IDS_CHECK_ADAPTERS, {}), "  " + t(IDS_CHECK_ADAPTER_OPEN, {"10.0.0.1"}),
                    "  " + t(IDS_CHECK_ADAPTER_FAILED, {"10.9.9.9", "Add membership error 19"}),
                    t(IDS_CHECK_PORT_OURS, {"TCP", "2904"}),  // UDP: not known, no line
                    t(IDS_CHECK_PORT_OURS, {"TCP", "2906"}), t(IDS_CHECK_PEERS, {}),
                    "  " + t(IDS_CHECK_PEER_BOTH, {"10.0.0.2"}), "  " + t(IDS_CHECK_PEER_UDP, {"10.0.0.3"}),
                    "  " + t(IDS_CHECK_PEER_TCP, {"10.0.0.4"}), "  " + t(IDS_CHECK_PEER_NONE, {"10.0.0.5"})}));
    NetworkCheck empty;
#ifdef _WIN32
    empty.tcpError = 10048;  // WSAEADDRINUSE
#else
    empty.tcpError = 98;  // EADDRINUSE
#endif
    empty.udpError = 0;
    EXPECT_EQ(networkCheckLines(empty, fakeText),
              (List{t(IDS_CHECK_ADAPTERS, {}), "  " + t(IDS_CHECK_NO_ADAPTER, {}),
                    t(IDS_CHECK_PORT_IN_USE, {"TCP", "2904"}), t(IDS_CHECK_PORT_OURS, {"UDP", "2904"}),
                    t(IDS_CHECK_PEERS, {}), "  " + t(IDS_CHECK_NO_PEERS, {})}));
}

// The state file is the Linux peer's; the Windows program keeps the list in the registry.
#ifndef _WIN32
TEST(PeerFile, WritesAndReadsTheStateFile) {
    char folder[] = "/tmp/qv-peerfile.XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string state = std::string(folder) + "/state";
    setenv("XDG_STATE_HOME", state.c_str(), 1);
    const std::string path = peerFilePath();
    EXPECT_EQ(path, state + "/quorvalinthexa/peers");
    EXPECT_EQ(readPeerFile(path), "");  // missing: an empty list
    ASSERT_TRUE(writePeerFile(path, {"10.0.0.2", "10.0.0.3"}));
    EXPECT_EQ(readPeerFile(path), "10.0.0.2\n10.0.0.3\n");
    struct stat info;
    ASSERT_EQ(stat((state + "/quorvalinthexa").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    // An edit that changes nothing leaves the file as it is: same bytes, never written again.
    struct stat before;
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    for (int i = 0; i < 3; ++i) editPeerFile(path, [](const std::string& stored) { return stored; });
    EXPECT_EQ(readPeerFile(path), "10.0.0.2\n10.0.0.3\n");
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_ino, before.st_ino);
    { std::ofstream(path) << std::string(3 * kPeerFileMostBytes, '1'); }
    EXPECT_EQ(readPeerFile(path).size(), kPeerFileMostBytes);
    unlink(path.c_str());
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    EXPECT_EQ(readPeerFile(path), "");  // never blocks on a FIFO
    // A file that cannot be read is never replaced by what was added to nothing.
    EXPECT_EQ(editPeerFile(path, [](const std::string& stored) { return stored + "10.0.0.9"; }), "10.0.0.9");
    ASSERT_EQ(lstat(path.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_FALSE(writePeerFile("/proc/qv-none/peers", {"10.0.0.2"}));
    setenv("XDG_STATE_HOME", "relative", 1);
    setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(peerFilePath(), "/home/someone/.local/state/quorvalinthexa/peers");
    unsetenv("XDG_STATE_HOME");
    system(("rm -rf " + std::string(folder)).c_str());
}

// Two runs of the peer change the file at once: the later change waits for the earlier
// one's lock and lands on its result, so neither is lost.
TEST(PeerFile, AChangeWaitsForAnotherProcessChange) {
    char folder[] = "/tmp/qv-peerlock.XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string path = std::string(folder) + "/peers";
    int holding[2];
    ASSERT_EQ(pipe(holding), 0);
    pid_t child = fork();
    if (child == 0) {
        editPeerFile(path, [&](const std::string& stored) {
            if (write(holding[1], "x", 1) != 1) _exit(1);
            usleep(300000);  // the parent changes the file meanwhile
            return stored + ",10.0.0.7";
        });
        _exit(0);
    }
    char byte = 0;
    ASSERT_EQ(read(holding[0], &byte, 1), 1);  // the child holds the file
    editPeerFile(path, [](const std::string& stored) { return stored + ",10.0.0.8"; });
    waitpid(child, nullptr, 0);
    EXPECT_EQ(parsePeerList(readPeerFile(path)), (List{"10.0.0.7", "10.0.0.8"}));
    system(("rm -rf " + std::string(folder)).c_str());
}
#endif
}  // namespace
