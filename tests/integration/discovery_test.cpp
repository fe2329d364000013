// Discovery on loopback: a real discovery socket and receive thread on 127.0.0.1 with a
// test group and free ports, fed by a test socket, answering to a loopback listener.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/central_state.h"
#include "discovery/discovery.h"
#include "discovery/hand_over.h"
#include "platform/multicast.h"
#include "platform/net.h"
#include "recording_port.h"
#include "transfer/protocol.h"

namespace {
constexpr uint32_t kLoopback = 0x7f000001;
constexpr uint32_t kTestGroup = 0xEF7B7EC8;  // 239.123.126.200, not the program's group
constexpr int kOurNumber = 5000;
const std::string kOwn = "192.168.1.20";

void pause(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

uint16_t freeUdpPort() {
    Socket s = netUdpSocket();
    netBind(s, 0, 0);
    uint16_t port = netLocalPort(s);
    netClose(s);
    return port;
}

// A loopback TCP port nobody listens on.
uint16_t closedTcpPort() {
    Socket s = netTcpSocket();
    netBind(s, kLoopback, 0);
    uint16_t port = netLocalPort(s);
    netClose(s);
    return port;
}

// Keeps the bytes of every connection made to it, each until the peer closes.
struct StreamCatcher {
    Socket listener = kInvalidSocket;
    uint16_t port = 0;
    std::mutex lock;
    std::vector<std::string> streams;
    std::thread thread;

    void start() {
        listener = netTcpSocket();
        netBind(listener, kLoopback, 0);
        netListen(listener, 32);
        port = netLocalPort(listener);
        thread = std::thread([this] {
            for (;;) {
                Socket c = netAccept(listener);
                if (c == kInvalidSocket) return;
                netSetReceiveTimeout(c, 3000);
                std::string bytes;
                char buffer[256];
                int n;
                while ((n = netRecv(c, buffer, sizeof buffer)) > 0) bytes.append(buffer, static_cast<size_t>(n));
                netClose(c);
                std::lock_guard<std::mutex> guard(lock);
                streams.push_back(bytes);
            }
        });
    }
    void stop() {
        netShutdown(listener);
        netClose(listener);
        thread.join();
    }
    std::vector<std::string> caught() {
        std::lock_guard<std::mutex> guard(lock);
        return streams;
    }
    // Waits until count streams have arrived (or a few seconds have passed).
    std::vector<std::string> waitFor(size_t count) {
        for (int waited = 0; caught().size() < count && waited < 5000; waited += 10) pause(10);
        return caught();
    }
};

void sendToGroup(const std::string& bytes, uint16_t port) {
    Socket s = netUdpSocket();
    netSetMulticastInterface(s, kLoopback);
    netSetMulticastLoop(s, true);
    netSendTo(s, bytes.data(), static_cast<int>(bytes.size()), kTestGroup, port);
    netClose(s);
}

std::string record(const std::string& own, bool replace) { return addressHandOverBytes(own, replace); }

// Whether a socket set up like a discovery socket on 127.0.0.1 hears the group there.
// Under Wine the Windows binding (to the adapter's address) lands on Linux as a bind to
// 127.0.0.1, which hears no multicast; real adapters are rebound there, loopback is not.
bool loopbackMulticastWorks() {
    static const bool works = [] {
        uint16_t port = freeUdpPort();
        Socket s = netUdpSocket();
        netSetReuseAddress(s);
        bool ready = netBindForGroup(s, kTestGroup, kLoopback, port) == 0 &&
                     netJoinGroup(s, kTestGroup, kLoopback) == 0;
        netSetReceiveTimeout(s, 1000);
        sendToGroup("probe", port);
        char bytes[8];
        uint32_t from;
        bool heard = ready && netRecvFrom(s, bytes, sizeof bytes, &from) == 5;
        netClose(s);
        return heard;
    }();
    return works;
}

class DiscoveryLoopTest : public ::testing::Test {
  protected:
    StreamCatcher catcher;
    DiscoverySettings settings;

    void SetUp() override {
        netStartup();
        recordingPortReset("", kOwn, "");
        forgetHandOverFailures();
        instanceNumber = kOurNumber;
        catcher.start();
        settings.group = kTestGroup;
        settings.port = freeUdpPort();
        settings.handOverPort = catcher.port;
        ASSERT_EQ(startDiscoveryOn({"127.0.0.1"}, settings), 1);
    }
    void TearDown() override {
        stopDiscovery();
        if (catcher.thread.joinable()) catcher.stop();
    }
    // To the group where loopback multicast works; else (under Wine) straight to the
    // socket bound to 127.0.0.1, which still runs the whole receive loop.
    void send(const std::string& bytes) {
        if (loopbackMulticastWorks()) {
            sendToGroup(bytes, settings.port);
            return;
        }
        Socket s = netUdpSocket();
        netSendTo(s, bytes.data(), static_cast<int>(bytes.size()), kLoopback, settings.port);
        netClose(s);
    }
};
}  // namespace

TEST_F(DiscoveryLoopTest, NotifyFillsAnEmptyRecipientAndHandsOverWithFlags0) {
    send(discoveryDatagram("notify", 777));
    std::vector<std::string> streams = catcher.waitFor(1);
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(streams[0], "Version:3.0\n\nType:ip\nSize:12\nFlags:0\n\n192.168.1.20\n\n");
    EXPECT_EQ(recordedRecipient(), "127.0.0.1");
}

TEST_F(DiscoveryLoopTest, NotifyLeavesAKnownRecipientRequestReplacesIt) {
    recordingPortReset("", "", "10.0.0.7");  // no own address: the record carries Size 0
    send(discoveryDatagram("notify", 777));
    ASSERT_EQ(catcher.waitFor(1).size(), 1u);
    EXPECT_EQ(recordedRecipient(), "10.0.0.7");
    send(discoveryDatagram("request", 778));
    std::vector<std::string> streams = catcher.waitFor(2);
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0], "Version:3.0\n\nType:ip\nSize:0\nFlags:0\n\n\n\n");
    EXPECT_EQ(streams[1], "Version:3.0\n\nType:ip\nSize:0\nFlags:1\n\n\n\n");
    EXPECT_EQ(recordedRecipient(), "127.0.0.1");
}

