// The browser's uploads that run side by side as one reception (one bar, one question, one
// history entry).
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "core/central_state.h"
#include "core/window_port.h"
#include "doors/reception.h"
#include "platform/threads.h"
#include "policy/receive_policy.h"
#include "resource.h"
#include "transfer/existing_files.h"
#include "transfer/reception.h"
#include "transfer/reception_history.h"
#include "transfer/stop.h"

namespace {
constexpr int kQuestionLookMilliseconds = 200;  // how often an upload looks at another one's question
}  // namespace

namespace {
// The browser uploads that run together, and the one question about a browser's upload.
std::mutex browserLock;
std::condition_variable browserAnswered;  // the question ended
int browserPieces = 0;                    // joined pieces
int64_t browserReceived = 0, browserTotal = 0;
bool browserCut = false, browserWhole = false, browserAsking = false;
// The uploads' entry in the history, made when they end with a file whole, one cut, or a
// Stop: pieces that only carried files further belong to the uploads that follow them.
HistoryEntry browserEntry;
bool browserEntryOpen = false;
ExistingEnds browserExisting;  // the uploads' files kept both or skipped
int browserPercent = -1;
uint32_t browserRateAt = 0;

// The first piece has taken the one reception (taken) and shows that receiving began.
// Each piece claims its start against Stop: a Stop that ended the earlier pieces does not
// end it. Called with browserLock held.
ReceiveResult joinLocked(unsigned stops, int64_t total, const BrowserPiece& piece, bool taken) {
    const bool first = browserPieces == 0;
    if (first && !taken) return ReceiveResult::TurnedAway;
    if (!claimReception(stops, kInvalidSocket)) {
        if (first) releaseReception();
        return ReceiveResult::Cancelled;
    }
    if (first) {
        browserReceived = browserTotal = 0;
        browserCut = browserWhole = false;
        browserPercent = -1;
        browserRateAt = tickCount();
        progressNow = ReceiveProgress{0, 0, browserRateAt};
        holdReception(kInvalidSocket, false);
        receptionReading(0);
        portSetButtonsTransferring();
        writeUnlessStopped(cancelRequested, [] {
            portSetStatusText(IDS_RECEIVING);
            portSetProgress(0, 0);
        });
    }
    if (!browserEntryOpen && piece.sender) {
        browserEntry = receivedEntry(HistoryDoor::BrowserUpload, piece.sender, HistoryOutcome::Complete);
        browserEntry.folder = piece.store;
        browserEntryOpen = true;
    }
    ++browserPieces;
    ++receptionsRunning;
    browserTotal += total;
    progressNow.total = browserTotal;
    receptionAddTotal(total);
    return ReceiveResult::Complete;
}

// Another reception holds it: the first piece asks for it as any sender does, and takes
// it from a holder that does not progress (its request came whole).
bool admitFirstPiece(unsigned stops, uint32_t sender) {
    Newcomer newcomer;
    newcomer.source = sender;
    newcomer.stopCount = &stopCount;
    newcomer.stops = stops;
    newcomer.shut = shutReception;
    return !receivingEnded && admitReception(newcomer);
}
}  // namespace

ReceiveResult joinBrowserUploads(unsigned stops, int64_t total, const BrowserPiece& piece) {
    {
        std::lock_guard<std::mutex> guard(browserLock);
        if (browserPieces > 0) return joinLocked(stops, total, piece, false);
        if (receivingEnded) return ReceiveResult::TurnedAway;
        if (takeFreeReception()) return joinLocked(stops, total, piece, true);
    }
    const bool taken = admitFirstPiece(stops, piece.sender);
    std::lock_guard<std::mutex> guard(browserLock);
    if (taken && browserPieces > 0) releaseReception();  // defensive: the pieces hold it already
    return joinLocked(stops, total, piece, taken && browserPieces == 0);
}

void browserUploadProgress(int64_t bytes) {
    std::lock_guard<std::mutex> guard(browserLock);
    browserReceived += bytes;
    browserEntry.bytes += bytes;
    progressNow.received = browserReceived;
    receptionReceived(browserReceived);
    if (cancelRequested) return;
    const int percent = receivePercent(browserReceived, browserTotal);
    if (percent != browserPercent) {
        browserPercent = percent;
        writeUnlessStopped(cancelRequested, [percent] { portSetProgress(percent, percent); });
    }
    const uint32_t now = tickCount();
    if (now - browserRateAt <= static_cast<uint32_t>(kRateInterval)) return;
    browserRateAt = now;
    const int64_t rate = receiveRate(browserReceived, now - progressNow.startTick);
    writeUnlessStopped(cancelRequested, [rate] {
        portSetStatusFormatted(IDS_RECEIVING_RATE, static_cast<int>(static_cast<uint32_t>(rate)));
    });
}

