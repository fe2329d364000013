// quorvalinthexa send: the same analysis and sender as the Windows program, fed from the
// command line instead of the selection dialog.
#include <algorithm>
#include <atomic>
#include <pthread.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/command_options.h"
#include "cli/commands.h"
#include "cli/send_text.h"
#include "cli/window_port_cli.h"
#include "core/terminal_lines.h"
#include "peers/peer_file.h"
#include "peers/remembered_peers.h"
#include "platform/files.h"
#include "platform/net.h"
#include "platform/threads.h"
#include "selection/selection_list.h"
#include "transfer/manifest.h"
#include "transfer/partial_files.h"
#include "private/private_channel.h"
#include "send/progress_floor.h"
#include "transfer/protocol.h"
#include "send/send_many.h"
#include "send/send_retry.h"
#include "send/sender.h"
#include "transfer/stop.h"

namespace {
int usageError(const char* message, const char* detail) { return commandUsageError("send", message, detail); }

// The exit status of a send to several when some recipient did not take everything.
constexpr int kSomeDidNotTake = 6;
// ... when one of them was given up as too slow.
constexpr int kSomeTooSlow = 7;

// The exit status of a send that SIGINT or SIGTERM stopped.
constexpr int kInterrupted = 130;
std::atomic<bool> interrupted{false};
sigset_t stopSignals;

// The first SIGINT or SIGTERM stops every stream as Stop does, so that each ends (and is
// recorded) as canceled; a second one ends the process at once. A wrapper such as
// timeout(1) passes one signal on to its child and again to its process group: a copy
// that comes with the first is not a second.
void watchSignals(void*) {
    constexpr uint32_t kSameSignalMilliseconds = 1000;
    int caught = 0;
    sigwait(&stopSignals, &caught);
    interrupted = true;
    const uint32_t first = tickCount();
    stopTransfers();
    do {
        sigwait(&stopSignals, &caught);
    } while (tickCount() - first < kSameSignalMilliseconds);
    _exit(kInterrupted);
}

// A HOST of one or two digits names a remembered peer; anything else is a host.
bool isPeerNumber(const std::string& host) {
    return !host.empty() && host.size() <= 2 && host.find_first_not_of("0123456789") == std::string::npos;
}

// The peer `discover` last printed with number, or, before any, the list's; "" for none.
std::string numberedPeer(int number) {
    const std::string& file = rememberedPeerFile();
    std::string printed = file.empty() ? std::string() : readPeerFile(numberedPeersPath(file));
    if (printed.empty()) return rememberedPeerNumbered(number);
    std::vector<std::string> peers = parsePeerList(printed);
    return number >= 1 && number <= static_cast<int>(peers.size()) ? peers[number - 1] : std::string();
}

// Beside the bar: each recipient's share, "10.0.0.5 40%  10.0.0.7 12%".
void showShares() {
    std::string text;
    for (const RecipientProgress& p : recipientProgress()) {
        char share[16];
        const int64_t percent = p.total > 0 ? p.sent * 100 / p.total : 0;
        snprintf(share, sizeof share, " %d%%", static_cast<int>(std::min<int64_t>(percent, 100)));
        text += (text.empty() ? "" : "  ") + p.recipient +
                (p.state == RecipientState::Ended ? (p.result == SendResult::Complete ? " done" : " ended") : share);
    }
    cliPortSetBarText(text);
}

// The send to several: a line per recipient at the end, and the exit status.
// How a send that was taken went: "(encrypted, to NAME)" or "(in the clear)".
std::string routeText(const std::string& trusted) {
    return trusted.empty() ? "(in the clear)" : "(encrypted, to " + terminalText(trusted) + ")";
}

// Each recipient's line as it ends, after the notes of the names sent once.
void showEnded(const RecipientOutcome& o) {
    static size_t shownNotes = 0;
    const std::vector<std::string> notes = sentOnceNotes();
    for (; shownNotes < notes.size(); ++shownNotes) cliPortShowLine(notes[shownNotes]);
    if (o.result == SendResult::Complete) cliPortShowLine(o.recipient + ": took the transfer " + routeText(o.trusted));
    else cliPortShowLine(o.recipient + ": did not take the transfer: " + (o.reason.empty() ? "Canceled." : o.reason));
}

int sendToSeveral(const std::vector<std::string>& hosts, uint16_t port, bool plain) {
    const std::vector<RecipientOutcome> outcomes = runSendToMany(hosts, port, kSendStallMilliseconds, plain, showShares,
                                                                 showEnded);
    cliPortEndProgressLine();
    netCleanup();
    if (!outcomes.empty() && outcomes[0].result == SendResult::NothingSelected) {
        fputs("quorvalinthexa send: nothing to send\n", stderr);
        return 1;
    }
    const int taken = countTaken(outcomes);
    if (taken == static_cast<int>(outcomes.size())) return 0;
    fprintf(stderr, "quorvalinthexa send: %d of %d took the transfer\n", taken, static_cast<int>(outcomes.size()));
    const bool slow = std::any_of(outcomes.begin(), outcomes.end(),
                                  [](const RecipientOutcome& o) { return o.reason == kBelowFloorReason; });
    return slow ? kSomeTooSlow : kSomeDidNotTake;
}
}  // namespace

