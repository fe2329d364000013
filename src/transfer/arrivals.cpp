#include "transfer/arrivals.h"

#include <algorithm>
#include <string>

#include "doors/first_bytes.h"
#include "platform/threads.h"
#include "transfer/protocol.h"
#include "transfer/reception_history.h"
#include "transfer/stop.h"

namespace {
// The header block has come whole (its blank line), or as much of it as a block may hold.
bool headerWhole(const std::string& head) {
    return head.find("\n\n") != std::string::npos || head.size() >= kArrivalHeadLimit;
}

Arrival arrivalOf(const WaitingConnection& w) {
    Arrival arrival;
    arrival.connection = w.socket;
    arrival.sender = w.source;
    arrival.verdict = static_cast<Verdict>(w.verdict);
    arrival.stops = w.stops;
    arrival.head = w.head;
    arrival.headerCame = headerWhole(w.head);
    arrival.heard = w.heard;
    return arrival;
}

bool refused(const WaitingConnection& w) { return refuses(static_cast<Verdict>(w.verdict)); }

// Its header's first line has come: a sender that went silent after it is told apart from
// a probe.
bool lineDone(const WaitingConnection& w) { return w.head.find('\n') != std::string::npos; }

// Who may send is settled as the connection arrives, before it may send a byte.
void judge(WaitingConnection& w) {
    w.stops = stopCount;
    w.verdict = static_cast<int>(receiveVerdict(w.source, w.since, false));
    const int limit = refused(w) ? kRefusedReadMilliseconds
                                 : std::min(kFirstByteMilliseconds, receiveStallMilliseconds.load());
    w.limit = static_cast<uint32_t>(limit);
}

// A refused connection says why on the status line, and is recorded in the history, unless
// it carries an address hand-over or nothing at all; any connection is reset here.
void closeWaiting(const WaitingConnection& w) {
    const bool quiet = w.head.empty() || firstRecordOf(w.head.data(), w.head.size()) == FirstRecord::Address;
    if (refused(w) && !quiet) {
        const Verdict verdict = static_cast<Verdict>(w.verdict);
        showRefusal(verdict, w.source);
        recordRefusal(HistoryDoor::Transfer, w.source, refusalText(verdict));
    }
    netCloseAbortive(w.socket);
}

// One read of what a refused connection sent (the wait said it would not block). True
// once it has said enough, closed or failed.
bool readRefused(WaitingConnection& w) {
    char bytes[16 * 1024];
    const size_t room = std::min(sizeof bytes, kFirstRecordLimit - w.head.size());
    const int n = netRecv(w.socket, bytes, static_cast<int>(room));
    if (n <= 0) return true;
    w.head.append(bytes, static_cast<size_t>(n));
    return w.head.size() >= kFirstRecordLimit || firstRecordOf(w.head.data(), w.head.size()) != FirstRecord::Unknown;
}

struct Handing {
    ArrivalTaker take;
    Arrival arrival;
};

void runHanded(void* handing) {
    const Handing h = *static_cast<Handing*>(handing);
    delete static_cast<Handing*>(handing);
    h.take(h.arrival);
}

void handOn(const Arrival& arrival, ArrivalTaker take) {
    Handing* handing = new Handing{take, arrival};
    if (startThread(runHanded, handing)) return;
    delete handing;
    netCloseAbortive(arrival.connection);
}

// One read of what an admitted connection sent (the wait said it would not block). True
// once its header has come whole, or it closed or failed: then it goes on to its
// reception with what it sent, or is closed when that was nothing (a probe, a port
// scan). Until then it keeps its place without a thread: its first line for as long as a
// header block may take past the first bytes' wait, the rest for the stall limit since
// its last bytes.
bool readAdmitted(WaitingConnection& w, ArrivalTaker take) {
    char bytes[16 * 1024];
    const size_t room = std::min(sizeof bytes, kArrivalHeadLimit - w.head.size());
    const int n = netRecv(w.socket, bytes, static_cast<int>(room));
    if (n > 0) {
        w.heard = tickCount();
        w.head.append(bytes, static_cast<size_t>(n));
        if (!headerWhole(w.head)) {
            w.limit = lineDone(w) ? w.heard - w.since + static_cast<uint32_t>(receiveStallMilliseconds.load())
                                  : static_cast<uint32_t>(kFirstByteMilliseconds + kHeaderBlockMilliseconds);
            return false;
        }
    }
    if (w.head.empty()) netCloseAbortive(w.socket);
    else handOn(arrivalOf(w), take);
    return true;
}

// An admitted sender that went silent within its header, past its first line, still ends
// as a reception cut short, shown as such (it waited out its stall limit here already).
bool expired(WaitingConnection& w, void* take) {
    if (refused(w) || !lineDone(w)) return false;
    handOn(arrivalOf(w), *static_cast<ArrivalTaker*>(take));
    return true;
}

bool spoke(WaitingConnection& w, void* take) {
    if (!refused(w)) return readAdmitted(w, *static_cast<ArrivalTaker*>(take));
    if (!readRefused(w)) return false;
    closeWaiting(w);
    return true;
}
}  // namespace

int receiveArrivals(Socket listener, ArrivalTaker take) {
    static_assert(kMostArrivalsWaiting < kMostWaitedSockets, "the listener waits beside them");
    FirstBytesDoor door;
    door.places = kMostArrivalsWaiting;
    door.share = kArrivalsFromOneAddress;
    door.arrived = judge;
    door.spoke = spoke;
    door.context = &take;  // lives as long as the wait
    door.close = closeWaiting;
    door.expired = expired;
    waitForFirstBytes(listener, door);
    return 0;
}
