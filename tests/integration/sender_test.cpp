#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "platform/net.h"
#include "recording_port.h"
#include "scratch_folder.h"
#include "selection/selection_list.h"
#include "shell/central_state.h"
#include "transfer/manifest.h"
#include "transfer/receiver.h"
#include "transfer/sender.h"
#include "transfer/stop.h"

namespace {
constexpr uint32_t kLoopback = 0x7f000001;

std::string join(const std::string& a, const std::string& b) { return a + kPathSeparator + b; }

std::string patternBytes(size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 16);
    }
    return bytes;
}

Socket listenOnLoopback(uint16_t* port) {
    Socket s = netTcpSocket();
    EXPECT_EQ(netBind(s, kLoopback, 0), 0);
    EXPECT_EQ(netListen(s, 4), 0);
    *port = netLocalPort(s);
    return s;
}

// The far end of one connection on loopback: keeps every byte, or forwards it to a real
// receiver. onFirstBytes runs once, on its thread, after the first receive and before
// anything more is read, while the sender has at most a few socket buffers' worth ahead.
struct Peer {
    Socket listener = kInvalidSocket;
    uint16_t port = 0;
    std::string bytes;
    bool readNothing = false;        // accept, then read nothing until released
    std::atomic<bool> released{false};
    uint16_t forwardTo = 0;          // a receiver's port, or 0 to keep the bytes
    std::function<void()> onFirstBytes;
    std::thread thread;

    void start() {
        listener = listenOnLoopback(&port);
        thread = std::thread([this] { run(); });
    }
    void run() {
        Socket in = netAccept(listener);
        Socket out = kInvalidSocket;
        if (forwardTo) {
            out = netTcpSocket();
            netConnect(out, kLoopback, forwardTo);
        }
        while (readNothing && !released) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::vector<char> chunk(256 * 1024);
        bool first = true;
        int n;
        while (!readNothing && (n = netRecv(in, chunk.data(), static_cast<int>(chunk.size()))) > 0) {
            if (out != kInvalidSocket) netSendAll(out, chunk.data(), static_cast<size_t>(n));
            else bytes.append(chunk.data(), static_cast<size_t>(n));
            if (first && onFirstBytes) onFirstBytes();
            first = false;
        }
        netClose(out);
        netClose(in);
    }
    void finish() {
        released = true;
        thread.join();
        netClose(listener);
    }
};

// A real receiver on loopback, storing under the recording port's store path.
struct Receiving {
    Socket listener = kInvalidSocket;
    uint16_t port = 0;
    ReceiveResult result = ReceiveResult::TurnedAway;
    std::thread thread;
    void start() {
        listener = listenOnLoopback(&port);
        thread = std::thread([this] { result = receiveConnection(netAccept(listener)); });
    }
    ReceiveResult finish() {
        thread.join();
        netClose(listener);
        return result;
    }
};

bool contains(const std::vector<std::string>& texts, const std::string& text) {
    for (const std::string& t : texts)
        if (t == text) return true;
    return false;
}

std::string lastButtons() {
    std::string last;
    for (const PortCall& c : recordedCalls())
        if (c.what == "idle" || c.what == "transferring") last = c.what;
    return last;
}

class Sender : public ::testing::Test {
protected:
    std::string source, store;
    void SetUp() override {
        netStartup();
        source = makeScratchFolder("send");
        store = makeScratchFolder("store");
        ASSERT_FALSE(source.empty());
        recordingPortReset(store);
        clearSelection();
        cancelRequested = false;
        receiveInProgress = false;
    }
    void TearDown() override {
        removeScratchFolder(source);
        removeScratchFolder(store);
        cancelRequested = false;
    }
    std::string file(const std::string& relative, const std::string& bytes) {
        std::filesystem::path path = std::filesystem::path(source) / std::filesystem::path(relative);
        std::filesystem::create_directories(path.parent_path());
        writeWholeFile(path.make_preferred().string(), bytes);
        return path.string();
    }
    std::string folder(const std::string& relative) {
        std::filesystem::path path = std::filesystem::path(source) / std::filesystem::path(relative);
        std::filesystem::create_directories(path);
        return path.make_preferred().string();
    }
    SendResult send(const std::vector<std::string>& paths, uint16_t port,
                    int stallMilliseconds = kSendStallMilliseconds, const std::string& to = "127.0.0.1") {
        prepareSend();
        for (const std::string& path : paths) addSelectionPathByKind(path);
        analyzeSelection(nullptr, nullptr);
        return runSend(to, port, stallMilliseconds);
    }
};
}  // namespace

// --- The stream as bytes ---