TEST_F(DiscoveryLoopTest, OwnAndMalformedDatagramsAreIgnored) {
    send(discoveryDatagram("notify", kOurNumber));          // our own, looped back
    send(" quorvalinthexa         notify000000000000031");  // tag case
    send(" Quorvalinthexa         notify000000000000000");  // number 0
    send(" Quorvalinthexa         notify-00000000000031");  // negative
    send(" Quorvalinthexa          hello000000000000031");  // other kind
    send(discoveryDatagram("request", 31).substr(0, 20));   // 20 bytes
    send(std::string());                                    // empty
    send(discoveryDatagram("notify", 32));                  // the only valid one
    std::vector<std::string> streams = catcher.waitFor(1);
    pause(300);  // the loop is sequential: anything before the valid one is done by now
    EXPECT_EQ(catcher.caught().size(), 1u);
    EXPECT_EQ(recordedRecipient(), "127.0.0.1");
}

TEST_F(DiscoveryLoopTest, OverLongDatagramDoesNotEndTheLoop) {
    // Cut to its first 45 bytes, which here make a valid request.
    send(discoveryDatagram("request", 41) + std::string(955, 'x'));
    send(std::string(1000, '7'));
    send(discoveryDatagram("notify", 42));
    std::vector<std::string> streams = catcher.waitFor(2);
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0], record(kOwn, true));
    EXPECT_EQ(streams[1], record(kOwn, false));
}

TEST_F(DiscoveryLoopTest, SendsExactDatagramsToTheGroupAndIgnoresItsOwn) {
    if (!loopbackMulticastWorks()) GTEST_SKIP() << "multicast on 127.0.0.1 does not reach a discovery socket here";
    Socket listener = netUdpSocket();
    ASSERT_EQ(netSetReuseAddress(listener), 0);
    ASSERT_EQ(netBindForGroup(listener, kTestGroup, kLoopback, settings.port), 0);
    ASSERT_EQ(netJoinGroup(listener, kTestGroup, kLoopback), 0);
    netSetReceiveTimeout(listener, 3000);

    sendDiscoveryDatagram("request");
    char bytes[100];
    uint32_t from = 0;
    int n = netRecvFrom(listener, bytes, sizeof bytes, &from);
    ASSERT_EQ(n, 45);
    EXPECT_EQ(std::string(bytes, 45), discoveryDatagram("request", kOurNumber));
    EXPECT_EQ(from, kLoopback);  // the adapter's address: where peers hand over to

    EXPECT_FALSE(discoveryTick());  // no recipient yet: announces
    n = netRecvFrom(listener, bytes, sizeof bytes, &from);
    ASSERT_EQ(n, 45);
    EXPECT_EQ(std::string(bytes, 45), discoveryDatagram("notify", kOurNumber));
    netClose(listener);

    pause(400);  // discovery's own socket heard both too, and must not answer itself
    EXPECT_TRUE(catcher.caught().empty());
    EXPECT_EQ(recordedRecipient(), "");
}

