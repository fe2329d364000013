#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/central_state.h"
#include "platform/files.h"
#include "platform/net.h"
#include "recording_port.h"
#include "scratch_folder.h"
#include "selection/selection_list.h"
#include "transfer/manifest.h"
#include "transfer/receiver.h"
#include "send/sender.h"
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
// receiver. onFirstBytes runs once, on its thread, after the receive that brings what the
// peer has taken to firstBytesAt bytes and before anything more is read, while the sender
// has at most a few socket buffers' worth ahead. (The sender's header goes out as soon as
// it is connected, before any file is opened: a test that changes a file while it is
// being read waits for some of its content.)
// A peer that reads nothing starts reading once released, and takes what the sender's
// connection had taken.
struct Peer {
    // How the peer ends: after the sender's last byte, or before it.
    enum Ending { kReadAllThenClose, kCloseAtOnce, kResetAtOnce, kCloseAfterFirstBytes, kReadAllKeepOpen };
    Socket listener = kInvalidSocket;
    uint16_t port = 0;
    std::string bytes;
    Ending ending = kReadAllThenClose;
    bool readNothing = false;  // accept, then read nothing until released
    std::atomic<bool> released{false};
    uint16_t forwardTo = 0;  // a receiver's port, or 0 to keep the bytes
    std::function<void()> onFirstBytes;
    size_t firstBytesAt = 1;
    std::thread thread;

    void start() {
        listener = listenOnLoopback(&port);
        thread = std::thread([this] { run(); });
    }
    void run() {
        Socket in = netAccept(listener);
        if (ending == kCloseAtOnce) return netClose(in);
        if (ending == kResetAtOnce) return netCloseAbortive(in);
        Socket out = kInvalidSocket;
        if (forwardTo) {
            out = netTcpSocket();
            netConnect(out, kLoopback, forwardTo);
        }
        while (readNothing && !released) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::vector<char> chunk(ending == kCloseAfterFirstBytes ? 16 : 256 * 1024);
        bool first = true;
        size_t taken = 0;
        int n;
        while ((n = netRecv(in, chunk.data(), static_cast<int>(chunk.size()))) > 0) {
            if (out != kInvalidSocket) netSendAll(out, chunk.data(), static_cast<size_t>(n));
            else bytes.append(chunk.data(), static_cast<size_t>(n));
            taken += static_cast<size_t>(n);
            if (first && taken >= firstBytesAt && onFirstBytes) onFirstBytes();
            first = first && taken < firstBytesAt;
            if (ending == kCloseAfterFirstBytes) break;  // closed with bytes unread: a reset
        }
        while (ending == kReadAllKeepOpen && !released) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        netClose(out);
        netClose(in);
    }
    void finish() {
        released = true;
        thread.join();
        netClose(listener);
    }
    // The content bytes that followed the first file record's header.
    size_t firstFileContent() const {
        const size_t header = bytes.find("\nDirectory:/\n\n");
        return header == std::string::npos ? 0 : bytes.size() - (header + 14);
    }
};

// Lets a peer's accept return when the sender never connected (a send stopped before).
void pokePeer(uint16_t port) {
    const Socket s = netTcpSocket();
    netConnect(s, kLoopback, port);
    netClose(s);
}

