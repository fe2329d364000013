// The private channel's TLS session over loopback: a handshake with a peer that says
// nothing or closes ends at once or at its time-out (both builds); and on POSIX between
// two identities (this process and a forked one with a home of its own), the IDs each
// side sees, the pairing code, a large write, a receive time-out, and how the peer's end
// is told.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <string>
#include <thread>

#include "platform/net.h"
#include "scratch_home.h"
#include "trust/identity.h"
#include "trust/identity_key.h"
#include "trust/tls_channel.h"

namespace {
constexpr size_t kBulk = 300 * 1024;  // several of tlsWrite's pieces and many records
// Both nonces of a pairing exchange, as the code takes them.
const std::string kNonces(128, 'a');

struct Connection {
    Socket ours = kInvalidSocket;
    Socket theirs = kInvalidSocket;
};

Connection connectOverLoopback() {
    Connection c;
    Socket listener = netTcpSocket();
    const uint32_t loopback = 0x7F000001;
    EXPECT_EQ(netBind(listener, loopback, 0), 0);
    EXPECT_EQ(netListen(listener, 1), 0);
    c.theirs = netTcpSocket();
    EXPECT_EQ(netConnect(c.theirs, loopback, netLocalPort(listener)), 0);
    c.ours = netAccept(listener);
    netClose(listener);
    return c;
}

TEST(TlsChannel, APeerThatSaysNothingOrClosesEndsTheHandshake) {
    ASSERT_EQ(netStartup(), 0);
    ScratchHome home;
    for (bool server : {true, false}) {
        for (bool closes : {false, true}) {
            Connection c = connectOverLoopback();
            if (closes) netShutdownSend(c.theirs);
            TlsSession* session = server ? tlsAccept(c.ours, 300) : tlsConnect(c.ours, 300);
            EXPECT_EQ(session, nullptr) << server << closes;
            tlsClose(session);
            netClose(c.ours);
            netClose(c.theirs);
        }
    }
    netCleanup();
}

// One identity on both ends (threads of this process): the handshake, the suite, the
// same code on both ends of one session, and close_notify read as the end.
TEST(TlsChannel, BothEndsOfOneSessionShowOneCode) {
    ASSERT_EQ(netStartup(), 0);
    ScratchHome home;
    Connection c = connectOverLoopback();
    std::string clientCode;
    std::thread client([&] {
        TlsSession* session = tlsConnect(c.theirs);
        if (!session) return;
        clientCode = tlsComparisonCode(session, kNonces, true);
        tlsWrite(session, "hello", 5);
        tlsFinish(session);
        char rest[8];
        while (tlsRead(session, rest, sizeof rest) > 0) continue;
        tlsClose(session);
    });
    TlsSession* session = tlsAccept(c.ours);
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(tlsPeerId(session), ownComputerId());
    // Both ends are ours: the suite is the one that is fastest with AES instructions.
    EXPECT_EQ(tlsCipherSuite(session), "TLS_AES_128_GCM_SHA256");
    char got[8] = {};
    EXPECT_EQ(tlsRead(session, got, sizeof got), 5);
    EXPECT_EQ(tlsRead(session, got, sizeof got), 0);
    tlsFinish(session);
    client.join();
    EXPECT_EQ(clientCode, tlsComparisonCode(session, kNonces, false));
    // The code hangs on the exchange's nonces.
    EXPECT_NE(clientCode, tlsComparisonCode(session, std::string(kNonces).replace(0, 1, "1"), false));
    tlsClose(session);
    netClose(c.ours);
    netClose(c.theirs);
    netCleanup();
}

#ifndef _WIN32
std::string readLine(TlsSession* session) {
    std::string line;
    char c = 0;
    while (tlsRead(session, &c, 1) == 1 && c != '\n') line += c;
    return line;
}

enum class Ending { CloseNotify, Cut };

// The other computer: its own identity, a client session on socket; it tells what it
// sees, writes kBulk bytes, waits for one byte, then ends as told.
[[noreturn]] void runPeer(Socket socket, const std::string& folder, Ending ending) {
    setenv("XDG_CONFIG_HOME", (folder + "/peer").c_str(), 1);
    forgetIdentity();
    TlsSession* session = tlsConnect(socket);
    if (!session) _exit(1);
    std::string seen = ownComputerId() + " " + tlsPeerId(session) + " " + tlsComparisonCode(session, kNonces, true) +
                       "\n";
    std::string bulk(kBulk, 'q');
    char go = 0;
    bool done = tlsWrite(session, seen.data(), seen.size()) && tlsWrite(session, bulk.data(), bulk.size()) &&
                tlsRead(session, &go, 1) == 1;
    if (done && ending == Ending::CloseNotify) {
        tlsFinish(session);
        while (tlsRead(session, &go, 1) > 0) continue;  // until our own close_notify
    }
    _exit(done ? 0 : 1);  // a cut: the socket closes without close_notify
}

struct Seen {
    std::string code;
    int afterEnd = 1;
};

Seen oneSession(const std::string& folder, Ending ending) {
    Seen seen;
    Connection c = connectOverLoopback();
    pid_t peer = fork();
    if (peer == 0) runPeer(c.theirs, folder, ending);
    netClose(c.theirs);
    TlsSession* session = tlsAccept(c.ours);
    EXPECT_NE(session, nullptr);
    if (!session) return netClose(c.ours), seen;
    netSetReceiveTimeout(c.ours, 10000);  // a fault ends the test instead of holding it
    std::string line = readLine(session);
    seen.code = tlsComparisonCode(session, kNonces, false);
    const std::string peerId = tlsPeerId(session);
    EXPECT_NE(peerId, ownComputerId());
    EXPECT_EQ(line, peerId + " " + ownComputerId() + " " + seen.code);

    std::string bulk(kBulk, '\0');
    size_t got = 0;
    for (int n; got < bulk.size() && (n = tlsRead(session, &bulk[got], static_cast<int>(bulk.size() - got))) > 0;)
        got += static_cast<size_t>(n);
    EXPECT_EQ(bulk, std::string(kBulk, 'q'));

    netSetReceiveTimeout(c.ours, 100);
    char byte = 0;
    EXPECT_EQ(tlsRead(session, &byte, 1), -2);  // the peer waits for us: a time-out, resumable
    netSetReceiveTimeout(c.ours, 10000);
    EXPECT_TRUE(tlsWrite(session, "g", 1));
    seen.afterEnd = tlsRead(session, &byte, 1);
    tlsFinish(session);
    int status = -1;
    waitpid(peer, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    tlsClose(session);
    netClose(c.ours);
    return seen;
}

TEST(TlsChannel, TwoIdentitiesSeeEachOtherAndEndInOrderOrCut) {
    ScratchHome home;
    ASSERT_EQ(loadIdentity(), IdentityState::Ready);
    Seen first = oneSession(home.folder, Ending::CloseNotify);
    EXPECT_EQ(first.afterEnd, 0);
    Seen second = oneSession(home.folder, Ending::Cut);
    EXPECT_LT(second.afterEnd, 0);
    EXPECT_EQ(first.code.size(), 6u);
    EXPECT_NE(first.code, second.code);  // another session, other keys: another code
}

#endif
}  // namespace
