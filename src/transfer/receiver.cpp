#include "transfer/receiver.h"

#include <algorithm>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "core/central_state.h"
#include "core/text_routines.h"
#include "core/window_port.h"
#include "doors/reception.h"
#include "platform/files.h"
#include "platform/threads.h"
#include "peers/remembered_peers.h"
#include "policy/receive_policy.h"
#include "resource.h"
#include "store/partial_store.h"
#include "store/store_files.h"
#include "transfer/partial_files.h"
#include "transfer/protocol.h"
#include "transfer/question_turn.h"
#include "transfer/reception.h"
#include "transfer/reception_door.h"
#include "transfer/reception_history.h"
#include "transfer/side_reception.h"
#include "transfer/stop.h"

std::atomic<int> receiveStallMilliseconds{kReceiveStallMilliseconds};
ReceiveProgress progressNow;
std::atomic<int> receptionsRunning{0};
std::atomic<bool> receivingEnded{false};

namespace {
// Content is written in pieces of up to this size, from one buffer per reception.
constexpr int kWriteChunk = 1024 * 1024;

std::atomic<bool> errorBoxOpen{false};

ReceiveResult judge(const Reception& r) {
    if (*r.cancel) return ReceiveResult::Cancelled;
    if (r.refusal) return ReceiveResult::Refused;
    if (!r.transfer) return ReceiveResult::AddressTaken;
    if (r.progress->received == r.progress->total && !r.missed)
        return r.stored ? ReceiveResult::Complete : ReceiveResult::Empty;
    return ReceiveResult::Incomplete;
}

void showResult(const Reception& r, ReceiveResult result) {
    if (r.side >= 0) return showSideResult(r, result);
    writeUnlessStopped(cancelRequested, [&r, result] {
        if (result == ReceiveResult::Refused) {
            portSetProgress(0, 0);
            portShowRefusal(r.refusal, netDotted(r.sender));
        } else if (result == ReceiveResult::Complete || result == ReceiveResult::Empty) {
            portSetProgress(100, 0);
            portSetStatusText(IDS_RECEIVING_COMPLETE);
        } else if (result == ReceiveResult::Incomplete) {
            portSetStatusText(IDS_RECEIVING_INCOMPLETE);
        }
    });
}

// Gives up the admission and the connection. The handle is forgotten before it is
// closed, so that Stop never reaches a handle that may already be reused. The receiver
// never writes to the connection; how it closes is all a sender learns: in order only
// when everything it sent was taken, with a reset otherwise (turned away, not stored,
// stopped), whether the sender's last bytes arrived before the close or after it.
void finish(Reception& r, Socket connection, bool tookAll = false) {
    leaveReception(r);
    if (tookAll) netClose(connection);
    else netCloseAbortive(connection);
}

// Turns a connection away without a word; the admission, if it had it, is given up.
ReceiveResult turnAway(Socket connection, bool admitted) {
    if (admitted) releaseReception();
    netCloseAbortive(connection);
    return ReceiveResult::TurnedAway;
}

// Shows a receiver error box unless one is open already. Each box holds its thread until
// it is dismissed, so one box per connection would let any host on the network raise
// boxes without end. The connection is closed before this either way.
void showErrorBox(int textId) {
    if (errorBoxOpen.exchange(true)) return;
    portShowErrorText(textId);
    errorBoxOpen = false;
}
}  // namespace

ReceiveProgress receiveProgress() { return progressNow; }

