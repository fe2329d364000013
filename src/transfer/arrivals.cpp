#include "transfer/arrivals.h"

#include <algorithm>
#include <string>

#include "doors/first_bytes.h"
#include "platform/threads.h"
#include "transfer/protocol.h"
#include "transfer/reception_history.h"
#include "transfer/stop.h"

namespace {
Arrival arrivalOf(const WaitingConnection& w) {
    Arrival arrival;
    arrival.connection = w.socket;
    arrival.sender = w.source;
    arrival.verdict = static_cast<Verdict>(w.verdict);
    arrival.stops = w.stops;
    return arrival;
}

bool refused(const WaitingConnection& w) { return refuses(static_cast<Verdict>(w.verdict)); }

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

bool spoke(WaitingConnection& w, void* take) {
    if (refused(w)) {
        if (!readRefused(w)) return false;
        closeWaiting(w);
        return true;
    }
    // A connection that closes without a byte (a probe, a port scan) needs no thread either.
    if (netClosedWithoutBytes(w.socket)) netCloseAbortive(w.socket);
    else handOn(arrivalOf(w), *static_cast<ArrivalTaker*>(take));
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
    waitForFirstBytes(listener, door);
    return 0;
}
