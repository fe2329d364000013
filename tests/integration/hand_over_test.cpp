// The address hand-over towards a peer that answers late: it waits as long as a plain
// connect would, so a peer reached on a retried SYN still learns the address.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "discovery/hand_over.h"
#include "platform/net.h"
#include "recording_port.h"

namespace {
constexpr uint32_t kLoopback = 0x7f000001;
}

TEST(HandOverToALatePeer, ConnectAnsweredAfterSecondsStillHandsOver) {
    // A listener whose accept queue is full drops new SYNs, as a lossy link would; the
    // hand-over's SYN is sent again after 1, 3 and 7 seconds. Room is made after 4 s.
    netStartup();
    Socket listener = netTcpSocket();
    ASSERT_EQ(netBind(listener, kLoopback, 0), 0);
    ASSERT_EQ(netListen(listener, 0), 0);
    uint16_t port = netLocalPort(listener);
    std::vector<Socket> queued;
    for (int i = 0; i < 8; ++i) {
        Socket s = netTcpSocket();
        if (netConnectWithTimeout(s, kLoopback, port, 300) != 0) {
            netClose(s);
            break;
        }
        queued.push_back(s);
    }
    if (queued.size() == 8) {
        for (Socket s : queued) netClose(s);
        netClose(listener);
        GTEST_SKIP() << "the accept queue never filled";
    }
    recordingPortReset("", "192.168.1.20", "");
    forgetHandOverFailures();
    int result = 1;
    std::thread handOver([&] { result = handOverAddress("127.0.0.1", true, port); });
    std::this_thread::sleep_for(std::chrono::seconds(4));
    for (Socket s : queued) netClose(s);
    for (size_t i = 0; i < queued.size(); ++i) netClose(netAccept(listener));
    handOver.join();
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(recordedErrors().empty()) << recordedErrors()[0];
    if (result == 0) {
        Socket c = netAccept(listener);  // queued once the SYN got through
        netSetReceiveTimeout(c, 3000);
        EXPECT_EQ(readHandedOverAddress(c), "192.168.1.20");
        netClose(c);
    }
    netClose(listener);
    forgetHandOverFailures();
}

TEST(HandOverFailures, OneBoxAtATime) {
    // Three peers that refuse at once, while the first box is still open: the others are
    // only printed, so a flood of dead sources cannot stack a box on each hand-over thread.
    netStartup();
    Socket closed = netTcpSocket();
    ASSERT_EQ(netBind(closed, kLoopback, 0), 0);
    uint16_t port = netLocalPort(closed);  // bound, never listening: connects are refused
    recordingPortReset("", "192.168.1.20", "");
    forgetHandOverFailures();
    recordingPortHold("error");
    for (uint32_t peer = kLoopback + 1; peer <= kLoopback + 3; ++peer) queueHandOver(peer, false, port);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_EQ(recordedErrors().size(), 1u);
    recordingPortRelease();
    netClose(closed);
    forgetHandOverFailures();
}