// The user's answer about sender: 0 for a yes, which holds for a browser's further
// uploads (a sender on port 2904 is asked every time); otherwise the refusal's text, and a
// no, or silence, refuses the address for a while. A Stop meanwhile, or the question taken
// back for a trusted computer, is only a Stop (kAskStopped): the user said nothing.
int askUser(uint32_t sender, int64_t total, bool byBrowser) {
    browserQuestionOpen = byBrowser;
    receptionAsking(true);
    // After any other question still open; taken back or stopped meanwhile, it is not asked.
    const bool turn = takeQuestionTurn(cancelRequested, questionWithdrawn);
    const AskAnswer answer = turn ? portAskToReceive(netDotted(sender), total, askMilliseconds) : AskAnswer::Unanswered;
    if (turn) endQuestionTurn();
    receptionAsking(false);
    browserQuestionOpen = false;
    // Read and cleared at once: a question that was taken back says nothing of the next one.
    if (questionWithdrawn.exchange(false) || cancelRequested) return kAskStopped;
    if (answer == AskAnswer::Accepted) {
        if (byBrowser) rememberBrowserAccepted(sender);
        return 0;
    }
    rememberDeclined(sender, tickCount());
    return answer == AskAnswer::Declined ? IDS_REFUSED_DECLINED : IDS_REFUSED_UNANSWERED;
}

// Asks the user before the first record that would store something.
bool askToStore(Reception& r) {
    int answer = askUser(r.sender, progressNow.total, r.byBrowser);
    if (answer > 0) r.refusal = answer;
    // A question taken back (or a Stop) ends the reception short, whatever its count says: an
    // empty transfer is not taken either, and its sender learns so by a reset.
    if (answer == kAskStopped) r.missed = true;
    return r.mayStore = answer == 0;
}

