// The web server over real loopback sockets.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#ifdef __linux__
#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include "platform/files.h"
#include "platform/net.h"
#include "platform/threads.h"
#include "policy/receive_policy.h"
#include "recording_port.h"
#include "scratch_folder.h"
#include "stream_feeder.h"
#include "transfer/stop.h"
#include "web/browser_access.h"

namespace {
// The head of the next response on s ("" when none came).
std::string responseHead(Socket s, int wait = 10000) {
    std::string seen;
    char c;
    while (seen.find("\r\n\r\n") == std::string::npos && netWaitReadable(s, wait) && netRecv(s, &c, 1) == 1)
        seen.push_back(c);
    return seen;
}

std::string statusLine(Socket s, int wait = 10000) {
    std::string head = responseHead(s, wait);
    return head.substr(0, head.find("\r\n"));
}

// Body bytes read from s, up to most, until it closes or stays silent.
int64_t bodyBytes(Socket s, int64_t most) {
    std::vector<char> buffer(64 * 1024);
    int64_t got = 0;
    while (got < most && netWaitReadable(s, 10000)) {
        int n = netRecv(s, buffer.data(), static_cast<int>(std::min<int64_t>(most - got, 64 * 1024)));
        if (n <= 0) break;
        got += n;
    }
    return got;
}

Socket connected(uint16_t port) {
    Socket s = netTcpSocket();
    EXPECT_EQ(0, netConnectWithTimeout(s, 0x7F000001, port, 2000));
    return s;
}

std::string putHead(const std::string& name, size_t length) {
    return "PUT /" + browserAccessToken() + "/files?name=" + name +
           " HTTP/1.1\r\nContent-Length: " + std::to_string(length) + "\r\n\r\n";
}
}  // namespace

// Connections that arrive while access stops and starts again leave no slot taken or
// given back twice: afterwards none is counted, so the limit stays what it is.
TEST(BrowserServer, StopsAndStartsWhileConnectionsArriveWithoutLosingCount) {
    ASSERT_EQ(0, netStartup());
    BrowserAccessOptions options;
    options.address = "127.0.0.1";
    options.port = freePort();
    std::atomic<bool> done{false};
    auto crowd = [&] {
        while (!done) {
            Socket s = netTcpSocket();
            if (netConnectWithTimeout(s, 0x7F000001, options.port, 200) == 0) netSendAll(s, "GET /", 5);
            netCloseAbortive(s);
        }
    };
    std::thread crowds[] = {std::thread(crowd), std::thread(crowd), std::thread(crowd), std::thread(crowd)};
    for (int round = 0; round < 250; ++round) {
        ASSERT_EQ(AccessStart::Started, startBrowserAccess(options));
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        stopBrowserAccess();
        EXPECT_EQ(0, browserAccessConnections()) << "round " << round;
    }
    done = true;
    for (std::thread& t : crowds) t.join();
}

// Uploads that arrive on several connections while one is still being received are
// received beside it, each stored whole; the one question about their browser, open as
// they arrive, is asked once.
TEST(BrowserServer, UploadsOnSeveralConnectionsOverlapAndAskOnce) {
    ASSERT_EQ(0, netStartup());
    const std::string store = makeScratchFolder("turns");
    recordingPortReset(store);
    recordingPortAnswer(AskAnswer::Accepted, 300);
    setReceivePolicy(AcceptFrom::Ask, {});
    BrowserAccessOptions options;
    options.address = "127.0.0.1";
    options.port = freePort();
    ASSERT_EQ(AccessStart::Started, startBrowserAccess(options));
    const std::string body(200 * 1024, 'u');
    std::vector<Socket> all;
    for (int i = 0; i < 5; ++i) {
        all.push_back(connected(options.port));
        std::string request = putHead("up" + std::to_string(i) + ".bin", body.size()) + body;
        // The first stays half way until the others are stored.
        ASSERT_TRUE(netSendAll(all.back(), request.data(), request.size() - (i == 0 ? body.size() / 2 : 0)));
    }
    for (size_t i = 1; i < all.size(); ++i) EXPECT_EQ("HTTP/1.1 201 Created", statusLine(all[i], 20000));
    EXPECT_FALSE(netWaitReadable(all[0], 0)) << "the first was answered before its body came";
    ASSERT_TRUE(netSendAll(all[0], body.data(), body.size() / 2));
    EXPECT_EQ("HTTP/1.1 201 Created", statusLine(all[0]));
    for (Socket s : all) netClose(s);
    stopBrowserAccess();
    EXPECT_EQ("up0.bin\nup1.bin\nup2.bin\nup3.bin\nup4.bin\n", listTree(store));
    const std::vector<PortCall> calls = recordedCalls();
    EXPECT_EQ(1, std::count_if(calls.begin(), calls.end(), [](const PortCall& c) { return c.what == "ask"; }));
    EXPECT_EQ("Receiving complete.", lastStatusText());
    setReceivePolicy(AcceptFrom::Everyone, {});
    removeScratchFolder(store);
}