TEST_F(Sender, WorkedExampleGoesOutByteForByte) {
    file("Photos/a.jpg", "abc");
    const std::string n = file("n.txt", "");
    Peer peer;
    peer.start();
    EXPECT_EQ(send({folder("Photos"), n}, peer.port), SendResult::Complete);
    peer.finish();
    EXPECT_EQ(peer.bytes,
              "Version:3.0\nTotal:3"
              "\n\nType:directory\nDirectory:Photos/"
              "\n\nType:file\nSize:3\nName:a.jpg\nDirectory:Photos\\\n\nabc"
              "\n\nType:file\nSize:0\nName:n.txt\nDirectory:/\n\n");
    EXPECT_EQ(recordedStatusTexts(),
              (std::vector<std::string>{"Preparing...", "Connecting...", "Sending", "Transfer complete."}));
    EXPECT_EQ(lastButtons(), "idle");
    EXPECT_EQ(sendSocket.load(), kInvalidSocket);
}

TEST_F(Sender, ALastDirectoryRecordIsClosedByAnEmptyBlock) {
    Peer peer;
    peer.start();
    EXPECT_EQ(send({folder("Empty")}, peer.port), SendResult::Complete);
    peer.finish();
    EXPECT_EQ(peer.bytes, "Version:3.0\nTotal:0\n\nType:directory\nDirectory:Empty/\n\n");
    EXPECT_EQ(lastStatusText(), "Transfer complete.");
}

TEST_F(Sender, ValuesTooLongForTheirFieldsAreLeftOut) {
    const std::string a = file("a.txt", "abc"), b = file("b.txt", "de");
    Peer peer;
    peer.start();
    prepareSend();
    transferManifest.push_back({a, std::string(261, 'n'), "/", 3});
    transferManifest.push_back({b, "b.txt", "/", 2});
    totalSize = 5;
    EXPECT_EQ(runSend("127.0.0.1", peer.port), SendResult::Incomplete);
    peer.finish();
    EXPECT_EQ(peer.bytes, "Version:3.0\nTotal:5\n\nType:file\nSize:2\nName:b.txt\nDirectory:/\n\nde");
    EXPECT_EQ(lastStatusText(), "Some files may not sent.");
}

TEST_F(Sender, ContentWithoutAPositiveTotalKeepsTheBarInRange) {
    const std::string a = file("a.txt", "hello");
    Peer peer;
    peer.start();
    prepareSend();
    transferManifest.push_back({a, "a.txt", "/", 0});  // empty when it was measured
    totalSize = 0;
    EXPECT_EQ(runSend("127.0.0.1", peer.port), SendResult::Incomplete);
    peer.finish();
    EXPECT_EQ(peer.bytes, "Version:3.0\nTotal:0\n\nType:file\nSize:5\nName:a.txt\nDirectory:/\n\nhello");
    for (const PortCall& c : recordedCalls()) {
        if (c.what == "progress") {
            EXPECT_TRUE(c.a >= 0 && c.a <= 100) << c.a;
        }
    }
}

TEST_F(Sender, AReceiverThatStopsReadingEndsTheSendAsIncomplete) {
    const std::string big = file("big.bin", std::string(64 << 20, 'b'));
    Peer peer;
    peer.readNothing = true;
    peer.start();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(send({big}, peer.port, 1000), SendResult::Incomplete);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    peer.finish();
    EXPECT_EQ(lastStatusText(), "Some files may not sent.");
    EXPECT_EQ(lastButtons(), "idle");
}

// --- Before streaming ---

TEST_F(Sender, NothingSelectedShowsTheErrorBoxAndConnectsNowhere) {
    EXPECT_EQ(send({}, 1), SendResult::NothingSelected);
    EXPECT_EQ(recordedErrors(), std::vector<std::string>{"You have to choose files or directories."});
    EXPECT_EQ(lastButtons(), "idle");
}

TEST_F(Sender, CancelInTheAnalysisSendsNothingAndLeavesTheButtons) {
    prepareSend();
    cancelRequested = true;  // the analysis dialog's Cancel
    EXPECT_EQ(runSend("127.0.0.1", 1), SendResult::Cancelled);
    EXPECT_EQ(recordedStatusTexts(), std::vector<std::string>{"Preparing..."});
    EXPECT_EQ(lastButtons(), "");
}

TEST_F(Sender, ARefusedConnectionShowsConnectError) {
    uint16_t port = 0;
    netClose(listenOnLoopback(&port));  // a port where nobody listens any more
    EXPECT_EQ(send({file("a.txt", "a")}, port), SendResult::ConnectError);
    ASSERT_EQ(recordedErrors().size(), 1u);
    const std::string error = recordedErrors()[0];
    EXPECT_EQ(error.rfind("Connect error ", 0), 0u) << error;
    EXPECT_EQ(error.back(), '\n');
    EXPECT_EQ(lastButtons(), "idle");
    EXPECT_EQ(sendSocket.load(), kInvalidSocket);
}

