#include "transfer/side_reception.h"

#include <mutex>

#include "core/central_state.h"
#include "core/window_port.h"
#include "doors/reception.h"
#include "doors/side_places.h"
#include "resource.h"
#include "selection/size_format.h"
#include "transfer/stop.h"

namespace {
struct SideContext {
    std::atomic<bool> cancel{false};
    std::atomic<Socket> connection{kInvalidSocket};
    ReceiveProgress progress;  // its own thread's
    bool resultShown = false;  // its own thread's
};
SideContext contexts[kSidePlaces];

// What the bar sums, by side place: written by each reception's thread under barLock.
std::mutex barLock;
int64_t received[kSidePlaces] = {}, totals[kSidePlaces] = {};
int barShown = -1;

void noteBytes(int place, int64_t now, int64_t total) {
    int percent = 0;
    {
        std::lock_guard<std::mutex> guard(barLock);
        received[place] = now;
        totals[place] = total;
        int64_t all = 0, whole = 0;
        for (int i = 0; i < kSidePlaces; ++i) {
            all += received[i];
            whole += totals[i];
        }
        percent = receivePercent(all, whole);
        if (percent == barShown) return;
        barShown = percent;
    }
    portSetProgress(percent, percent);
}

// A row names what comes, and how much: "Photos (+2), 12 mB".
std::string rowWhat(const VerifiedReception& v) {
    const std::string size = formatSize(v.offered);
    return v.what.empty() ? size : v.what + ", " + size;
}

bool mayBeSide(const Reception& r, Socket reach) {
    return r.verified && !r.trustedName.empty() && r.mayStore && reach != kInvalidSocket;
}

int resultText(ReceiveResult result) {
    if (result == ReceiveResult::Complete || result == ReceiveResult::Empty) return IDS_RECEIVING_COMPLETE;
    if (result == ReceiveResult::Cancelled) return IDS_CANCELED;
    return IDS_RECEIVING_INCOMPLETE;
}
}  // namespace

SideStart beginSideReception(Reception& r, unsigned stopsAtArrival, Socket reach) {
    if (!mayBeSide(r, reach)) return SideStart::NotSide;
    const int place = takeSidePlace();
    if (place < 0) return SideStart::NotSide;
    SideContext& context = contexts[place];
    context.progress = ReceiveProgress{0, r.verified->offered, 0};
    context.resultShown = false;
    r.side = place;
    r.cancel = &context.cancel;
    r.progress = &context.progress;
    r.store = portGetStorePath();
    if (r.store.empty() || receivingEnded ||
        !claimSideReception(place, stopsAtArrival, &context.cancel, &context.connection, reach)) {
        context.cancel = true;  // nothing of it starts
        context.resultShown = true;
        endSideReception(r);
        return SideStart::Stopped;
    }
    noteBytes(place, 0, r.verified->offered);
    portSetButtonsTransferring();
    writeUnlessStopped(context.cancel, [&r] { portRowStart(r.side, r.trustedName, rowWhat(*r.verified)); });
    return SideStart::Started;
}

SideStart admitOneOrSide(Reception& r, const ReceptionAsk& ask) {
    const bool side = mayBeSide(r, ask.reach);
    if ((!side || !receiveInProgress || strangerAsking()) && admitConnection(ask)) return SideStart::NotSide;
    if (!side) return SideStart::TurnedAway;
    const SideStart started = beginSideReception(r, ask.stops, ask.reach);
    if (started != SideStart::NotSide) return started;
    return admitConnection(ask) ? SideStart::NotSide : SideStart::TurnedAway;  // every side place taken
}

void sideProgress(const Reception& r, int percent) {
    noteBytes(r.side, r.progress->received, r.progress->total);
    writeUnlessStopped(*r.cancel, [&r, percent] { portRowProgress(r.side, percent); });
}

void showSideResult(const Reception& r, ReceiveResult result) {
    if (r.side < 0 || r.sideEnded || contexts[r.side].resultShown) return;
    contexts[r.side].resultShown = true;
    portRowEnd(r.side, resultText(result));
}

void endSideReception(Reception& r) {
    if (r.side < 0 || r.sideEnded) return;
    const int place = r.side;
    if (!contexts[place].resultShown) showSideResult(r, ReceiveResult::Incomplete);
    releaseSideReception(place);
    {
        std::lock_guard<std::mutex> guard(barLock);
        received[place] = totals[place] = 0;
        barShown = -1;
    }
    releaseSidePlace(place);
    r.sideEnded = true;
    if (sidePlacesTaken() == 0 && !receiveInProgress) portSetButtonsIdle();
}

void leaveReception(Reception& r) {
    if (r.side >= 0) return endSideReception(r);
    portSetButtonsIdle();
    forgetTransferSocket(receiveSocket);
    releaseReception();
}