// An upload that sends nothing holds no other back: one beside it is stored, and the
// silent one, cut, leaves nothing.
TEST(BrowserServer, AStalledUploadHoldsNoOtherBack) {
    ASSERT_EQ(0, netStartup());
    const std::string store = makeScratchFolder("stalled");
    recordingPortReset(store);
    setReceivePolicy(AcceptFrom::Everyone, {});
    BrowserAccessOptions options;
    options.address = "127.0.0.1";
    options.port = freePort();
    ASSERT_EQ(AccessStart::Started, startBrowserAccess(options));
    Socket stalled = connected(options.port);
    std::string head = putHead("stalled.bin", 1000000) + "x";
    ASSERT_TRUE(netSendAll(stalled, head.data(), head.size()));
    for (int i = 0; i < 500 && listTree(store).find(".part") == std::string::npos; ++i) sleepMilliseconds(10);
    Socket waiting = connected(options.port);
    std::string request = putHead("waiting.txt", 3) + "abc";
    ASSERT_TRUE(netSendAll(waiting, request.data(), request.size()));
    EXPECT_EQ("HTTP/1.1 201 Created", statusLine(waiting, 20000));
    EXPECT_FALSE(netWaitReadable(stalled, 0)) << "the stalled upload was answered";
    netClose(waiting);
    netClose(stalled);
    stopBrowserAccess();
    EXPECT_EQ("waiting.txt\n", listTree(store));
    removeScratchFolder(store);
}

// A resumable upload's piece that arrives as Stop comes ends "stopped" and takes its
// upload with it; an upload made after the Stop is stored.
TEST(BrowserServer, StopEndsAResumablePiece) {
    ASSERT_EQ(0, netStartup());
    const std::string store = makeScratchFolder("tus-stop");
    recordingPortReset(store);
    setReceivePolicy(AcceptFrom::Everyone, {});
    BrowserAccessOptions options;
    options.address = "127.0.0.1";
    options.port = freePort();
    ASSERT_EQ(AccessStart::Started, startBrowserAccess(options));
    const std::string uploads = "/" + browserAccessToken() + "/uploads";
    // Upload-Length and Content-Length 100, and body: what of the 100 bytes is sent.
    const auto create = [&](const std::string& body) {
        Socket s = connected(options.port);
        std::string request = "POST " + uploads +
                              " HTTP/1.1\r\nTus-Resumable: 1.0.0\r\nUpload-Length: 100\r\n"
                              "Upload-Metadata: filename YS5iaW4=\r\n"  // a.bin
                              "Content-Type: application/offset+octet-stream\r\nContent-Length: 100\r\n\r\n" +
                              body;
        EXPECT_TRUE(netSendAll(s, request.data(), request.size()));
        return s;
    };
    Socket whole = create(std::string(100, 'w'));
    std::string created = responseHead(whole);
    EXPECT_NE(std::string::npos, created.find("201 Created")) << created;
    netClose(whole);
    Socket stalled = create(std::string(60, 's'));  // the piece waits for the rest as Stop comes
    for (int i = 0; i < 500 && listTree(store).find(".part") == std::string::npos; ++i) sleepMilliseconds(10);
    ASSERT_NE(std::string::npos, listTree(store).find(".part"));
    stopTransfers();
    EXPECT_EQ("HTTP/1.1 409 Conflict", statusLine(stalled));
    netClose(stalled);
    EXPECT_EQ("a.bin\n", listTree(store));  // the stopped upload's partial file is gone
    Socket after = create(std::string(100, 'a'));
    EXPECT_EQ("HTTP/1.1 201 Created", statusLine(after));
    netClose(after);
    stopBrowserAccess();
    EXPECT_EQ(std::string(100, 'a'), readWholeFile(store + kPathSeparator + "a.bin"));
    removeScratchFolder(store);
}

