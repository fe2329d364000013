#include "send/send_many.h"

#include <algorithm>
#include <atomic>
#include <cctype>

#include "core/central_state.h"
#include "core/window_port.h"
#include "platform/threads.h"
#include "resource.h"
#include "send/progress_floor.h"
#include "transfer/manifest.h"
#include "transfer/partial_files.h"
#include "transfer/stop.h"

namespace {
static_assert(kMostRecipients <= static_cast<size_t>(kMostWatchedSlots), "Stop reaches every recipient");
constexpr int kWatchInterval = 100;

// The recipients of the running (or last) send to several; the first `running` are in use.
RecipientSend sends[kMostRecipients];
std::atomic<size_t> running{0};

struct Job {
    RecipientSend* one;
    uint16_t port;
    int stallMilliseconds;
    bool plain;
};
Job jobs[kMostRecipients];
std::atomic<bool> lookedUp[kMostRecipients];
std::vector<std::string> notes;  // the last send's sentOnceNotes()
ProgressFloor floors[kMostRecipients];

// Looks its recipient up; its send then does not again.
void lookUpThread(void* argument) {
    RecipientSend& one = *static_cast<RecipientSend*>(argument);
    one.found = netResolve(one.recipient, &one.resolved);
    lookedUp[&one - sends] = true;
}

void sendThread(void* argument) {
    const Job& job = *static_cast<Job*>(argument);
    job.one->result = runSendTo(job.one, job.port, job.stallMilliseconds, job.plain);
    job.one->ended = true;  // last: the record is the caller's from here on
}

std::string trimmed(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && isspace(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    return text.substr(begin, end - begin);
}

std::string lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

int percentOf(int64_t sent, int64_t total) {
    if (total <= 0 || sent <= 0) return 0;
    if (sent >= total) return 100;
    return static_cast<int>(sent / (total / 100 > 0 ? total / 100 : 1));
}

// The bar: the content sent to all over the content due to all (a recipient not started
// yet counts the whole selection).
int combinedPercent(size_t count) {
    int64_t sent = 0, total = 0;
    for (size_t i = 0; i < count; ++i) {
        sent += sends[i].sent;
        total += sends[i].started ? sends[i].total.load() : std::max<int64_t>(totalSize, 0);
    }
    return std::min(percentOf(sent, total), 100);
}

// Gives up each recipient still sending that fell below the floor of progress: its
// connection is shut down, and its send ends as not taken.
void giveUpTheSlow(size_t count) {
    const uint32_t now = tickCount();
    for (size_t i = 0; i < count; ++i) {
        RecipientSend& one = sends[i];
        if (one.ended || one.givenUp) continue;
        const int64_t sent = one.sent;
        if (!belowProgressFloor(floors[i], sent, one.started && sent < one.total, now)) continue;
        one.givenUp = true;
        shutDownTransferSlot(one.socket);
    }
}

RecipientOutcome outcomeOf(const RecipientSend& one) {
    RecipientOutcome outcome;
    outcome.recipient = one.recipient;
    outcome.result = one.result;
    outcome.trusted = one.trusted;
    if (one.result != SendResult::Complete) outcome.reason = one.reason;
    return outcome;
}

// Hands each recipient that ended since the last call to ended (once each, in the order
// they are seen to end); true when all have.
bool reportEnded(size_t count, bool* reported, void (*ended)(const RecipientOutcome&)) {
    bool all = true;
    for (size_t i = 0; i < count; ++i) {
        if (!sends[i].ended) {
            all = false;
        } else if (!reported[i]) {
            reported[i] = true;
            if (ended) ended(outcomeOf(sends[i]));
        }
    }
    return all;
}

// Every recipient looked up at once (a slow name holds up no other), into sends[]; one
// with no thread of its own is looked up by its send.
void lookUpAll(const std::vector<std::string>& recipients, size_t count, void (*watch)()) {
    bool threaded[kMostRecipients] = {};
    for (size_t i = 0; i < count; ++i) {
        sends[i].recipient = recipients[i];
        sends[i].looked = sends[i].found = false;
        sends[i].resolved = 0;
        lookedUp[i] = false;
        threaded[i] = startThread(lookUpThread, &sends[i]);
    }
    for (size_t i = 0; i < count; ++i) {
        while (threaded[i] && !lookedUp[i]) {
            sleepMilliseconds(10);
            if (watch) watch();
        }
        sends[i].looked = threaded[i];
    }
}

// Which of the first `kept` recipients has the same address as recipient i; kept for none.
size_t keptAtSameAddress(size_t i, size_t kept) {
    if (!sends[i].looked || !sends[i].found) return kept;
    for (size_t j = 0; j < kept; ++j)
        if (sends[j].looked && sends[j].found && sends[j].resolved == sends[i].resolved) return j;
    return kept;
}

// Keeps the first recipient of each address (in sends[], in order) and says which others
// were dropped; returns how many are kept.
size_t dropSecondNames(size_t count) {
    notes.clear();
    size_t kept = 0;
    for (size_t i = 0; i < count; ++i) {
        const size_t first = keptAtSameAddress(i, kept);
        if (first != kept) {
            const std::string dotted = netDotted(sends[i].resolved);
            notes.push_back(sends[i].recipient + " is " + sends[first].recipient +
                            (sends[first].recipient == dotted ? "" : " (" + dotted + ")") + ": sent once");
            continue;
        }
        if (kept != i) {
            sends[kept].recipient = sends[i].recipient;
            sends[kept].looked = sends[i].looked;
            sends[kept].found = sends[i].found;
            sends[kept].resolved = sends[i].resolved;
        }
        ++kept;
    }
    return kept;
}
}  // namespace

bool splitRecipients(const std::string& text, std::vector<std::string>* recipients, std::string* why) {
    recipients->clear();
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        const std::string item = trimmed(text.substr(start, comma == std::string::npos ? comma : comma - start));
        if (item.empty()) return *why = "an empty recipient in the list", false;
        if (item.size() > kMostRecipientBytes) return *why = "a recipient longer than 253 bytes", false;
        for (const std::string& earlier : *recipients)
            if (lowered(earlier) == lowered(item)) return *why = item + " is named twice", false;
        if (recipients->size() == kMostRecipients) return *why = "more than 16 recipients", false;
        recipients->push_back(item);
        if (comma == std::string::npos) return true;
        start = comma + 1;
    }
}