namespace {

// A sender the policy refuses never takes the admission: its connection is reset, and
// the status line says why.
ReceiveResult refuse(Socket connection, Verdict verdict, uint32_t sender) {
    netCloseAbortive(connection);
    showRefusal(verdict, sender);
    return ReceiveResult::Refused;
}

// The start of a reception: the admission, the store path, and its half of the Stop
// handshake, which comes after the store path is read (a window busy with a Stop holds
// that read). False when the reception ends here, its result in *ended.
bool begin(Reception& r, Socket connection, unsigned stopsAtArrival, ReceiveResult* ended) {
    const Socket reached = connection != kInvalidSocket ? connection : r.shutOnStop;
    ReceptionAsk ask;
    ask.connection = connection;
    ask.reach = reached;
    ask.stops = stopsAtArrival;
    ask.source = r.sender;
    ask.trusted = !r.trustedName.empty();
    ask.headerCame = r.headerCame;
    const SideStart side = admitOneOrSide(r, ask);
    if (side != SideStart::NotSide) {
        *ended = side == SideStart::TurnedAway ? turnAway(connection, false)
                 : r.store.empty()             ? ReceiveResult::NoStorePath
                                               : ReceiveResult::TurnedAway;
        return side == SideStart::Started;
    }
    r.store = portGetStorePath();
    // A Stop since this connection arrived, or the program's end, turns it away: it must
    // neither undo that Stop nor start writing.
    if (r.store.empty() || receivingEnded || !claimReception(stopsAtArrival, reached, connection != kInvalidSocket)) {
        *ended = turnAway(connection, true);
        if (r.store.empty()) *ended = ReceiveResult::NoStorePath;
        return false;
    }
    portSetButtonsTransferring();
    if (!r.trustedName.empty()) portSetPrivatePeer(r.trustedName);
    writeUnlessStopped(cancelRequested, [] {
        portSetStatusText(IDS_RECEIVING);
        portSetProgress(0, 0);
    });
    return true;
}

// A private offer's manifest is answered only once the reception is admitted and the user,
// when asked, said yes: nothing of the store is read before, and Stop ends the answers.
bool answerAdmitted(Reception& r, StreamReader& reader, Socket connection, ReceiveResult* ended) {
    if (!r.verified || !r.verified->answer) return true;
    r.progress->total = r.verified->offered;  // what the question names
    r.verified->cancel = r.cancel;
    if ((r.mayStore || askToStore(r)) && r.verified->answer(*r.verified, reader) && !*r.cancel) return true;
    *ended = *r.cancel ? ReceiveResult::Cancelled : r.refusal ? ReceiveResult::Refused : ReceiveResult::NothingSent;
    showResult(r, *ended);
    finish(r, connection);
    return false;
}

// Reads the connection header into *total. False when the reception ends with it: a
// connection that sent nothing, another version, or a Stop that cut the header short.
bool readHeader(Reception& r, Socket connection, int64_t* total, ReceiveResult* ended) {
    std::string version;
    int length = readBlock(r, false);
    forEachHeaderLine(r.block.data(), length, [&](std::string_view key, std::string_view value) {
        if (key == "Total") *total = readNumber(value);
        else if (key == "Version") version = value;
    });
    if (version == kProtocolVersion) return true;
    if (*r.cancel) {  // a header cut short by Stop says nothing of the version
        *ended = ReceiveResult::Cancelled;
    } else {
        // Closed or silent before its first byte (a probe, a port scan), or cut by time
        // before its version: not an old sender; an error box for each would let anyone
        // on the network raise boxes.
        const bool cutByTime = version.empty() && r.reader.lastResult == kReceiveTimedOut;
        *ended = length == 0 || cutByTime ? ReceiveResult::NothingSent : ReceiveResult::WrongVersion;
        portSetStatusEmpty();
    }
    finish(r, connection);
    return false;
}

// Nothing is written for a transfer that cannot fit; the sender's own count decides, and
// one that announced less than it sends is stopped by the disk as before.
bool fits(Reception& r, Socket connection, int64_t total) {
    if (total <= 0 || *r.cancel || storeHasRoom(r.store, total, 0)) return true;
    portShowRefusal(IDS_NO_FREE_SPACE, netDotted(r.sender));
    finish(r, connection);
    return false;
}

// The records after the header, then the result shown and the connection closed.
ReceiveResult receiveBody(Reception& r, Socket connection, int64_t total) {
    r.transfer = true;
    r.percent = 0;  // the bar stands at 0 since the reception began
    *r.progress = ReceiveProgress{0, total, tickCount()};
    r.lastUpdate = r.progress->startTick;
    if (r.side < 0) receptionReading(total);
    r.reader.progressAt = r.progress->startTick;
    if (!*r.cancel) {
        // A small transfer needs no large buffer (and a browser's small files come one
        // reception each); a larger one than it announced is still read in this buffer's pieces.
        r.chunk.assign(static_cast<size_t>(std::clamp<int64_t>(total, kReaderBufferSize, kWriteChunk)), '\0');
        if (r.verified) r.spare.assign(r.chunk.size(), '\0');
        receiveRecords(r);
    }
    if (r.verified && r.verified->steps) r.verified->steps->ended(r);
    if (r.side < 0) receptionEnding();
    r.bytes = r.progress->received;
    ReceiveResult result = judge(r);
    showResult(r, result);
    finish(r, connection,
           result == ReceiveResult::Complete || result == ReceiveResult::Empty ||
               result == ReceiveResult::AddressTaken);
    return result;
}

// One reception from the policy's verdict to the close, into r. Error boxes are the
// caller's. *refusal receives the text id of a refusal.
ReceiveResult receive(Reception& r, StreamReader reader, Socket connection, unsigned stopsAtArrival,
                      const ReceiveTerms& terms, Verdict verdict, int* refusal) {
    if (refuses(verdict)) {
        *refusal = refusalText(verdict);
        return refuse(connection, verdict, terms.sender);
    }
    r.sender = terms.sender;
    r.byBrowser = terms.byBrowser;
    r.dropCut = terms.dropCut;
    r.shutOnStop = terms.shutOnStop;
    r.syncWhole = terms.syncWhole;
    r.trustedName = terms.trustedName;
    r.orderlyEnd = terms.orderlyEnd;
    r.headerCame = terms.headerCame;
    r.verified = terms.verified;
    r.mayStore = verdict == Verdict::Allowed;  // otherwise the user is asked first
    ReceiveResult ended;
    if (!begin(r, connection, stopsAtArrival, &ended) || !answerAdmitted(r, reader, connection, &ended)) {
        *refusal = r.refusal;
        return ended;
    }
    r.windowsRules = localWindowsRules();
    expirePartialFiles(r.store);
    r.reader = std::move(reader);
    r.block.assign(kHeaderBlockLimit + 1, '\0');
    int64_t total = 0;
    if (!readHeader(r, connection, &total, &ended)) return ended;
    if (!fits(r, connection, total)) {
        *refusal = IDS_NO_FREE_SPACE;
        return ReceiveResult::NoRoom;
    }
    const ReceiveResult result = receiveBody(r, connection, total);
    *refusal = r.refusal;
    return result;
}

// Counts the reception while it runs (the program's end waits for it), records it, then
// shows an error box where one is due, once the admission and the count are given up.
ReceiveResult receiveCounted(StreamReader reader, Socket connection, unsigned stopsAtArrival, const ReceiveTerms& terms,
                             Verdict verdict) {
    ++receptionsRunning;
    int refusal = 0;
    Reception r;
    const ReceiveResult result = receive(r, std::move(reader), connection, stopsAtArrival, terms, verdict, &refusal);
    --receptionsRunning;
    recordReception(r, terms, result, refusal);
    if (!terms.trustedName.empty() && r.side < 0)
        portSetPrivatePeer(std::string());  // the mark ends with its reception
    if (terms.refusal) *terms.refusal = refusal;
    if (result == ReceiveResult::NoStorePath) showErrorBox(IDS_NO_STORE_PATH);
    if (result == ReceiveResult::WrongVersion) showErrorBox(IDS_OLD_VERSION);
    return result;
}
}  // namespace