// A file rewritten in place at its size while it is downloaded would arrive as neither
// version: the response ends short of its length instead, a range as well as the whole.
TEST(BrowserServer, AFileRewrittenWhileItIsDownloadedArrivesShort) {
    ASSERT_EQ(0, netStartup());
    const std::string folder = makeScratchFolder("torn");
    const std::string path = folder + kPathSeparator + "torn.bin";
    const int64_t size = 32 * 1024 * 1024;  // far more than loopback buffers hold
    BrowserAccessOptions options;
    options.address = "127.0.0.1";
    options.port = freePort();
    options.offeredPaths = [&path] { return std::vector<std::string>{path}; };
    ASSERT_TRUE(startBrowserAccess(options) == AccessStart::Started);
    struct Case {
        const char* range;  // the request's Range field, or ""
        bool rewrite;
        int64_t length;  // the response's Content-Length
    } cases[] = {{"", false, size}, {"", true, size}, {"Range: bytes=1048576-\r\n", true, size - 1048576}};
    writeWholeFile(path, "o");
    Socket list = connected(options.port);  // the list gives the file its link's number, 1
    std::string asks = "GET /" + browserAccessToken() + "/files HTTP/1.1\r\nConnection: close\r\n\r\n";
    ASSERT_TRUE(netSendAll(list, asks.data(), asks.size()));
    EXPECT_EQ("HTTP/1.1 200 OK", statusLine(list));
    netClose(list);
    for (const Case& c : cases) {
        writeWholeFile(path, std::string(static_cast<size_t>(size), 'o'));
        // An old write time, so that the rewrite's shows whatever the clock's step.
        std::filesystem::last_write_time(path, std::filesystem::file_time_type());
        Socket s = connected(options.port);
        std::string get = "GET /" + browserAccessToken() + "/files/1 HTTP/1.1\r\n" + c.range + "\r\n";
        ASSERT_TRUE(netSendAll(s, get.data(), get.size()));
        std::string head = responseHead(s);
        EXPECT_NE(std::string::npos, head.find("Content-Length: " + std::to_string(c.length) + "\r\n")) << head;
        int64_t got = bodyBytes(s, 1024 * 1024);
        if (c.rewrite)
            std::fstream(path, std::ios::in | std::ios::out | std::ios::binary)
                << std::string(static_cast<size_t>(size), 'n');
        got += bodyBytes(s, c.length - got);
        EXPECT_EQ(c.rewrite, got < c.length) << c.range << got;
        netClose(s);
    }
    stopBrowserAccess();
    removeScratchFolder(folder);
}

#ifdef __linux__
namespace {
// A connection that asked for /<token>/target, and the connection's close after the response.
Socket requested(uint16_t port, const std::string& target) {
    Socket s = connected(port);
    std::string get = "GET /" + browserAccessToken() + "/" + target + " HTTP/1.1\r\nConnection: close\r\n\r\n";
    EXPECT_TRUE(netSendAll(s, get.data(), get.size()));
    return s;
}

tcp_info tcpInfo(int s) {
    tcp_info info{};
    socklen_t length = sizeof info;
    EXPECT_EQ(0, getsockopt(s, IPPROTO_TCP, TCP_INFO, &info, &length));
    return info;
}

// The bytes waiting unsent in the server's end of client's connection (the server runs in
// this process: its end is the handle whose peer is client's address).
uint32_t unsentAtServer(Socket client) {
    sockaddr_in mine{}, peer{};
    socklen_t length = sizeof mine;
    getsockname(static_cast<int>(client), reinterpret_cast<sockaddr*>(&mine), &length);
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        int fd = std::stoi(entry.path().filename().string());
        length = sizeof peer;
        if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) == 0 && peer.sin_port == mine.sin_port &&
            peer.sin_addr.s_addr == mine.sin_addr.s_addr)
            return tcpInfo(fd).tcpi_notsent_bytes;
    }
    return 0;  // not accepted yet
}

