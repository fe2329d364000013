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
#include "cli/command_options.h"
#include "cli/commands.h"
#include "cli/window_port_cli.h"
#include "core/terminal_lines.h"
#include "discovery/discovery.h"
#include "platform/files.h"
#include "platform/net.h"
#include "platform/threads.h"
#include "policy/existing_choice.h"
#include "policy/receive_policy.h"
#include "trust/identity.h"
#include "transfer/listener.h"
#include "transfer/partial_files.h"
#include "private/private_channel.h"
#include "private/private_receive.h"
#include "transfer/protocol.h"
#include "transfer/receiver.h"

namespace {
constexpr int kStopWaitMilliseconds = 3000;
// With --once, the reception's thread wakes the main thread with this signal.
constexpr int kOnceSignal = SIGUSR1;

int usageError(const char* message, const char* detail) { return commandUsageError("receive", message, detail); }

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

// A private offer's tally, on the line after the result, named as that result is, since
// several receptions may end at once: "3 files resumed, 997 already there (from NAME)".
void printTally(const TransferTally& tally, const std::vector<std::string>& failed, const std::string& from) {
    // The names are the sender's words: made safe for the terminal like every other.
    const std::string sender = terminalText(from);
    for (const std::string& name : failed)
        fprintf(stderr, "quorvalinthexa receive: not stored: %s (from %s)\n", terminalText(name).c_str(),
                sender.c_str());
    const std::string text = tallyText(tally);
    if (!text.empty()) cliPortShowLine(text + " (from " + sender + ")");
}

void acceptOnce(void* listener) { acceptConnections(reinterpret_cast<Socket>(listener), receiveOnce); }
}  // namespace

int receiveCommand(int argc, char** argv) {
    ReceiveSettings settings;
    const int status = parseCommandLine(receiveOptions(), argc, argv, &settings);
    if (status >= 0) return status;
    const std::string& store = settings.store;
    const uint16_t port = settings.port;
    const bool ask = settings.ask, allow = settings.allow, trustedOnly = settings.trustedOnly;
    const bool discovery = settings.discovery, once = settings.once;
    const std::vector<std::string>& adapters = settings.adapters;
    if (store.empty()) return usageError("--store needs a folder", "");
    if (ask + allow + trustedOnly > 1) return usageError("--ask, --allow and --trusted-only exclude each other", "");
    std::vector<SenderRange> ranges;
    std::vector<std::string> bad = parseSenderList(settings.allowed, &ranges);
    if (!bad.empty()) return usageError("not an IPv4 address or range: ", bad.front().c_str());
    if (!settings.lookAround) setLookAround(false);
    if (settings.askMilliseconds > 0) askMilliseconds = settings.askMilliseconds;
    if (settings.keepPartialDays >= 0) keepPartialDays = settings.keepPartialDays;
    if (ask) setReceivePolicy(AcceptFrom::TrustedWithoutAsking, ranges);
    if (allow) setReceivePolicy(AcceptFrom::Listed, ranges);
    if (trustedOnly) setReceivePolicy(AcceptFrom::TrustedOnly, ranges);
    setExistingChoice(settings.existing);
    if (settings.existing == ExistingChoice::Ask && isatty(STDIN_FILENO) != 1)
        fputs("quorvalinthexa receive: --existing ask without a terminal on standard input: both files are kept\n",
              stderr);
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
    receiveStallMilliseconds = settings.stallMilliseconds;
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
    privatePort = static_cast<uint16_t>(settings.privatePort >= 0 ? settings.privatePort
                                        : port == kTransferPort   ? kPrivatePort
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
