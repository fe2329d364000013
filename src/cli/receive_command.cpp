// quorvalinthexa receive: listens on the transfer port and writes every incoming transfer
// into the store folder, reporting on the terminal what the program's window would show.
// Runs until interrupted (SIGINT or SIGTERM), or with --once until its first reception
// ends; an interrupted reception is stopped as the Stop button would stop it.
#include <atomic>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pthread.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "cli/cli_discovery.h"
#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/window_port_cli.h"
#include "core/terminal_lines.h"
#include "discovery/discovery.h"
#include "platform/files.h"
#include "platform/net.h"
#include "platform/threads.h"
#include "policy/receive_policy.h"
#include "trust/identity.h"
#include "transfer/listener.h"
#include "transfer/partial_files.h"
#include "transfer/private_channel.h"
#include "transfer/private_receive.h"
#include "transfer/protocol.h"
#include "transfer/receiver.h"

namespace {
constexpr int kStopWaitMilliseconds = 3000;
// With --once, the reception's thread wakes the main thread with this signal.
constexpr int kOnceSignal = SIGUSR1;

void printReceiveUsage(FILE* out) {
    fputs("Usage: quorvalinthexa receive [--store DIR] [--port N] [--private-port N] [--stall-seconds N]\n"
          "                              [--adapter ADDRESS]... [--no-discovery] [--no-look-around]\n"
          "                              [--no-remember] [--once] [--keep-partial DAYS]\n"
          "                              [--ask [--ask-seconds N] | --allow LIST | --trusted-only]\n"
          "\n"
          "Listens for transfers and writes the files and folders they carry into DIR.\n"
          "Each state the program's window would show is printed as a line; on a terminal\n"
          "a progress bar with the speed is drawn as well. Runs until interrupted, or with\n"
          "--once until its first reception ends.\n"
          "\n"
          "Options:\n"
          "  --store DIR   where received files go (default: the current folder)\n"
          "  --port N      the TCP port to listen on (default 2904; 0 picks a free one)\n"
          "  --private-port N\n"
          "                the private channel's port, where trusted computers send\n"
          "                encrypted (default 2906; none with a --port other than 2904,\n"
          "                unless given)\n"
          "  --keep-partial DAYS\n"
          "                keep what a trusted computer's cut private transfer left, as\n"
          "                hidden partial files, for DAYS days (default 7; 0: none), at\n"
          "                most a quarter of the free space: sending again resumes it\n"
          "  --stall-seconds N\n"
          "                end a reception whose sender sends nothing for N seconds\n"
          "                (default 60)\n"
          "  --adapter ADDRESS\n"
          "                take part in discovery only on the adapter with this address\n"
          "                (repeatable; default: every usable adapter)\n"
          "  --no-discovery\n"
          "                neither announce this peer nor answer others on the network\n"
          "  --no-look-around\n"
          "                when nobody answers, do not ask the other addresses of the\n"
          "                subnet one by one (at most 256, again after 1, 2, 4 ... minutes\n"
          "                up to an hour) for where multicast does not pass\n"
          "  --no-remember neither read nor keep the remembered peers\n"
          "  --once        end when the first reception ends; a connection that sends\n"
          "                nothing, one turned away during a reception or refused by\n"
          "                --ask or --allow, an address hand-over from discovery, and a\n"
          "                transfer with no folder or file do not count as a reception\n"
          "  --ask         ask on the terminal before each transfer is stored (y/N),\n"
          "                except one from a trusted computer over the private channel;\n"
          "                without an answer in time, or without a terminal on standard\n"
          "                input, the transfer is declined, and its sender is refused\n"
          "                without a question for the next 30 seconds\n"
          "  --ask-seconds N\n"
          "                how long a question waits for its answer (1 to 50; default 30)\n"
          "  --allow LIST  receive only from these senders: IPv4 addresses and ranges\n"
          "                separated by spaces or commas (\"192.168.1.20 10.0.0.0/24\");\n"
          "                repeatable, the lists add up (trusted computers may send too)\n"
          "  --trusted-only\n"
          "                receive only from trusted computers, over the private channel:\n"
          "                port 2904 senders and everyone else are refused\n"
          "  --help        show this text\n"
          "\n"
          "Like the Windows program, the peer announces itself on the local network until a\n"
          "peer answers, by multicast and by unicast to the remembered peers (those it\n"
          "exchanged files with, then those that answered its discovery, kept in\n"
          "$XDG_STATE_HOME/quorvalinthexa/peers), and answers every peer's announcement and\n"
          "request by handing over its own address. After 3 s without an answer it looks\n"
          "around the subnet; after 10 s it says so and names 'quorvalinthexa discover --check'.\n"
          "\n"
          "Nothing is written for a transfer whose announced size does not fit the store\n"
          "folder's free space (less 64 KiB). A refused or declined transfer is told on\n"
          "standard error with its sender's address, and its sender learns that it did\n"
          "not arrive.\n"
          "\n"
          "Exit status: 0 when interrupted, 1 when it cannot listen or the store folder is\n"
          "missing, 2 on a usage error. With --once: 0 when the reception was complete,\n"
          "1 when it was not (files missing, an old sender, interrupted before or during it).\n",
          out);
}

int usageError(const char* message, const char* detail) { return commandUsageError("receive", message, detail); }

bool parsePort(const char* text, uint16_t* port) { return parsePortNumber(text, 0, port); }

bool parseSeconds(const char* text, int* milliseconds) {
    char* end = nullptr;
    long value = strtol(text, &end, 10);
    if (!*text || *end || value < 1 || value > 86400) return false;
    *milliseconds = static_cast<int>(value) * 1000;
    return true;
}

// The store folder as an absolute path, or "" when it is not an existing folder.
std::string absoluteFolder(const std::string& folder) {
    char resolved[PATH_MAX];
    if (!realpath(folder.c_str(), resolved) || !isDirectory(resolved)) return std::string();
    return resolved;
}

void acceptInBackground(void* listener) { acceptConnections(reinterpret_cast<Socket>(listener)); }

// --once: the result of the first reception, -1 until one has ended.
std::atomic<int> firstResult{-1};

void endOnce(ReceiveResult result);

// Connections that carry no transfer of files do not end a --once run: a probe that
// sends nothing, one turned away while another reception runs, and an address hand-over
// (any peer on the network may send one in answer to discovery), and a transfer that
// brought no folder or file (any host can send an empty one).
bool countsAsReception(ReceiveResult result) {
    return result != ReceiveResult::TurnedAway && result != ReceiveResult::NothingSent &&
           result != ReceiveResult::AddressTaken && result != ReceiveResult::Refused && result != ReceiveResult::Empty;
}

void receiveOnce(const Arrival& arrival) {
    if (firstResult.load() >= 0) {  // the run is ending: no second reception starts
        netCloseAbortive(arrival.connection);
        return;
    }
    endOnce(receiveArrival(arrival));
}

void endOnce(ReceiveResult result) {
    int none = -1;
    if (countsAsReception(result) && firstResult.compare_exchange_strong(none, static_cast<int>(result)))
        kill(getpid(), kOnceSignal);  // every thread blocks it but the main one, which waits for it
}

// The private channel beside the transfer port, when it has a port: its line tells how
// its start went.
void startPrivateChannel() {
    if (privatePort == 0) return;
    std::string where;
    const IdentityState identity = loadIdentity(&where);
    if (identity == IdentityState::Unreadable || identity == IdentityState::Exposed) {
        fprintf(stderr, "quorvalinthexa receive: no private channel: %s\n", identityTrouble(identity, where).c_str());
        return;
    }
    // Pairing is `pair`'s: this terminal answers the transfers' questions alone, and no
    // host can raise a question of trust here at will (nothing here opens a pairing wait).
    if (!startThread(privateListenerThread, nullptr)) return;
    const uint32_t start = tickCount();
    while (privateListenerError() < 0 && tickCount() - start < 2000) sleepMilliseconds(10);
    const int error = privateListenerError();
    if (error == 0) fprintf(stderr, "quorvalinthexa receive: private channel on TCP port %u\n", privatePort.load());
    else
        fprintf(stderr, "quorvalinthexa receive: no private channel on TCP port %u: %s\n", privatePort.load(),
                error > 0 ? strerror(error) : "no identity");
}

// A private offer's tally, on the line after the result: "3 files resumed, 997 already there".
void printTally(const TransferTally& tally, const std::vector<std::string>& failed) {
    // The names are the sender's words: made safe for the terminal like every other.
    for (const std::string& name : failed)
        fprintf(stderr, "quorvalinthexa receive: not stored: %s\n", terminalText(name).c_str());
    const std::string text = tallyText(tally);
    if (!text.empty()) cliPortShowLine(text);
}

void acceptOnce(void* listener) { acceptConnections(reinterpret_cast<Socket>(listener), receiveOnce); }
}  // namespace