TEST_F(DiscoveryLoopTest, EveryDistinctAskIsAnsweredARepeatedOneOnceAndASourceWithinItsShare) {
    // All within half a second: two copies behind one address ask apart; the same datagram
    // heard twice is one ask; past four asks of one source nothing more is answered.
    const std::pair<const char*, int> asks[] = {{"notify", 61},  {"notify", 61}, {"notify", 62},
                                                {"request", 62}, {"notify", 63}, {"notify", 64}};
    for (const auto& ask : asks) send(discoveryDatagram(ask.first, ask.second));
    catcher.waitFor(4);
    pause(500);  // a fifth would have come by now
    EXPECT_EQ(catcher.caught().size(), 4u);
}

TEST_F(DiscoveryLoopTest, DatagramsThatDifferInTheirBytesAreTwoAsksThoughTheirNumberReadsTheSame) {
    // The number field read as atoi does gives 81 for all three; only the repeat of the
    // very same bytes is one ask.
    const std::string head = discoveryDatagram("notify", 81).substr(0, 30);
    for (const char* number : {"000000000081abc", "             81", "000000000081abc"}) send(head + number);
    catcher.waitFor(2);
    pause(500);  // a third would have come by now
    EXPECT_EQ(catcher.caught().size(), 2u);
}

std::atomic<int> heardCopies{0};
void countCopy(DiscoveryAsk, const std::string&) { ++heardCopies; }

TEST_F(DiscoveryLoopTest, EveryAdapterHearsEvenWhenTheTableGrewButOneDatagramIsAnsweredOnce) {
    // Twenty adapters with the same address: each gets a socket and a thread, appended
    // while the earlier threads already receive; each hears the one datagram, and the
    // peer gets one hand-over for it, not twenty.
    if (!loopbackMulticastWorks()) GTEST_SKIP() << "one unicast datagram reaches only one of the sockets";
    stopDiscovery();
    heardCopies = 0;
    settings.observer = countCopy;
    ASSERT_EQ(startDiscoveryOn(std::vector<std::string>(20, "127.0.0.1"), settings), 20);
    send(discoveryDatagram("notify", 71));
    for (int waited = 0; heardCopies < 20 && waited < 5000; waited += 10) pause(10);
    EXPECT_EQ(heardCopies, 20);
    pause(300);
    std::vector<std::string> streams = catcher.caught();
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(streams[0], record(kOwn, false));
}

TEST_F(DiscoveryLoopTest, StopEndsTheReceiveThreads) {
    EXPECT_EQ(discoverySocketCount(), 1);
    auto started = std::chrono::steady_clock::now();
    stopDiscovery();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(1500));
    EXPECT_EQ(discoverySocketCount(), 0);
    send(discoveryDatagram("request", 51));
    pause(400);
    EXPECT_TRUE(catcher.caught().empty());
    sendDiscoveryDatagram("notify");  // nothing left to send on: no crash
}