TEST_F(Sender, AnAddressThatIsNeitherDottedNorANameShowsInvalidAddress) {
    // The resolver refuses a name with a space or "!" itself, without asking any server.
    EXPECT_EQ(send({file("a.txt", "a")}, 1, kSendStallMilliseconds, "bad host!"), SendResult::InvalidAddress);
    EXPECT_EQ(recordedErrors(), std::vector<std::string>{"Invalid address bad host!\n"});
    EXPECT_EQ(lastButtons(), "idle");
    EXPECT_EQ(sendSocket.load(), kInvalidSocket);
}

// --- Sender to receiver ---

TEST_F(Sender, ATreeArrivesByteIdentical) {
    const std::string photos = folder("Photos");
    file("Photos/2010/a.jpg", patternBytes(3000, 1));
    file("Photos/2010/big.bin", patternBytes((3 << 20) + 17, 2));  // spans several buffers
    folder("Photos/empty");
    file("Photos/Notes/x.txt", "x");
    file("my.photos/b.txt", patternBytes(20480, 3));
    for (int i = 0; i < 50; ++i) file("Many/f" + std::to_string(i), patternBytes(100 + i, 10 + i));
    const std::string n = file("n.txt", "");
    Receiving receiving;
    receiving.start();
    EXPECT_EQ(send({photos, folder("my.photos"), folder("Many"), n}, receiving.port), SendResult::Complete);
    EXPECT_EQ(receiving.finish(), ReceiveResult::Complete);
    EXPECT_EQ(listTree(store), listTree(source));
    EXPECT_EQ(readWholeFile(join(join(join(store, "Photos"), "2010"), "big.bin")), patternBytes((3 << 20) + 17, 2));
    EXPECT_EQ(readWholeFile(join(join(store, "Many"), "f49")), patternBytes(149, 59));
    const std::vector<std::string> texts = recordedStatusTexts();
    EXPECT_TRUE(contains(texts, "Transfer complete."));
    EXPECT_TRUE(contains(texts, "Receiving complete."));
}

TEST_F(Sender, AFileThatGrowsWhileItIsReadIsCutAtItsAnnouncedSize) {
    const std::string grows = file("grows.bin", std::string(64 << 20, 'g'));
    const std::string after = file("after.txt", "still in step");
    Receiving receiving;
    receiving.start();
    Peer relay;
    relay.forwardTo = receiving.port;
    relay.onFirstBytes = [&] { writeWholeFile(grows, std::string((64 << 20) + 4096, 'h')); };
    relay.start();
    EXPECT_EQ(send({grows, after}, relay.port), SendResult::Incomplete);
    relay.finish();
    receiving.finish();
    EXPECT_EQ(readWholeFile(join(store, "after.txt")), "still in step");  // the receiver kept in step
    EXPECT_EQ(measureFileSize(join(store, "grows.bin")), int64_t(64) << 20);
    EXPECT_TRUE(contains(recordedStatusTexts(), "Some files may not sent."));
}

TEST_F(Sender, AFileThatShrinksWhileItIsReadEndsTheConnectionThere) {
    const std::string shrinks = file("shrinks.bin", std::string(64 << 20, 's'));
    const std::string after = file("after.txt", "never sent");
    Receiving receiving;
    receiving.start();
    Peer relay;
    relay.forwardTo = receiving.port;
    relay.onFirstBytes = [&] { std::filesystem::resize_file(shrinks, 32 << 20); };
    relay.start();
    EXPECT_EQ(send({shrinks, after}, relay.port), SendResult::Incomplete);
    relay.finish();
    EXPECT_EQ(receiving.finish(), ReceiveResult::Incomplete);
    EXPECT_EQ(measureFileSize(join(store, "shrinks.bin")), int64_t(32) << 20);
    EXPECT_FALSE(pathExists(join(store, "after.txt")));
    const std::vector<std::string> texts = recordedStatusTexts();
    EXPECT_TRUE(contains(texts, "Some files may not sent."));
    EXPECT_TRUE(contains(texts, "Some files were not received."));
}

TEST_F(Sender, StopMidTransferLeavesCanceledAndIdleButtons) {
    const std::string big = file("big.bin", std::string(64 << 20, 'z'));
    Receiving receiving;
    receiving.start();
    Peer relay;
    relay.forwardTo = receiving.port;
    relay.onFirstBytes = [] {
        // The receiver clears cancelRequested when it admits the connection: Stop after that.
        for (int i = 0; i < 500 && receiveSocket.load() == kInvalidSocket; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        stopTransfers();
    };
    relay.start();
    EXPECT_EQ(send({big}, relay.port), SendResult::Cancelled);
    relay.finish();
    EXPECT_EQ(receiving.finish(), ReceiveResult::Cancelled);
    EXPECT_EQ(lastStatusText(), "Canceled.");
    EXPECT_EQ(lastButtons(), "idle");
    EXPECT_FALSE(contains(recordedStatusTexts(), "Some files may not sent."));
    EXPECT_EQ(sendSocket.load(), kInvalidSocket);
}