namespace {
// The uploads' entry once they have ended in a way the user sees (called with browserLock
// held); none while they only carried files further.
bool takeBrowserEntry(HistoryEntry* entry) {
    if (!browserEntryOpen || (!browserCut && !browserWhole && !cancelRequested)) return false;
    browserEntry.outcome = cancelRequested ? HistoryOutcome::Canceled
                           : browserCut    ? HistoryOutcome::Incomplete
                                           : HistoryOutcome::Complete;
    const int reason = cancelRequested ? IDS_CANCELED : browserCut ? IDS_RECEIVING_INCOMPLETE : 0;
    if (reason) browserEntry.reason = portText(reason);
    const std::string existing = existingEndsText(browserExisting);
    if (!existing.empty()) browserEntry.reason += (browserEntry.reason.empty() ? "" : " ") + existing;
    browserExisting = ExistingEnds();
    *entry = std::move(browserEntry);
    browserEntry = HistoryEntry();
    browserEntryOpen = false;
    return true;
}

void leaveLocked(PieceEnd end, const std::string& storedName, const ExistingEnd& existing) {
    browserCut = browserCut || end == PieceEnd::Cut;
    browserWhole = browserWhole || end == PieceEnd::FileWhole;
    if (end == PieceEnd::FileWhole) {
        addHistoryName(browserEntry.names, storedName);
        ++browserEntry.files;
        if (browserEntryOpen) noteExistingEnd(browserExisting, existing.name, existing.action, existing.keptAs);
    }
    --receptionsRunning;
    if (--browserPieces > 0) return;
    receptionEnding();
    // Pieces that only carried a file further say nothing yet: its last one will.
    writeUnlessStopped(cancelRequested, [] {
        if (browserCut) {
            portSetStatusText(IDS_RECEIVING_INCOMPLETE);
        } else if (browserWhole) {
            portSetProgress(100, 0);
            portSetStatusText(IDS_RECEIVING_COMPLETE);
        }
    });
    portSetButtonsIdle();
    releaseReception();
}
}  // namespace

void leaveBrowserUploads(PieceEnd end, const std::string& storedName, const ExistingEnd& existing) {
    HistoryEntry entry;
    bool ended = false;
    {
        std::lock_guard<std::mutex> guard(browserLock);
        leaveLocked(end, storedName, existing);
        ended = browserPieces == 0 && takeBrowserEntry(&entry);
    }
    if (ended) recordReceived(std::move(entry), 0, 0);
}

ReceiveResult admitBrowserUpload(uint32_t sender, int64_t size, unsigned stops) {
    std::unique_lock<std::mutex> lock(browserLock);
    for (;;) {
        const Verdict verdict = receiveVerdict(sender, tickCount(), true);
        if (refuses(verdict)) {
            lock.unlock();
            showRefusal(verdict, sender);
            recordRefusal(HistoryDoor::BrowserUpload, sender, refusalText(verdict));
            return ReceiveResult::Refused;
        }
        if (verdict == Verdict::Allowed) return ReceiveResult::Complete;
        if (stopCount != stops) return ReceiveResult::Cancelled;
        if (!browserAsking) break;
        // Another upload's question is open: its answer may be this browser's too.
        browserAnswered.wait_for(lock, std::chrono::milliseconds(kQuestionLookMilliseconds));
    }
    // The question holds the reception while it is open, as any reception's question does.
    const bool taken = browserPieces == 0 && !receivingEnded && takeFreeReception();
    const ReceiveResult joined = joinLocked(stops, 0, BrowserPiece(), taken);
    if (joined != ReceiveResult::Complete) return joined;
    browserAsking = true;
    lock.unlock();
    const int answer = askUser(sender, size, true);
    leaveBrowserUploads(PieceEnd::Taken);
    lock.lock();
    browserAsking = false;
    lock.unlock();
    browserAnswered.notify_all();
    if (answer > 0) {
        portShowRefusal(answer, netDotted(sender));
        recordRefusal(HistoryDoor::BrowserUpload, sender, answer);
    }
    return answer == 0 ? ReceiveResult::Complete : answer > 0 ? ReceiveResult::Refused : ReceiveResult::Cancelled;
}