// Starts a reception on a real receiver and hands its connection back, once the
// reception has been admitted.
Socket startReception(uint16_t port, const std::string& header) {
    const Socket s = netTcpSocket();
    EXPECT_EQ(netConnect(s, kLoopback, port), 0);
    netSendAll(s, header.data(), header.size());
    for (int i = 0; i < 500 && receiveSocket.load() == kInvalidSocket; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_NE(receiveSocket.load(), kInvalidSocket);
    return s;
}

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

// A peer's ending, what the sender must make of it, and how often to try.
struct Ending {
    Peer::Ending ending;
    SendResult expected;
    int rounds;
};

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
        sendCancelRequested = false;
        receiveInProgress = false;
    }
    void TearDown() override {
        recordingPortReset();
        removeScratchFolder(source);
        removeScratchFolder(store);
        cancelRequested = false;
        sendCancelRequested = false;
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
    void expectEndings(const std::vector<Ending>& cases);
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
    EXPECT_EQ(peer.bytes, "Version:3.0\nTotal:3"
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

TEST_F(Sender, AReceiverThatStopsReadingEndsTheSendAsNotTaken) {
    const std::string big = file("big.bin", std::string(64 << 20, 'b'));
    Peer peer;
    peer.readNothing = true;
    peer.start();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(send({big}, peer.port, 1000), SendResult::NotTaken);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    const int64_t counted = sendProgress().sent;
    peer.finish();
    EXPECT_LE(counted, static_cast<int64_t>(peer.firstFileContent()));  // only what the connection took
    EXPECT_EQ(lastStatusText(), "Some files may not sent.");
    EXPECT_EQ(lastButtons(), "idle");
}

// "Transfer complete." only when the receiver read to the end and closed in order. Any
// other ending says the transfer did not arrive, whichever reaches the sender first: the
// receiver's close, or the reset that our bytes arriving after it cause.
void Sender::expectEndings(const std::vector<Ending>& cases) {
    const std::string a = file("a.txt", patternBytes(3000, 7));
    for (const Ending& c : cases) {
        int wrong = 0;
        for (int round = 0; round < c.rounds; ++round) {
            recordingPortReset(store);
            Peer peer;
            peer.ending = c.ending;
            peer.start();
            const SendResult got = send({a}, peer.port, c.ending == Peer::kReadAllKeepOpen ? 300 : 10000);
            peer.finish();
            const char* text = c.expected == SendResult::Complete ? "Transfer complete." : "Some files may not sent.";
            if (got != c.expected || lastStatusText() != text || lastButtons() != "idle") ++wrong;
        }
        EXPECT_EQ(wrong, 0) << "ending " << c.ending;
    }
}

TEST_F(Sender, CompleteOnlyWhenTheReceiverTookEveryByteAndClosedInOrder) {
    expectEndings({{Peer::kReadAllThenClose, SendResult::Complete, 100},
                   {Peer::kResetAtOnce, SendResult::NotTaken, 100},
                   {Peer::kCloseAtOnce, SendResult::NotTaken, 100},  // often before our bytes arrive
                   {Peer::kCloseAfterFirstBytes, SendResult::NotTaken, 20},
                   {Peer::kReadAllKeepOpen, SendResult::NotTaken, 2}});  // until the stall limit
}

namespace {
std::vector<int64_t> sentAtProgress;
void noteSent(const PortCall& call) {
    if (call.what == "progress" && call.a > 0) sentAtProgress.push_back(sendProgress().sent);
}
}  // namespace

TEST_F(Sender, ProgressMovesWithEachPieceTheConnectionTakes) {
    const int64_t size = (4 << 20) + 17;  // a percent is less than a piece: one update per piece
    const std::string big = file("big.bin", std::string(static_cast<size_t>(size), 'p'));
    Peer peer;
    peer.start();
    sentAtProgress.clear();
    recordingPortBeforeCall(noteSent);
    EXPECT_EQ(send({big}, peer.port), SendResult::Complete);
    peer.finish();
    ASSERT_FALSE(sentAtProgress.empty());
    EXPECT_EQ(sentAtProgress.back(), size);
    int64_t before = 0;
    for (int64_t sent : sentAtProgress) {
        EXPECT_LE(sent - before, 64 * 1024);
        before = sent;
    }
}

// More folder records than the send buffer holds go out before the first file: the bar
// shows nothing of the send before (whose progress was 100) while they do.
TEST_F(Sender, FolderRecordsBeforeTheFirstFileShowNoOldProgress) {
    Peer first;
    first.start();
    ASSERT_EQ(send({file("a.txt", "abc")}, first.port), SendResult::Complete);
    first.finish();
    recordingPortReset(store);
    Peer peer;
    peer.start();
    prepareSend();
    for (int i = 0; i < 40000; ++i) directoryList.push_back("folder" + std::to_string(i));  // over 1 MiB
    totalSize = 1;  // a file that is announced but no longer there: no final 100 either
    EXPECT_EQ(runSend("127.0.0.1", peer.port), SendResult::Incomplete);
    peer.finish();
    for (const PortCall& c : recordedCalls()) EXPECT_FALSE(c.what == "progress" && c.a > 0) << c.a;
}

// --- Before streaming ---

TEST_F(Sender, NothingSelectedShowsTheErrorBoxAndConnectsNowhere) {
    EXPECT_EQ(send({}, 1), SendResult::NothingSelected);
    EXPECT_EQ(recordedErrors(), std::vector<std::string>{"You have to choose files or directories."});
    EXPECT_EQ(lastButtons(), "idle");
}

TEST_F(Sender, CancelInTheAnalysisSendsNothingAndLeavesTheButtons) {
    prepareSend();
    sendCancelRequested = true;  // the analysis dialog's Cancel
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
    // Appended to, never truncated: a rewrite would be read as a file that shrank first.
    relay.onFirstBytes = [&] { std::ofstream(grows, std::ios::binary | std::ios::app) << std::string(4096, 'h'); };
    relay.firstBytesAt = 1 << 20;  // the file is open and being read
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
    relay.firstBytesAt = 1 << 20;  // the file is open and being read
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
        // A reception clears its cancel flag when it starts: Stop after that.
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

namespace {
const char* stopAtCall = "";  // "progress", or the status text at which Stop comes
std::atomic<bool> stopped{false};
void stopAt(const PortCall& call) {
    const bool at = call.what == "progress" ? call.a > 0 && !strcmp(stopAtCall, "progress") : call.text == stopAtCall;
    if (at && !stopped.exchange(true)) stopTransfers();
}
}  // namespace

// Stop comes at the very moment the sender writes: Stop's texts still stay.
TEST_F(Sender, CanceledStaysWhateverTheSenderWritesAsStopComes) {
    const std::string big = file("big.bin", std::string((1 << 20) + 1, 'c'));
    const std::pair<const char*, SendResult> moments[] = {
        {"Connecting...", SendResult::Cancelled},
        {"Sending", SendResult::Cancelled},
        {"progress", SendResult::Cancelled},
        {"Transfer complete.", SendResult::Complete},
    };
    for (const auto& moment : moments) {
        SCOPED_TRACE(moment.first);
        Peer peer;
        peer.start();
        recordingPortReset(store);
        stopAtCall = moment.first;
        stopped = false;
        recordingPortBeforeCall(stopAt);
        EXPECT_EQ(send({big}, peer.port), moment.second);
        pokePeer(peer.port);
        peer.finish();
        EXPECT_TRUE(stopped);
        EXPECT_EQ(lastStatusText(), "Canceled.");
        int bar = -1;
        for (const PortCall& c : recordedCalls())
            if (c.what == "progress") bar = c.a;
        EXPECT_EQ(bar, 0);
        EXPECT_EQ(lastButtons(), "idle");
        EXPECT_TRUE(recordedErrors().empty());
    }
}

TEST_F(Sender, EachCancelCancelsItsOwnWork) {
    // A reception that starts and ends during the analysis leaves its Cancel in force.
    {
        Receiving receiving;
        receiving.start();
        prepareSend();
        sendCancelRequested = true;  // the analysis dialog's Cancel
        netClose(startReception(receiving.port, "Version:3.0\nTotal:0\n\n"));
        EXPECT_EQ(receiving.finish(), ReceiveResult::Empty);
        EXPECT_EQ(runSend("127.0.0.1", 1), SendResult::Cancelled);
        EXPECT_TRUE(recordedErrors().empty());
    }
    // Cancel in an analysis leaves a running reception alone.
    {
        Receiving receiving;
        receiving.start();
        const Socket s = startReception(receiving.port, "Version:3.0\nTotal:3\n\n");
        prepareSend();
        sendCancelRequested = true;
        const std::string record = "Type:file\nSize:3\nName:a.txt\nDirectory:/\n\nabc";
        netSendAll(s, record.data(), record.size());
        netClose(s);
        EXPECT_EQ(receiving.finish(), ReceiveResult::Complete);
        EXPECT_EQ(readWholeFile(join(store, "a.txt")), "abc");
    }
}

namespace {
std::atomic<int> staleShutdowns{0};
// Stop's shutdown, watching: it gives the owner time to forget the handle, then looks
// whether the handle is still the published one.
void watchShutdown(Socket s) {
    std::this_thread::sleep_for(std::chrono::microseconds(50));
    if (s != sendSocket.load() && s != receiveSocket.load()) ++staleShutdowns;
}
}  // namespace

TEST_F(Sender, StopNeverReachesAHandleItsOwnerHasForgotten) {
    // The handles stay open until the end, so no number is reused and "published" tells
    // one handle from another.
    std::vector<Socket> handles;
    std::atomic<bool> done{false};
    staleShutdowns = 0;
    std::thread stopper([&] {
        while (!done) {
            stopTransfers(watchShutdown);
            recordingPortReset(store);
        }
    });
    for (int i = 0; i < 100; ++i) {
        for (std::atomic<Socket>* slot : {&receiveSocket, &sendSocket}) {
            handles.push_back(netTcpSocket());
            publishTransferSocket(*slot, handles.back());
            std::this_thread::sleep_for(std::chrono::microseconds(20));
            forgetTransferSocket(*slot);
        }
    }
    done = true;
    stopper.join();
    for (Socket s : handles) netClose(s);
    EXPECT_EQ(staleShutdowns, 0);
}
