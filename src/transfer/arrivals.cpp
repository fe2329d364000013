#include "transfer/arrivals.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "platform/threads.h"
#include "transfer/protocol.h"
#include "transfer/reception_history.h"
#include "transfer/stop.h"

namespace {
// The loop looks at least this often: deadlines pass, and on Windows a closed listening
// socket wakes no wait.
constexpr int kLookMilliseconds = 250;
constexpr int kResourcePauseMilliseconds = 100;

struct Waiting {
    Arrival arrival;
    uint32_t since = 0;
    std::string head;  // what a refused connection has sent, in memory only
};

bool refused(const Waiting& w) { return refuses(w.arrival.verdict); }

uint32_t limitOf(const Waiting& w) {
    int limit = refused(w) ? kRefusedReadMilliseconds
                           : std::min(kFirstByteMilliseconds, receiveStallMilliseconds.load());
    return static_cast<uint32_t>(limit);
}

// A refused connection says why on the status line, and is recorded in the history, unless
// it carries an address hand-over or nothing at all; it is reset either way.
void closeRefused(const Waiting& w) {
    const bool quiet = w.head.empty() || firstRecordOf(w.head.data(), w.head.size()) == FirstRecord::Address;
    if (!quiet) {
        showRefusal(w.arrival.verdict, w.arrival.sender);
        recordRefusal(HistoryDoor::Transfer, w.arrival.sender, refusalText(w.arrival.verdict));
    }
    netCloseAbortive(w.arrival.connection);
}

void closeWaiting(const Waiting& w) {
    if (refused(w)) closeRefused(w);
    else netCloseAbortive(w.arrival.connection);
}

// One read of what a refused connection sent (the wait said it would not block). True
// once it has said enough, closed or failed.
bool readRefused(Waiting& w) {
    char bytes[16 * 1024];
    const size_t room = std::min(sizeof bytes, kFirstRecordLimit - w.head.size());
    const int n = netRecv(w.arrival.connection, bytes, static_cast<int>(room));
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

// What becomes of one waiting connection in this round: true when it is done waiting.
bool settle(Waiting& w, bool readable, uint32_t now, ArrivalTaker take) {
    const bool late = now - w.since >= limitOf(w);
    if (refused(w)) {
        if (!(readable && readRefused(w)) && !late) return false;
        closeRefused(w);
        return true;
    }
    // A connection that closes without a byte (a probe, a port scan) needs no thread either.
    if (readable && !netClosedWithoutBytes(w.arrival.connection)) handOn(w.arrival, take);
    else if (readable || late) netCloseAbortive(w.arrival.connection);
    return readable || late;
}

// Takes one connection off the listener and lets it wait. False once the listener ended.
bool acceptOne(Socket listener, std::vector<Waiting>& waiting) {
    AcceptFailure failure = kAcceptEnded;
    const Socket connection = netAccept(listener, &failure);
    if (connection == kInvalidSocket) {
        // Out of descriptors or buffers: waiting connections stay queued until some are
        // free again, and a pause keeps the loop from spinning meanwhile.
        if (failure != kAcceptEnded) sleepMilliseconds(kResourcePauseMilliseconds);
        return failure != kAcceptEnded;
    }
    Waiting w;
    w.arrival.connection = connection;
    w.arrival.stops = stopCount;
    w.since = tickCount();
    if (!netPeerAddress(connection, &w.arrival.sender)) {
        netCloseAbortive(connection);  // gone already
        return true;
    }
    // Who may send is settled as the connection arrives, before it may send a byte.
    w.arrival.verdict = receiveVerdict(w.arrival.sender, w.since, false);
    if (waiting.size() >= static_cast<size_t>(kMostArrivalsWaiting)) {
        closeWaiting(waiting.front());
        waiting.erase(waiting.begin());
    }
    waiting.push_back(std::move(w));
    return true;
}
}  // namespace

int receiveArrivals(Socket listener, ArrivalTaker take) {
    static_assert(kMostArrivalsWaiting < kMostWaitedSockets, "the listener waits beside them");
    std::vector<Waiting> waiting;  // the longest waiting first
    Socket sockets[kMostArrivalsWaiting + 1];
    bool ready[kMostArrivalsWaiting + 1];
    for (;;) {
        sockets[0] = listener;
        for (size_t i = 0; i < waiting.size(); ++i) sockets[i + 1] = waiting[i].arrival.connection;
        const int found = netWaitAnyReadable(sockets, ready, static_cast<int>(waiting.size()) + 1, kLookMilliseconds);
        if (found < 0) {
            if (netAcceptFailure(netLastError()) == kAcceptEnded) break;
            sleepMilliseconds(kResourcePauseMilliseconds);
            continue;
        }
        const uint32_t now = tickCount();
        std::vector<Waiting> still;
        for (size_t i = 0; i < waiting.size(); ++i)
            if (!settle(waiting[i], ready[i + 1], now, take)) still.push_back(std::move(waiting[i]));
        waiting.swap(still);
        if (ready[0] && !acceptOne(listener, waiting)) break;
    }
    for (const Waiting& w : waiting) netCloseAbortive(w.arrival.connection);
    return 0;
}
