// The banner exchange against a small HTTP responder on a loopback port: one request,
// one scripted answer sent in pieces.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "banner/banner_picture.h"
#include "banner/banner_request.h"
#include "platform/files.h"
#include "platform/net.h"

namespace {
constexpr uint32_t kLoopback = 0x7F000001;

// Accepts one connection, reads the request up to its empty line, then sends the pieces
// with a pause between them and closes.
struct Responder {
    Socket listener = kInvalidSocket;
    uint16_t port = 0;
    std::vector<std::string> pieces;
    int pauseMilliseconds = 300;
    bool silent = false;  // accept, then answer nothing until stopped
    bool accepted = false;
    std::string request;
    std::thread thread;

    void serve() {
        Socket c = netAccept(listener);
        if (c == kInvalidSocket) return;
        accepted = true;
        netSetReceiveTimeout(c, 5000);
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            int n = netRecv(c, buffer, sizeof buffer);
            if (n <= 0) break;
            request.append(buffer, static_cast<size_t>(n));
        }
        if (silent) netRecv(c, buffer, sizeof buffer);  // until the client gives up
        for (size_t i = 0; i < pieces.size(); ++i) {
            if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(pauseMilliseconds));
            netSendAll(c, pieces[i].data(), pieces[i].size());
        }
        netShutdown(c);
        netClose(c);
    }
    void start() {
        listener = netTcpSocket();
        ASSERT_EQ(netBind(listener, kLoopback, 0), 0);
        ASSERT_EQ(netListen(listener, 4), 0);
        port = netLocalPort(listener);
        thread = std::thread([this] { serve(); });
    }
    void stop() {
        if (!thread.joinable()) return;
        if (!accepted) {  // wake the accept that nobody answered
            Socket s = netTcpSocket();
            netConnect(s, kLoopback, port);
            netClose(s);
        }
        thread.join();
        netClose(listener);
    }
    ~Responder() { stop(); }
};

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string testAgent() { return "TestAgent/1.0"; }

class BannerExchange : public ::testing::Test {
  protected:
    std::filesystem::path dir;
    BannerSetup setup;
    BannerRecord record;