ReceiveResult receiveArrival(const Arrival& arrival) {
    const int stall = receiveStallMilliseconds;
    netSetReceiveTimeout(arrival.connection, stall);
    StreamReader reader;
    startSocketReader(reader, arrival.connection);
    readerPrepend(reader, arrival.head);
    reader.blockMilliseconds = kHeaderBlockMilliseconds;
    reader.stallMilliseconds = stall;
    // A sender's stall counts from its latest bytes, those the listener read included.
    reader.progressAt = arrival.heard ? arrival.heard : tickCount();
    ReceiveTerms terms;
    terms.sender = arrival.sender;
    terms.headerCame = arrival.headerCame;
    ReceiveResult result = receiveCounted(std::move(reader), arrival.connection, arrival.stops, terms, arrival.verdict);
    if (result == ReceiveResult::Complete) rememberPeer(arrival.sender);
    return result;
}

ReceiveResult receiveConnection(Socket connection) {
    Arrival arrival;
    arrival.connection = connection;
    arrival.stops = stopCount;
    if (!netPeerAddress(connection, &arrival.sender)) {
        netCloseAbortive(connection);  // gone already
        return ReceiveResult::NothingSent;
    }
    arrival.verdict = receiveVerdict(arrival.sender, tickCount(), false);
    return receiveArrival(arrival);
}

ReceiveResult receiveStream(StreamReader reader, Socket connection, const ReceiveTerms& terms) {
    const unsigned stops = terms.stops ? *terms.stops : stopCount.load();
    const Verdict verdict = receiveVerdict(terms.sender, tickCount(), terms.byBrowser, terms.trusted);
    return receiveCounted(std::move(reader), connection, stops, terms, verdict);
}

void showNoStorePathBox() { showErrorBox(IDS_NO_STORE_PATH); }

bool endReceiving(int milliseconds) {
    receivingEnded = true;
    if (receptionsRunning > 0) stopTransfers();
    const uint32_t start = tickCount();
    while (receptionsRunning > 0 && tickCount() - start < static_cast<uint32_t>(milliseconds)) sleepMilliseconds(10);
    return receptionsRunning == 0;
}