// A searching peer whose listener cannot be reached sends "notify" every second: one box
// for it, not one per datagram.
TEST(DiscoveryHandOverTest, ErrorBoxOncePerPeerAddressThenOnlyPrinted) {
    netStartup();
    recordingPortReset("", kOwn, "");
    forgetHandOverFailures();
    uint16_t port = closedTcpPort();
    EXPECT_EQ(handOverAddress("127.0.0.1", false, port), -1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(handOverAddress("127.0.0.1", true, port), -1);
    std::string printed = testing::internal::GetCapturedStdout();
    ASSERT_EQ(recordedErrors().size(), 1u);
    EXPECT_EQ(printed, recordedErrors()[0]);  // the same text, "Connect error %d\n"
    EXPECT_EQ(printed.back(), '\n');
    // Another peer gets its own first box.
    EXPECT_EQ(handOverAddress("127.0.0.2", false, port), -1);
    EXPECT_EQ(recordedErrors().size(), 2u);
    forgetHandOverFailures();
}

namespace {
// Feeds raw bytes over loopback into readHandedOverAddress; with a pause, byte by byte.
std::string readAddressFrom(const std::string& bytes, int pauseMilliseconds = 0) {
    Socket listener = netTcpSocket();
    netBind(listener, kLoopback, 0);
    netListen(listener, 1);
    std::thread writer([&] {
        Socket s = netTcpSocket();
        netConnect(s, kLoopback, netLocalPort(listener));
        if (pauseMilliseconds == 0) netSendAll(s, bytes.data(), bytes.size());
        for (size_t i = 0; pauseMilliseconds > 0 && i < bytes.size(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(pauseMilliseconds));
            if (!netSendAll(s, &bytes[i], 1)) break;
        }
        netClose(s);
    });
    Socket c = netAccept(listener);
    netSetReceiveTimeout(c, 3000);
    std::string address = readHandedOverAddress(c);
    netClose(c);
    writer.join();
    netClose(listener);
    return address;
}
}  // namespace

TEST(DiscoveryHandOverTest, ReadingSideTakesOnlyAPlainDottedAddress) {
    netStartup();
    EXPECT_EQ(readAddressFrom(addressHandOverBytes("10.20.30.40", false)), "10.20.30.40");
    // Terminal control bytes, short and long sizes, other versions and transfers: nothing.
    EXPECT_EQ(readAddressFrom("Version:3.0\n\nType:ip\nSize:15\nFlags:1\n\n1.2.3.4\x1b[2J12\n\n"), "");
    EXPECT_EQ(readAddressFrom("Version:3.0\n\nType:ip\nSize:6\nFlags:1\n\n1.2.3.\n\n"), "");
    EXPECT_EQ(readAddressFrom("Version:3.0\n\nType:ip\nSize:16\nFlags:1\n\n10.20.30.40.500\n\n"), "");
    EXPECT_EQ(readAddressFrom("Version:2.0\n\nType:ip\nSize:11\nFlags:1\n\n10.20.30.40\n\n"), "");
    EXPECT_EQ(readAddressFrom(transferHeaderBytes(0) + directoryRecordBytes("a/") + "\n\n"), "");
    EXPECT_EQ(readAddressFrom("Version:3.0\n\nType:ip\nSize:11\nFlags:1\n\n10.20"), "");  // cut short
    EXPECT_EQ(readAddressFrom("Version:3.0\n\nType:ip\nSize:11\nFlags:1\n\n010.20.30.4\n\n"), "");
    // Trickled a byte at a time past the read's limit: nothing, as a cut record.
    std::string record = addressHandOverBytes("10.20.30.40", false);
    EXPECT_EQ(readAddressFrom(record, 2 * kHandedOverReadMilliseconds / static_cast<int>(record.size())), "");
}

#ifndef _WIN32
TEST(DiscoveryHandOverTest, ConnectToASilentPeerIsBounded) {
    // A listener whose accept queue is full drops new connection attempts, so a connect
    // to it hangs like one to a vanished host, but the traffic stays on loopback.
    Socket listener = netTcpSocket();
    netBind(listener, kLoopback, 0);
    netListen(listener, 0);
    uint16_t port = netLocalPort(listener);
    std::vector<Socket> fillers;
    bool full = false;
    for (int i = 0; i < 8 && !full; ++i) {
        Socket s = netTcpSocket();
        full = netConnectWithTimeout(s, kLoopback, port, 300) != 0;
        fillers.push_back(s);
    }
    if (!full) {
        for (Socket s : fillers) netClose(s);
        netClose(listener);
        GTEST_SKIP() << "the accept queue never filled";
    }
    recordingPortReset("", kOwn, "");
    forgetHandOverFailures();
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(handOverAddress("127.0.0.1", false, port), -1);
    auto took = std::chrono::steady_clock::now() - started;
    EXPECT_LT(took, std::chrono::milliseconds(kHandOverTimeoutMilliseconds + 1500));
    ASSERT_EQ(recordedErrors().size(), 1u);
    EXPECT_EQ(recordedErrors()[0].rfind("Connect error ", 0), 0u);
    for (Socket s : fillers) netClose(s);
    netClose(listener);
    forgetHandOverFailures();
}
#endif