BrowserAccessOptions offering(uint16_t port, const std::string& path) {
    BrowserAccessOptions options;
    options.address = "127.0.0.1";
    options.port = port;
    options.offeredPaths = [path] { return std::vector<std::string>{path}; };
    EXPECT_EQ(AccessStart::Started, startBrowserAccess(options));
    Socket list = requested(port, "files");  // numbers the files: the first is 1
    EXPECT_EQ("HTTP/1.1 200 OK", statusLine(list));
    netClose(list);
    return options;
}
}  // namespace

// A response's head leaves with its body's first bytes, not in a small segment of its own
// ahead of them: a small file and a small folder's zip each arrive in one segment.
TEST(BrowserServer, ASmallDownloadArrivesInOneSegment) {
    ASSERT_EQ(0, netStartup());
    const std::string folder = makeScratchFolder("segments");
    const std::string offered = folder + kPathSeparator + "Offered";
    ASSERT_TRUE(std::filesystem::create_directory(offered));
    writeWholeFile(offered + kPathSeparator + "small.bin", std::string(20000, 's'));
    BrowserAccessOptions options = offering(freePort(), offered);
    for (const char* target : {"files", "files/1", "zip?folder=Offered"}) {
        Socket s = requested(options.port, target);
        EXPECT_EQ("HTTP/1.1 200 OK", statusLine(s)) << target;
        bodyBytes(s, 1 << 20);  // until the close
        EXPECT_EQ(1u, tcpInfo(static_cast<int>(s)).tcpi_data_segs_in) << target;
        netClose(s);
    }
    stopBrowserAccess();
    removeScratchFolder(folder);
}

// A download keeps little of the file waiting unsent in the connection while the client has
// not taken what came before: the server's own sends move the bytes as the client takes
// them. A queue of megabytes would be moved by the client's acknowledgements instead, on
// the client's time, which a client on the same computer pays for.
TEST(BrowserServer, ADownloadKeepsLittleWaitingUnsent) {
    ASSERT_EQ(0, netStartup());
    const std::string folder = makeScratchFolder("unsent");
    const std::string path = folder + kPathSeparator + "big.bin";
    writeWholeFile(path, std::string(32 * 1024 * 1024, 'b'));
    BrowserAccessOptions options = offering(freePort(), path);
    Socket s = requested(options.port, "files/1");  // and nothing of the response is read
    uint32_t most = 0;  // first until the server's end waits for the client, then a while longer
    for (int i = 0; i < 500 && most == 0; ++i, sleepMilliseconds(10)) most = unsentAtServer(s);
    for (int i = 0; i < 20; ++i, sleepMilliseconds(10)) most = std::max(most, unsentAtServer(s));
    EXPECT_GT(most, 0u);
    EXPECT_LE(most, 256u * 1024) << most;  // not a send buffer's worth
    netClose(s);
    stopBrowserAccess();
    removeScratchFolder(folder);
}
#endif

// What a download's tag and ranges rest on: a file's stamp tells its size and number,
// and a rewrite of the same size still changes it; a read starts where fileSeek put it.
TEST(FileStamp, TellsEachStateOfAFile) {
    const std::string folder = makeScratchFolder("stamp");
    const std::string a = folder + kPathSeparator + "a", b = folder + kPathSeparator + "b";
    writeWholeFile(a, "abc");
    writeWholeFile(b, "abcd");
    auto stampOf = [](const std::string& path, FileStamp* stamp, std::string* from1) {
        FileHandle f = fileOpenRead(path);
        ASSERT_NE(kInvalidFile, f);
        EXPECT_TRUE(fileStampOf(f, stamp));
        char bytes[8] = {};
        EXPECT_TRUE(fileSeek(f, 1));
        *from1 = std::string(bytes, static_cast<size_t>(fileRead(f, bytes, sizeof bytes)));
        fileClose(f);
    };
    FileStamp first, other, later;
    std::string rest;
    stampOf(a, &first, &rest);
    EXPECT_EQ("bc", rest);
    stampOf(b, &other, &rest);
    EXPECT_EQ(3, first.size);
    EXPECT_EQ(4, other.size);
    EXPECT_NE(first.number, other.number);
    for (int i = 0; i < 200; ++i) {  // until the clock the system stamps with moves on
        writeWholeFile(a, "xyz");
        stampOf(a, &later, &rest);
        if (later.modified != first.modified) break;
        sleepMilliseconds(10);
    }
    EXPECT_NE(first.modified, later.modified);
    EXPECT_EQ("yz", rest);
    removeScratchFolder(folder);
}
