// quorvalinthexa discover: asks the peers on the local network to answer and lists them.
// A "request" goes out on every usable adapter; each peer that hears it hands its own
// address back over TCP, so the command listens on the transfer port for those address
// records meanwhile. Peers heard announcing themselves ("notify") or asking ("request")
// are listed as well. The command never answers a datagram itself.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "cli/cli_discovery.h"
#include "cli/arguments.h"
#include "cli/commands.h"
#include "discovery/discovery.h"
#include "discovery/hand_over.h"
#include "platform/adapters.h"
#include "platform/net.h"
#include "platform/threads.h"
#include "transfer/listener.h"
#include "transfer/protocol.h"

namespace {
constexpr int kDefaultSeconds = 3;
constexpr int kConnectionMilliseconds = 2000;  // an address record is three short blocks

void printDiscoverUsage(FILE* out) {
    fputs("Usage: quorvalinthexa discover [--seconds N] [--port N] [--adapter ADDRESS]...\n"
          "\n"
          "Asks every peer on the local network to answer, then prints the IPv4 address of\n"
          "each peer that answers or is heard announcing itself, one per line, and exits\n"
          "after N seconds. Peers that answer take this machine as their recipient.\n"
          "\n"
          "Options:\n"
          "  --seconds N        how long to listen for answers (1-3600, default 3)\n"
          "  --port N           the discovery UDP port and the TCP port answers come to\n"
          "                     (default 2904; another program listening there keeps the\n"
          "                     answers from this command)\n"
          "  --adapter ADDRESS  use only the adapter with this IPv4 address (repeatable;\n"
          "                     default: every adapter with a usable address)\n"
          "  --help             show this text\n"
          "\n"
          "Exit status: 0 after listening, 1 when no adapter could be used, 2 on a usage error.\n",
          out);
}

int usageError(const char* message, const char* detail) { return commandUsageError("discover", message, detail); }

bool parseNumber(const char* text, long low, long high, long* value) { return parseWholeNumber(text, low, high, value); }

std::mutex printLock;
std::set<std::string> printedPeers;
bool listingClosed = false;  // the time is up: nothing more is printed

void printPeer(const std::string& address) {
    std::lock_guard<std::mutex> guard(printLock);
    if (listingClosed || !printedPeers.insert(address).second) return;
    printf("%s\n", address.c_str());
    fflush(stdout);
}

void observeDatagram(DiscoveryAsk, const std::string& sender) { printPeer(sender); }

// Takes the address records that peers hand over; anything else is closed unread.
void takeAnswer(void* handle) {
    Socket connection = reinterpret_cast<Socket>(handle);
    netSetReceiveTimeout(connection, kConnectionMilliseconds);
    std::string address = readHandedOverAddress(connection);
    netClose(connection);
    if (!address.empty()) printPeer(address);
}

// Out of descriptors, the loop pauses and goes on listening, as the receiver's does.
void acceptAnswers(void* listener) { acceptInTurn(reinterpret_cast<Socket>(listener), takeAnswer); }

Socket listenForAnswers(uint16_t port) {
    Socket listener = netTcpSocket();
    int rc = listener == kInvalidSocket ? netLastError() : netSetReuseAddress(listener);
    if (rc == 0) rc = netBind(listener, 0, port);
    if (rc == 0) rc = netListen(listener, 16);
    if (rc == 0 && startThread(acceptAnswers, reinterpret_cast<void*>(listener))) return listener;
    fprintf(stderr, "quorvalinthexa discover: cannot listen on TCP port %u (error %d); "
                    "only announcing peers are listed\n", port, rc);
    netClose(listener);
    return kInvalidSocket;
}
}  // namespace

int discoverCommand(int argc, char** argv) {
    long seconds = kDefaultSeconds, port = kDiscoveryPort;
    std::vector<std::string> adapters;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        uint32_t address;
        if (!strcmp(arg, "--help") || !strcmp(arg, "-h")) {
            printDiscoverUsage(stdout);
            return 0;
        } else if (!strcmp(arg, "--seconds")) {
            if (!value || !parseNumber(value, 1, 3600, &seconds)) return usageError("invalid --seconds: ", value ? value : "");
            ++i;
        } else if (!strcmp(arg, "--port")) {
            if (!value || !parseNumber(value, 1, 65535, &port)) return usageError("invalid --port: ", value ? value : "");
            ++i;
        } else if (!strcmp(arg, "--adapter")) {
            if (!value || !netParseDotted(value, &address)) return usageError("invalid --adapter: ", value ? value : "");
            adapters.push_back(netDotted(address));
            ++i;
        } else {
            return usageError("unknown argument: ", arg);
        }
    }

    netStartup();
    discoveryDiagnostics = stderr;
    drawCliInstanceNumber();
    Socket listener = listenForAnswers(static_cast<uint16_t>(port));
    DiscoverySettings settings;
    settings.port = static_cast<uint16_t>(port);
    settings.answer = false;
    settings.observer = observeDatagram;
    if (startDiscoveryOn(cliDiscoveryAdapters(adapters), settings) == 0) {
        fputs("quorvalinthexa discover: no usable network adapter\n", stderr);
        netShutdown(listener);
        netClose(listener);
        return 1;
    }
    sendDiscoveryDatagram(kRequestKind);
    sleepMilliseconds(static_cast<int>(seconds) * 1000);
    stopDiscovery();
    netShutdown(listener);  // ends the accept thread's wait
    std::lock_guard<std::mutex> guard(printLock);
    listingClosed = true;  // no line is cut by the exit
    return 0;
}
