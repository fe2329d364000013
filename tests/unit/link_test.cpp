// Both sides of a transfer's link over loopback, each against a peer of its own kind: a
// file sent whole, an answer written before the end, and the orderly end. The TLS side
// must never let a file's bytes past its session in the clear.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <thread>

#include "platform/files.h"
#include "platform/socket_file.h"
#include "scratch_home.h"
#include "transfer/link.h"
#include "trust/tls_channel.h"

namespace {
const std::string kContent(5000, 'c');

// Our link and the peer's, both plain or both TLS, over one loopback connection.
void openPair(bool tls, Link* ours, Link* peer) {
    Socket listener = netTcpSocket();
    const uint32_t loopback = 0x7F000001;
    ASSERT_EQ(netBind(listener, loopback, 0), 0);
    ASSERT_EQ(netListen(listener, 1), 0);
    const Socket theirs = netTcpSocket();
    ASSERT_EQ(netConnect(theirs, loopback, netLocalPort(listener)), 0);
    const Socket accepted = netAccept(listener);
    netClose(listener);
    if (!tls) {
        *ours = plainLink(theirs);
        *peer = plainLink(accepted);
        return;
    }
    TlsSession* client = nullptr;
    std::thread connecting([&] { client = tlsConnect(theirs); });
    TlsSession* server = tlsAccept(accepted);
    connecting.join();
    ASSERT_NE(client, nullptr);
    ASSERT_NE(server, nullptr);
    *ours = tlsLink(theirs, client);
    *peer = tlsLink(accepted, server);
}

// Reads until count bytes came or the stream ended; the last read's result in *last.
std::string readSome(Link& link, size_t count, int* last) {
    std::string got;
    char piece[8192];
    while (got.size() < count && (*last = linkRead(&link, piece, sizeof piece)) > 0) got.append(piece, *last);
    return got;
}

TEST(Link, EachSideSendsFilesAnswersAndEndsAsItShould) {
    ASSERT_EQ(netStartup(), 0);
    ScratchHome home;
    const std::string path = home.folder + "/content.bin";
    std::ofstream(path, std::ios::binary) << kContent;
    for (bool tls : {false, true}) {
        SCOPED_TRACE(tls ? "TLS side" : "plain side");
        Link ours, peer;
        openPair(tls, &ours, &peer);
        netSetReceiveTimeout(peer.socket, 5000);

        // A file whole: the plain side leaves it to the system where the system can (not
        // on Windows); the TLS side sends nothing and leaves it to the caller, who writes it
        // through the session.
        const FileHandle file = fileOpenRead(path);
        ASSERT_NE(file, kInvalidFile);
        const int sent = linkSendFile(ours, file, static_cast<int>(kContent.size()));
        fileClose(file);
        const bool direct = sent != kNoDirectPath;
        if (tls) {
            EXPECT_FALSE(direct);
        }
        if (direct) {
            EXPECT_EQ(sent, static_cast<int>(kContent.size()));
        }
        const std::string after = "after";
        ASSERT_TRUE(linkWrite(ours, after.data(), after.size()));
        int last = 1;
        const std::string expected = direct ? kContent + after : after;
        EXPECT_EQ(readSome(peer, expected.size(), &last), expected);

        // The peer's words before the end: only the TLS side is asked for them.
        ASSERT_TRUE(linkWrite(peer, "NO", 2));
        ASSERT_TRUE(netWaitReadable(ours.socket, 5000));
        EXPECT_EQ(linkAnswerWaiting(ours), tls);

        // The orderly end reads as 0 on the peer's side, after every byte.
        ASSERT_TRUE(linkFinish(ours));
        const std::string rest = readSome(peer, 1, &last);
        EXPECT_TRUE(rest.empty());
        EXPECT_EQ(last, 0);

        linkClose(ours);
        linkClose(peer);
        EXPECT_EQ(ours.socket, kInvalidSocket);
        EXPECT_EQ(ours.tls, nullptr);
    }
    netCleanup();
}
}  // namespace
