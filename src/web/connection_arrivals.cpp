#include "web/connection_arrivals.h"

#include <cstddef>
#include <map>
#include <vector>

#include "platform/threads.h"
#include "web/http_connection.h"

namespace {
// The loop looks at least this often: deadlines pass, and on Windows nothing but a
// connection wakes the wait when access ends.
constexpr int kLookMilliseconds = 50;
constexpr int kResourcePauseMilliseconds = 100;

struct Waiting {
    Socket socket;
    uint32_t sender;
    uint32_t since;
};

// The one to close when the list is full: the longest waiting of the address that has the
// most waiting, so that a flood from one address pushes out only its own.
size_t mostCrowdedOldest(const std::vector<Waiting>& waiting) {
    std::map<uint32_t, int> count;
    for (const Waiting& w : waiting) ++count[w.sender];
    size_t chosen = 0;
    for (size_t i = 1; i < waiting.size(); ++i)
        if (count[waiting[i].sender] > count[waiting[chosen].sender]) chosen = i;
    return chosen;
}

// Takes one connection off the listener and lets it wait. False once the listener ended.
bool acceptOne(Socket listener, std::vector<Waiting>& waiting) {
    AcceptFailure failure = kAcceptEnded;
    const Socket connection = netAccept(listener, &failure);
    if (connection == kInvalidSocket) {
        // Out of descriptors or buffers: waiting connections stay queued until some are
        // free again, and a pause keeps the loop from spinning meanwhile.
        if (failure == kAcceptAfterPause) sleepMilliseconds(kResourcePauseMilliseconds);
        return failure != kAcceptEnded;
    }
    uint32_t sender = 0;
    if (!netPeerAddress(connection, &sender)) {
        netCloseAbortive(connection);
        return true;
    }
    waiting.push_back(Waiting{connection, sender, tickCount()});
    if (waiting.size() > static_cast<size_t>(kMostArrivalsWaitingForBytes)) {
        const size_t gone = mostCrowdedOldest(waiting);
        netCloseAbortive(waiting[gone].socket);
        waiting.erase(waiting.begin() + static_cast<std::ptrdiff_t>(gone));
    }
    return true;
}
}  // namespace

void takeConnectionsThatSpeak(Socket listener, void (*take)(Socket connection), bool (*ended)(Socket listener)) {
    static_assert(kMostArrivalsWaitingForBytes < kMostWaitedSockets, "the listener waits beside them");
    std::vector<Waiting> waiting;  // the longest waiting first
    Socket sockets[kMostArrivalsWaitingForBytes + 1];
    bool ready[kMostArrivalsWaitingForBytes + 1];
    while (!ended(listener)) {
        sockets[0] = listener;
        for (size_t i = 0; i < waiting.size(); ++i) sockets[i + 1] = waiting[i].socket;
        const int found = netWaitAnyReadable(sockets, ready, static_cast<int>(waiting.size()) + 1, kLookMilliseconds);
        if (found < 0) {
            if (netAcceptFailure(netLastError()) == kAcceptEnded) break;
            sleepMilliseconds(kResourcePauseMilliseconds);
            continue;
        }
        const uint32_t now = tickCount();
        std::vector<Waiting> still;
        for (size_t i = 0; i < waiting.size(); ++i) {
            const Waiting& w = waiting[i];
            bool late = now - w.since >= static_cast<uint32_t>(kRequestLineMilliseconds);
            if (ready[i + 1] && !netClosedWithoutBytes(w.socket)) take(w.socket);
            else if (ready[i + 1] || late) netCloseAbortive(w.socket);
            else still.push_back(w);
        }
        waiting.swap(still);
        if (ready[0] && !acceptOne(listener, waiting)) break;
    }
    for (const Waiting& w : waiting) netCloseAbortive(w.socket);
    netClose(listener);
}