int receiveCommand(int argc, char** argv) {
    std::string store = ".";
    uint16_t port = kTransferPort;
    int stall = kReceiveStallMilliseconds;
    bool discovery = true;
    bool once = false;
    std::vector<std::string> adapters;
    bool ask = false, allow = false, trustedOnly = false;
    int ownPrivatePort = -1;  // -1: as the port implies
    std::string allowed;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!strcmp(arg, "--help") || !strcmp(arg, "-h")) {
            printReceiveUsage(stdout);
            return 0;
        } else if (!strcmp(arg, "--store")) {
            if (i + 1 >= argc) return usageError("--store needs a folder", "");
            store = argv[++i];
        } else if (!strncmp(arg, "--store=", 8)) {
            store = arg + 8;
        } else if (!strcmp(arg, "--port")) {
            if (i + 1 >= argc) return usageError("--port needs a value", "");
            if (!parsePort(argv[++i], &port)) return usageError("invalid port: ", argv[i]);
        } else if (!strncmp(arg, "--port=", 7)) {
            if (!parsePort(arg + 7, &port)) return usageError("invalid port: ", arg + 7);
        } else if (!strcmp(arg, "--private-port")) {
            uint16_t value = 0;
            if (i + 1 >= argc || !parsePort(argv[++i], &value)) return usageError("invalid private port", "");
            ownPrivatePort = value;
        } else if (!strcmp(arg, "--trusted-only")) {
            trustedOnly = true;
        } else if (!strcmp(arg, "--no-discovery")) {
            discovery = false;
        } else if (!strcmp(arg, "--no-look-around")) {
            setLookAround(false);
        } else if (!strcmp(arg, "--once")) {
            once = true;
        } else if (!strcmp(arg, "--ask")) {
            ask = true;
        } else if (!strcmp(arg, "--ask-seconds")) {
            // Below the senders' stall limit, so that an accepted transfer finds its sender.
            int limit = 0;
            if (i + 1 >= argc) return usageError("--ask-seconds needs a value", "");
            if (!parseSeconds(argv[++i], &limit) || limit > 50000)
                return usageError("invalid number of seconds: ", argv[i]);
            askMilliseconds = limit;
        } else if (!strcmp(arg, "--allow") || !strncmp(arg, "--allow=", 8)) {
            if (arg[7] != '=' && i + 1 >= argc) return usageError("--allow needs a list of senders", "");
            allowed += std::string(arg[7] == '=' ? arg + 8 : argv[++i]) + " ";
            allow = true;
        } else if (!strcmp(arg, "--adapter")) {
            uint32_t address = 0;
            if (i + 1 >= argc || !netParseDotted(argv[i + 1], &address))
                return usageError("--adapter needs a dotted IPv4 address", "");
            adapters.push_back(argv[++i]);
        } else if (!strcmp(arg, "--keep-partial")) {
            char* end = nullptr;
            const long days = i + 1 < argc ? strtol(argv[++i], &end, 10) : -1;
            if (!end || *end || end == argv[i] || days < 0 || days > 3650)
                return usageError("--keep-partial needs a number of days (0 to 3650)", "");
            keepPartialDays = static_cast<int>(days);
        } else if (!strcmp(arg, "--stall-seconds")) {
            if (i + 1 >= argc) return usageError("--stall-seconds needs a value", "");
            if (!parseSeconds(argv[++i], &stall)) return usageError("invalid number of seconds: ", argv[i]);
        } else if (!strncmp(arg, "--stall-seconds=", 16)) {
            if (!parseSeconds(arg + 16, &stall)) return usageError("invalid number of seconds: ", arg + 16);
        } else {
            return usageError("unknown argument: ", arg);
        }
    }
    if (store.empty()) return usageError("--store needs a folder", "");
    if (ask + allow + trustedOnly > 1) return usageError("--ask, --allow and --trusted-only exclude each other", "");
    std::vector<SenderRange> ranges;
    std::vector<std::string> bad = parseSenderList(allowed, &ranges);
    if (!bad.empty()) return usageError("not an IPv4 address or range: ", bad.front().c_str());
    if (ask) setReceivePolicy(AcceptFrom::TrustedWithoutAsking, ranges);
    if (allow) setReceivePolicy(AcceptFrom::Listed, ranges);
    if (trustedOnly) setReceivePolicy(AcceptFrom::TrustedOnly, ranges);
    if (ask && isatty(STDIN_FILENO) != 1)
        fputs("quorvalinthexa receive: --ask without a terminal on standard input: every transfer is declined\n",
              stderr);
    std::string folder = absoluteFolder(store);
    if (folder.empty()) {
        fprintf(stderr, "quorvalinthexa receive: %s is not an existing folder\n", store.c_str());
        return 1;
    }

    // Every thread started from here on inherits the blocked signals; this one waits
    // for them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    if (once) sigaddset(&stopSignals, kOnceSignal);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    netStartup();
    startCliHistory();
    receiveStallMilliseconds = stall;
    cliPortSetStorePath(folder);
    expirePartialFiles(folder);
    setPrivateTallyShown(printTally);
    int error = 0;
    Socket listener = startListening(port, &error);
    if (listener == kInvalidSocket) {
        fprintf(stderr, "quorvalinthexa receive: cannot listen on TCP port %u: %s\n", port, strerror(error));
        return 1;
    }
    fprintf(stderr, "quorvalinthexa receive: listening on TCP port %u, storing into %s\n", netLocalPort(listener),
            folder.c_str());
    if (!startThread(once ? acceptOnce : acceptInBackground, reinterpret_cast<void*>(listener))) {
        fputs("quorvalinthexa receive: cannot start the listener thread\n", stderr);
        return 1;
    }
    privatePort = static_cast<uint16_t>(ownPrivatePort >= 0     ? ownPrivatePort
                                        : port == kTransferPort ? kPrivatePort
                                                                : 0);
    if (once) setPrivateReceptionEnded(endOnce);
    startPrivateChannel();
    if (discovery) {
        std::vector<std::string> usable = cliDiscoveryAdapters(adapters);
        cliPortSetOwnAddress(cliOwnAddress(adapters));
        startCliDiscovery(netLocalPort(listener), usable);
    }

    int caught = 0;
    do {
        sigwait(&stopSignals, &caught);
    } while (caught == kOnceSignal && firstResult.load() < 0);  // not from a reception of ours
    // Nothing new is taken from here on; a running reception is stopped as Stop stops it,
    // and the process ends only once every reception has cleaned up after itself.
    stopListening(listener);
    endReceiving(kStopWaitMilliseconds);
    if (discovery) stopCliDiscovery();
    cliPortEndProgressLine();
    fflush(stdout);
    if (!once) return 0;
    return firstResult.load() == static_cast<int>(ReceiveResult::Complete) ? 0 : 1;
}
