#include "doors/first_bytes.h"

#include <utility>
#include <vector>

#include "doors/places.h"
#include "platform/threads.h"

namespace {
constexpr int kResourcePauseMilliseconds = 100;

// Takes one connection off the listener and gives it a place, its own address's oldest
// if need be. False once the listener ended.
bool acceptOne(Socket listener, const FirstBytesDoor& door, size_t places, std::vector<WaitingConnection>& waiting) {
    AcceptFailure failure = kAcceptEnded;
    const Socket connection = netAccept(listener, &failure);
    if (connection == kInvalidSocket) {
        // Out of descriptors or buffers: waiting connections stay queued until some are
        // free again, and a pause keeps the loop from spinning meanwhile.
        if (failure != kAcceptEnded) sleepMilliseconds(kResourcePauseMilliseconds);
        return failure != kAcceptEnded;
    }
    WaitingConnection w;
    w.socket = connection;
    w.since = tickCount();
    if (!netPeerAddress(connection, &w.source)) {
        netCloseAbortive(connection);  // gone already
        return true;
    }
    door.arrived(w);
    std::vector<uint32_t> holders;
    holders.reserve(waiting.size());
    for (const WaitingConnection& h : waiting) holders.push_back(h.source);
    size_t pushed = 0;
    switch (choosePlace(holders, w.source, places, door.share, door.pushOwn, &pushed)) {
        case PlaceChoice::Refuse: door.close(w); return true;
        case PlaceChoice::PushOut:
            door.close(waiting[pushed]);
            waiting.erase(waiting.begin() + static_cast<std::ptrdiff_t>(pushed));
            break;
        case PlaceChoice::Take: break;
    }
    waiting.push_back(std::move(w));
    return true;
}
}  // namespace

void waitForFirstBytes(Socket listener, const FirstBytesDoor& door) {
    std::vector<WaitingConnection> waiting;  // the longest waiting first
    std::vector<Socket> sockets;
    bool ready[kMostWaitedSockets];
    const size_t most = door.places < static_cast<size_t>(kMostWaitedSockets) ? door.places : kMostWaitedSockets - 1;
    while (!(door.ended && door.ended(listener))) {
        sockets.assign(1, listener);
        for (const WaitingConnection& w : waiting)
            if (!w.resting) sockets.push_back(w.socket);
        const int found = netWaitAnyReadable(sockets.data(), ready, static_cast<int>(sockets.size()),
                                             door.lookMilliseconds);
        if (found < 0) {
            if (netAcceptFailure(netLastError()) == kAcceptEnded) break;
            sleepMilliseconds(kResourcePauseMilliseconds);
            continue;
        }
        const uint32_t now = tickCount();
        std::vector<WaitingConnection> still;
        size_t polled = 1;
        for (WaitingConnection& w : waiting) {
            const bool readable = w.resting || ready[polled++];
            if (readable && door.spoke(w, door.context)) continue;
            if (now - w.since >= w.limit) {
                if (!door.expired || !door.expired(w, door.context)) door.close(w);
            } else still.push_back(std::move(w));
        }
        waiting.swap(still);
        if (ready[0] && !acceptOne(listener, door, most, waiting)) break;
    }
    for (const WaitingConnection& w : waiting) door.close(w);
}