    void SetUp() override {
        netStartup();
        auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        dir = std::filesystem::temp_directory_path() /
              ("qv-banner-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
               std::to_string(stamp));
        std::filesystem::create_directories(dir);
        setup.host = "127.0.0.1";
        setup.folder = dir.string() + kPathSeparator;
        setup.readUserAgent = testAgent;
        setup.width = 450;
        setup.height = 418;
        setup.timeoutMilliseconds = 5000;
        clearBannerRecord(record);
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    std::string cookiePath() const { return setup.folder + kBannerCookieFile; }
    std::string picturePath() const { return setup.folder + kBannerPictureFile; }
    void writeFile(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
};

const std::string kHead = "HTTP/1.1 200 OK\r\nServer: test\r\nSet-Cookie: uid=42; Path=/\r\n\r\n";
const std::string kDocument =
    "<banner><title>Quick &amp; easy</title><content>Send everything</content>"
    "<link>https://example.invalid/go</link><pictureUrlPng>http://127.0.0.1/banner.png</pictureUrlPng></banner>";
const std::string kMetrics = "x-display-metrics: 450x418\r\n\r\n";
std::string head(const std::string& host) { return std::string(kBannerRequestLine) + "\r\nHost: " + host + "\r\n"; }
}  // namespace

TEST_F(BannerExchange, FetchSendsCookieBackOnTheNextRun) {
    Responder first;
    first.pieces = {kHead + kDocument};
    first.start();
    setup.port = first.port;
    EXPECT_TRUE(fetchBanner(record, setup));
    first.stop();
    EXPECT_EQ(first.request, head("127.0.0.1") + "User-Agent: TestAgent/1.0\r\n" + kMetrics);
    EXPECT_STREQ(record.title, "Quick & easy");
    EXPECT_STREQ(record.pictureUrlPng, "http://127.0.0.1/banner.png");
    EXPECT_EQ(readFile(cookiePath()), " uid=42;");

    Responder second;
    second.pieces = {"HTTP/1.1 200 OK\r\n\r\n" + std::string(kNoBannerMarker)};
    second.start();
    setup.port = second.port;
    setup.readUserAgent = nullptr;
    EXPECT_FALSE(fetchBanner(record, setup));
    second.stop();
    EXPECT_EQ(second.request, head("127.0.0.1") + "Cookies:  uid=42;\r\n" + kMetrics);
    EXPECT_STREQ(record.title, "");  // the earlier banner does not linger
    EXPECT_EQ(readFile(cookiePath()), " uid=42;");
}

TEST_F(BannerExchange, NotFoundKeepsTheStoredCookie) {
    writeFile(cookiePath(), " old=1;");
    Responder server;
    server.pieces = {"HTTP/1.1 404 Not Found\r\nSet-Cookie: new=2;\r\n\r\n" + kDocument};
    server.start();
    setup.port = server.port;
    EXPECT_FALSE(fetchBanner(record, setup));
    server.stop();
    EXPECT_NE(server.request.find("Cookies:  old=1;\r\n"), std::string::npos);
    EXPECT_EQ(readFile(cookiePath()), " old=1;");
    EXPECT_STREQ(record.title, "");
}

TEST_F(BannerExchange, OnlyTheFirstReceiveIsRead) {
    Responder split;  // header first, body later: no banner this run
    split.pieces = {kHead, kDocument};
    split.start();
    setup.port = split.port;
    EXPECT_FALSE(fetchBanner(record, setup));
    split.stop();
    EXPECT_STREQ(record.title, "");
    EXPECT_EQ(readFile(cookiePath()), " uid=42;");  // the header itself was complete

    Responder large;  // what lies beyond the first 2047 bytes is never seen
    std::string padding = "<!--" + std::string(2100, '-') + "-->";
    large.pieces = {"HTTP/1.1 200 OK\r\n\r\n<content>early</content>" + padding + "<title>late</title>"};
    large.start();
    setup.port = large.port;
    EXPECT_TRUE(fetchBanner(record, setup));
    large.stop();
    EXPECT_STREQ(record.content, "early");
    EXPECT_STREQ(record.title, "");
}

TEST_F(BannerExchange, UnreachableOrSilentServerEndsQuietly) {
    Socket closed = netTcpSocket();  // a port that nobody listens on
    netBind(closed, kLoopback, 0);
    setup.host = "127.0.0.1";
    setup.port = netLocalPort(closed);
    netClose(closed);
    EXPECT_FALSE(fetchBanner(record, setup));
    EXPECT_FALSE(downloadBannerPicture(record, setup));

    Responder silent;
    silent.silent = true;
    silent.start();
    setup.port = silent.port;
    setup.timeoutMilliseconds = 400;
    auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(fetchBanner(record, setup));
    auto waited = std::chrono::steady_clock::now() - started;
    EXPECT_LT(waited, std::chrono::seconds(3));
    silent.stop();
    EXPECT_FALSE(pathExists(cookiePath()));
}

TEST_F(BannerExchange, PictureBodyIsWrittenAfterTheHeader) {
    std::string body = "\x89PNG\r\n\x1a\n";
    for (int i = 0; i < 3000; ++i) body += static_cast<char>(i * 7);  // NULs and line breaks included
    Responder server;
    server.pieces = {"HTTP/1.0 200 OK\r\nContent-Type: image/png\r\n\r\n" + body};
    server.start();
    setup.port = server.port;
    strcpy(record.pictureUrl, "http://127.0.0.1/old.gif");
    strcpy(record.pictureUrlPng, "http://127.0.0.1/banner.png");
    EXPECT_TRUE(downloadBannerPicture(record, setup));
    server.stop();
    EXPECT_EQ(server.request, "GET /banner.png HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
    EXPECT_TRUE(record.pictureReady);
    EXPECT_EQ(readFile(picturePath()), body);
}

TEST_F(BannerExchange, ErrorPageAndHeaderOnlyFirstPiece) {
    Responder error;
    error.pieces = {"HTTP/1.0 404 Not Found\r\n\r\n<html>gone</html>"};
    error.start();
    setup.port = error.port;
    strcpy(record.pictureUrl, "http://127.0.0.1/missing.png");
    EXPECT_TRUE(downloadBannerPicture(record, setup));  // the status plays no part
    error.stop();
    EXPECT_EQ(readFile(picturePath()), "<html>gone</html>");

    Responder later;
    later.pieces = {"HTTP/1.0 200 OK\r\n\r\n", "PICTURE\r\n\r\nDATA"};
    later.start();
    setup.port = later.port;
    EXPECT_TRUE(downloadBannerPicture(record, setup));
    later.stop();
    EXPECT_EQ(readFile(picturePath()), "PICTURE\r\n\r\nDATA");  // later pieces are written whole
}

TEST_F(BannerExchange, PictureFailuresWriteNothingPastTheHeaderRule) {
    Responder noEnd;  // the header end comes only in the second piece
    noEnd.pieces = {"HTTP/1.0 200 OK\r\nX: y", "\r\n\r\nDATA"};
    noEnd.start();
    setup.port = noEnd.port;
    strcpy(record.pictureUrlPng, "http://127.0.0.1/banner.png");
    EXPECT_FALSE(downloadBannerPicture(record, setup));
    noEnd.stop();
    EXPECT_FALSE(record.pictureReady);
    EXPECT_TRUE(pathExists(picturePath()));  // created, and left empty
    EXPECT_EQ(readFile(picturePath()), "");

    // An address that cannot be split or does not fit leaves an earlier picture alone.
    writeFile(picturePath(), "earlier");
    strcpy(record.pictureUrlPng, "http://127.0.0.1");
    EXPECT_FALSE(downloadBannerPicture(record, setup));
    strcpy(record.pictureUrlPng, ("http://127.0.0.1/" + std::string(199, 'p')).c_str());
    EXPECT_FALSE(downloadBannerPicture(record, setup));
    EXPECT_EQ(readFile(picturePath()), "earlier");
}

// A full accept queue drops further connection attempts, as a server that has gone
// silent does: the connect must give up on its own.
TEST(BannerConnect, ConnectGivesUpAfterItsTimeout) {
    netStartup();
    Socket listener = netTcpSocket();
    ASSERT_EQ(netBind(listener, kLoopback, 0), 0);
    ASSERT_EQ(netListen(listener, 0), 0);
    const uint16_t port = netLocalPort(listener);
    std::vector<Socket> opened;
    int result = 0;
    auto started = std::chrono::steady_clock::now();
    for (int i = 0; i < 6 && result == 0; ++i) {
        Socket s = netTcpSocket();
        opened.push_back(s);
        result = netConnectWithTimeout(s, kLoopback, port, 300);
    }
    auto waited = std::chrono::steady_clock::now() - started;
    for (Socket s : opened) netClose(s);
    netClose(listener);
    if (result == 0) GTEST_SKIP() << "this system queues every connection; nothing timed out";
    EXPECT_LT(waited, std::chrono::seconds(3));
}
