// quorvalinthexa discover: asks the peers on the local network to answer and lists them.
// A "request" goes out on every usable adapter; each peer that hears it hands its own
// address back over TCP, so the command listens on the transfer port for those address
// records meanwhile. Peers heard announcing themselves ("notify") or asking ("request")
// are listed as well. The command never answers a datagram itself. Then it lists the
// remembered peers, numbered for `send N`; with --check it prints the network check
// instead of listing.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unistd.h>
#include <set>
#include <string>
#include <vector>

#include "cli/cli_discovery.h"
#include "cli/command_options.h"
#include "cli/commands.h"
#include "core/texts.h"
#include "discovery/discovery.h"
#include "discovery/hand_over.h"
#include "discovery/look_around.h"
#include "discovery/network_check.h"
#include "peers/peer_file.h"
#include "peers/remembered_peers.h"
#include "platform/adapters.h"
#include "platform/net.h"
#include "platform/threads.h"
#include "private/private_session.h"
#include "transfer/listener.h"
#include "transfer/protocol.h"

namespace {
constexpr int kCheckMilliseconds = 2000;  // how long the check waits for remembered peers

// A link full of spoofed sources must not make the listing endless.
constexpr size_t kListedPeersLimit = 256;
std::mutex printLock;
std::set<std::string> printedPeers;
bool listingClosed = false;  // the time is up, or a check runs: nothing is printed

void printPeer(const std::string& address) {
    std::lock_guard<std::mutex> guard(printLock);
    if (listingClosed || printedPeers.count(address)) return;
    if (printedPeers.size() >= kListedPeersLimit) {
        fprintf(stderr, "quorvalinthexa discover: more than %zu peers; the others are not listed\n", kListedPeersLimit);
        listingClosed = true;
        return;
    }
    printedPeers.insert(address);
    printf("%s\n", address.c_str());
    fflush(stdout);
}

void observeDatagram(DiscoveryAsk, const std::string& sender) { printPeer(sender); }

// Takes the address records that peers hand over; anything else is closed unread. A
// peer is listed by the connection's source, which the record's text need not name.
void takeAnswer(void* handle) {
    Socket connection = reinterpret_cast<Socket>(handle);
    std::string address = readHandedOverAddress(connection);
    uint32_t source = 0;
    bool known = netPeerAddress(connection, &source);
    netClose(connection);
    if (address.empty() || !known) return;
    // A hand-over came over a connection from its sender: that address counts as an
    // answer in the check, and is remembered when it answers what this run sent.
    notePeerHeard(source);
    rememberHandOver(source);
    printPeer(netDotted(source));
}

// Out of descriptors, the loop pauses and goes on listening, as the receiver's does.
void acceptAnswers(void* listener) { acceptInTurn(reinterpret_cast<Socket>(listener), takeAnswer); }

// The listener for hand-overs; *error is the bind's result (0 when it listens), as the
// check reports it.
Socket listenForAnswers(uint16_t port, bool quiet, int* error) {
    Socket listener = netTcpSocket();
    int rc = listener == kInvalidSocket ? netLastError() : netSetReuseAddress(listener);
    if (rc == 0) rc = netBind(listener, 0, port);
    if (rc == 0) rc = netListen(listener, 16);
    *error = rc;
    if (rc == 0 && startThread(acceptAnswers, reinterpret_cast<void*>(listener))) return listener;
    if (!quiet)
        fprintf(stderr,
                "quorvalinthexa discover: cannot listen on TCP port %u (error %d); "
                "only announcing peers are listed\n",
                port, rc);
    netClose(listener);
    return kInvalidSocket;
}

// A trusted computer asked during the check connects back to the private port: the
// check listens there meanwhile and closes what comes unread, in order: a reset could
// reach the connecting side before it saw its connect succeed.
void closeUnread(void* handle) { netClose(reinterpret_cast<Socket>(handle)); }
void acceptAndClose(void* listener) { acceptInTurn(reinterpret_cast<Socket>(listener), closeUnread); }

Socket listenForConnectBack(int* error) {
    Socket listener = listenPrivately(error);
    if (listener != kInvalidSocket && !startThread(acceptAndClose, reinterpret_cast<void*>(listener))) {
        netClose(listener);
        return kInvalidSocket;
    }
    return listener;
}

// The remembered peers, numbered as `send N` takes them; at a terminal on standard
// output, else on standard error, where it cannot be taken for an answering peer. The
// numbers are kept for `send N`, which a later change of the list must not shift.
void printRemembered() {
    FILE* out = isatty(STDOUT_FILENO) == 1 ? stdout : stderr;
    std::vector<std::string> peers = rememberedPeers();
    if (!rememberedPeerFile().empty()) writePeerFile(numberedPeersPath(rememberedPeerFile()), peers);
    fputs(peers.empty() ? "Remembered peers: none yet (a peer is remembered after a transfer)\n"
                        : "Remembered peers (send takes the number):\n",
          out);
    for (size_t i = 0; i < peers.size(); ++i) fprintf(out, "%2zu  %s\n", i + 1, peers[i].c_str());
    fflush(out);
}

std::string checkText(int textId) { return englishText(textId); }

void printCheck(int tcpError, uint16_t port) {
    int privateError = 0;
    const Socket privateListener = listenForConnectBack(&privateError);
    NetworkCheck check = runNetworkCheck(tcpError, port, kCheckMilliseconds);
    netShutdown(privateListener);  // ends the accept thread's wait
    check.privateError = privateError;
    std::vector<std::string> lines = networkCheckLines(check, checkText);
    std::lock_guard<std::mutex> guard(printLock);
    for (const std::string& line : lines) printf("%s\n", line.c_str());
    fflush(stdout);
}

// Lets a look-around go through the subnets, then the time for the last answers.
void waitForSweep() {
    while (lookAroundRunning()) sleepMilliseconds(100);
    sleepMilliseconds(kHandedOverReadMilliseconds);
}
}  // namespace

int discoverCommand(int argc, char** argv) {
    DiscoverSettings options;
    const int status = parseCommandLine(discoverOptions(), argc, argv, &options);
    if (status >= 0) return status;
    const long seconds = options.seconds, port = options.port;
    const std::vector<std::string>& adapters = options.adapters;
    const bool sweep = options.sweep, checkOnly = options.check;

    netStartup();
    discoveryDiagnostics = stderr;
    drawCliInstanceNumber();
    listingClosed = checkOnly;
    int tcpError = -1;
    Socket listener = listenForAnswers(static_cast<uint16_t>(port), checkOnly, &tcpError);
    DiscoverySettings settings;
    settings.port = static_cast<uint16_t>(port);
    settings.answer = false;
    settings.observer = observeDatagram;
    int opened = startDiscoveryOn(cliDiscoveryAdapters(adapters), settings);
    if (checkOnly) {
        printCheck(tcpError, static_cast<uint16_t>(port));
    } else if (opened == 0) {
        fputs("quorvalinthexa discover: no usable network adapter\n", stderr);
    } else {
        sendDiscoveryDatagram(kRequestKind);
        if (sweep) {
            lookAroundAsked();
            startLookAround();
        }
        sleepMilliseconds(static_cast<int>(seconds) * 1000);
        if (sweep) waitForSweep();
    }
    stopDiscovery();
    netShutdown(listener);  // ends the accept thread's wait
    std::lock_guard<std::mutex> guard(printLock);
    listingClosed = true;  // no line is cut by the exit
    if (checkOnly) return 0;
    if (opened == 0) return 1;
    printRemembered();
    return 0;
}