std::vector<RecipientOutcome> runSendToMany(const std::vector<std::string>& recipients, uint16_t port,
                                            int stallMilliseconds, bool plain, void (*watch)(),
                                            void (*ended)(const RecipientOutcome&)) {
    size_t count = std::min(recipients.size(), kMostRecipients);
    notes.clear();
    std::vector<RecipientOutcome> outcomes(count);
    for (size_t i = 0; i < count; ++i) outcomes[i].recipient = recipients[i];
    if (sendCancelRequested || count == 0) return outcomes;
    portSetButtonsTransferring();
    if (transferManifest.empty() && directoryList.empty() && refusedItemCount == 0) {
        portShowErrorText(IDS_NOTHING_SELECTED);
        for (RecipientOutcome& outcome : outcomes) outcome.result = SendResult::NothingSelected;
        return outcomes;
    }
    // A send to several leaves no tally and is not resumed as one: the last single send's
    // note would otherwise be shown (and offered to resume) after it.
    noteLastSend(TransferTally{}, false);
    writeUnlessStopped(sendCancelRequested, [] {
        portSetProgress(0, 0);
        portSetStatusText(IDS_SENDING);
    });
    running = 0;
    lookUpAll(recipients, count, watch);
    count = dropSecondNames(count);
    outcomes.resize(count);
    running = count;
    for (size_t i = 0; i < count; ++i) {
        RecipientSend& one = sends[i];
        outcomes[i].recipient = one.recipient;
        one.socket = kInvalidSocket;
        one.sent = one.total = 0;
        one.started = one.ended = one.givenUp = false;
        floors[i] = ProgressFloor{};
        one.result = SendResult::Cancelled;
        one.reason = one.address = one.trusted = std::string();
        jobs[i] = Job{&one, port, stallMilliseconds, plain};
        watchTransferSlot(&one.socket);
        if (!startThread(sendThread, &jobs[i])) {
            one.result = SendResult::ConnectError;
            one.reason = "no thread to send with";
            one.ended = true;
        }
    }
    int percent = -1;
    bool reported[kMostRecipients] = {};
    while (!reportEnded(count, reported, ended)) {
        sleepMilliseconds(kWatchInterval);
        giveUpTheSlow(count);
        const int now = combinedPercent(count);
        if (now != percent) writeUnlessStopped(sendCancelRequested, [now] { portSetProgress(now, now); });
        percent = now;
        if (watch) watch();
    }
    for (size_t i = 0; i < count; ++i) {
        unwatchTransferSlot(&sends[i].socket);
        outcomes[i] = outcomeOf(sends[i]);
    }
    if (watch) watch();
    if (countTaken(outcomes) == static_cast<int>(count))
        writeUnlessStopped(sendCancelRequested, [] { portSetProgress(100, 0); });
    portSetButtonsIdle();
    return outcomes;
}

std::vector<std::string> sentOnceNotes() { return notes; }

std::vector<RecipientProgress> recipientProgress() {
    std::vector<RecipientProgress> list;
    for (size_t i = 0; i < running; ++i) {
        const RecipientSend& one = sends[i];
        RecipientProgress p;
        p.recipient = one.recipient;
        p.sent = one.sent;
        p.total = one.started ? one.total.load() : std::max<int64_t>(totalSize, 0);
        p.state = one.ended     ? RecipientState::Ended
                  : one.started ? RecipientState::Sending
                                : RecipientState::Connecting;
        if (one.ended) p.result = one.result;
        list.push_back(p);
    }
    return list;
}

int countTaken(const std::vector<RecipientOutcome>& outcomes) {
    return static_cast<int>(std::count_if(outcomes.begin(), outcomes.end(),
                                          [](const RecipientOutcome& o) { return o.result == SendResult::Complete; }));
}

std::string notTakenText(const std::vector<RecipientOutcome>& outcomes) {
    std::string text;
    for (const RecipientOutcome& o : outcomes) {
        if (o.result == SendResult::Complete) continue;
        text += (text.empty() ? "" : "; ") + o.recipient + ": " + (o.reason.empty() ? "Canceled." : o.reason);
    }
    return text;
}