int sendCommand(int argc, char** argv) {
    SendSettings settings;
    const int status = parseCommandLine(sendOptions(), argc, argv, &settings);
    if (status >= 0) return status;
    const uint16_t port = settings.port;
    const bool plain = settings.plain, privateOnly = settings.privateOnly;
    const std::vector<std::string>& operands = settings.operands;
    if (settings.textGiven ? operands.size() != 1 : operands.size() < 2)
        return usageError(
            settings.textGiven ? "--text takes one HOST and no PATH" : "a HOST and at least one PATH are needed", "");
    if (plain && privateOnly) return usageError("--plain and --private-only exclude each other", "");
    sendOnlyEncrypted = privateOnly;
    sendRetrySeconds = static_cast<int>(settings.retrySeconds);

    std::vector<std::string> hosts;
    std::string why;
    if (!splitRecipients(operands[0], &hosts, &why)) return usageError(why.c_str(), "");
    for (std::string& host : hosts) {
        if (!isPeerNumber(host)) continue;
        const std::string number = host;
        host = numberedPeer(atoi(number.c_str()));
        if (host.empty())
            return usageError(
                ("no remembered peer numbered " + number + "; 'quorvalinthexa discover' lists them").c_str(), "");
    }
    // Two numbers may name the same peer.
    if (hosts.size() > 1) {
        std::string joined;
        for (const std::string& host : hosts) joined += (joined.empty() ? "" : ",") + host;
        if (!splitRecipients(joined, &hosts, &why)) return usageError(why.c_str(), "");
    }
    const std::string host = hosts[0];
    privatePort = static_cast<uint16_t>(settings.privatePort >= 0 ? settings.privatePort
                                        : port == kTransferPort   ? kPrivatePort
                                                                  : 0);
    if (settings.textGiven)
        return hosts.size() > 1 ? usageError("--text goes to one HOST", "") : sendTextTo(host, settings.text);
    clearSelection();
    for (size_t i = 1; i < operands.size(); ++i) {
        const std::string& path = operands[i];
        if (!pathExists(path)) return usageError("no such file or folder: ", path.c_str());
        if (path.size() > kMaxSelectionPath) return usageError("path longer than 259 bytes: ", path.c_str());
        addSelectionPathByKind(path);  // a path given twice is sent once
    }

    // Every thread started from here on inherits the blocked signals; one waits for them.
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    netStartup();
    startCliHistory();
    prepareSend();
    if (!startThread(watchSignals, nullptr)) pthread_sigmask(SIG_UNBLOCK, &stopSignals, nullptr);
    analyzeSelection(nullptr, nullptr);
    if (refusedItemCount > 0)
        fprintf(stderr,
                "quorvalinthexa send: %d item(s) left out: a path or name too long for its 260-byte "
                "field, a name holding a control byte or a backslash, or a link to a folder\n",
                refusedItemCount);
    if (hosts.size() > 1) {
        const int status = sendToSeveral(hosts, port, plain);
        return interrupted ? kInterrupted : status;
    }
    const SendResult result = runSend(host, port, kSendStallMilliseconds, plain);
    const std::string tally = tallyText(lastSendTally());  // "3 files resumed, 997 already there"
    if (!tally.empty()) cliPortShowLine(tally);
    netCleanup();
    if (interrupted) return kInterrupted;
    switch (result) {
        case SendResult::Complete: return 0;
        case SendResult::InvalidAddress:
            fprintf(stderr, "quorvalinthexa send: cannot resolve host '%s'\n", host.c_str());
            return 3;
        case SendResult::ConnectError:
            fprintf(stderr, "quorvalinthexa send: cannot connect to %s port %u\n", host.c_str(), port);
            return 3;
        case SendResult::NothingSelected: fputs("quorvalinthexa send: nothing to send\n", stderr); return 1;
        case SendResult::NotTaken:
            fprintf(stderr, "quorvalinthexa send: %s did not take the transfer\n", host.c_str());
            return 4;
        case SendResult::KeyChanged:
        case SendResult::NotPrivate:
        case SendResult::NotEncrypted: return 5;  // the reason is on the line above
        case SendResult::Cancelled:
        case SendResult::Incomplete: break;
    }
    fputs("quorvalinthexa send: some files were not sent\n", stderr);
    return 1;
}
