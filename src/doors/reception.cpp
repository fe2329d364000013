#include "doors/reception.h"

#include <mutex>
#include <vector>

#include "core/central_state.h"
#include "doors/places.h"
#include "platform/threads.h"

namespace {
// How long a newcomer waits for a reception that is about to end, or that it pushed
// out, and how often it looks.
// Past a fresh holder's first window, or past the window after a burst.
constexpr uint32_t kMostWait = 2 * kFloorWindow + 1000;
constexpr int kLookMilliseconds = 10;
// How long a newcomer's header may take to come whole before it may push a holder out.
constexpr int kShowMilliseconds = 500;
// How long a holder whose content all came still counts as about to end.
constexpr uint32_t kAllCameGrace = 1000;

enum class Phase { Starting, Reading, Ending };

struct Holder {
    Phase phase = Phase::Ending;
    Socket reach = kInvalidSocket;
    bool trusted = false;
    bool asking = false;
    uint32_t since = 0;     // the start of its phase
    uint32_t allSince = 0;  // when its content had all come (received reached total)
    int64_t received = 0, total = 0, stored = 0;
    // Its progress over the last window: counted since markTick, and the window before.
    uint32_t markTick = 0, lastTicks = 0;
    int64_t markProgress = 0, lastProgress = 0;
};
std::mutex holderLock;
Holder holder;

// A newcomer waiting for the reception. The waiting places are shared out by address
// (doors/places.h): a crowd of newcomers from one address gives up its own places, so
// that it cannot keep the others, a trusted computer's among them, from waiting.
struct Waiter {
    uint32_t source = 0;
    bool trusted = false;
    bool gone = false;  // its place was given to another: it gives its wait up
};
std::vector<Waiter*> waiters;  // under holderLock, the longest waiting first

bool takeWaitingPlace(Waiter* me) {
    std::lock_guard<std::mutex> guard(holderLock);
    std::vector<uint32_t> holders;
    for (const Waiter* w : waiters) holders.push_back(w->source);
    size_t pushed = 0;
    const PlaceChoice choice = choosePlace(holders, me->source, kMostWaitingForReception, kWaitingFromOneAddress, true,
                                           &pushed);
    if (choice == PlaceChoice::Refuse) return false;
    if (choice == PlaceChoice::PushOut) {
        waiters[pushed]->gone = true;
        waiters.erase(waiters.begin() + static_cast<std::ptrdiff_t>(pushed));
    }
    waiters.push_back(me);
    return true;
}

void leaveWaitingPlace(Waiter* me) {
    std::lock_guard<std::mutex> guard(holderLock);
    for (size_t i = 0; i < waiters.size(); ++i)
        if (waiters[i] == me) waiters.erase(waiters.begin() + static_cast<std::ptrdiff_t>(i));
}

bool firstInLineNow(const Waiter* me);

bool goneNow(const Waiter& me) {
    std::lock_guard<std::mutex> guard(holderLock);
    return me.gone;
}
// A newcomer that pushed the holder out is handed the reception as it is given up, so that
// a crowd that reconnects without end cannot take it first. Under holderLock.
bool reserved = false, handed = false;

// No waiter before me comes first: a trusted computer's before a stranger's, and then the
// one waiting longest, so that a crowd that reconnects without end (its newest places push
// its own oldest out) never takes the reception ahead of a sender that waits. Called with
// holderLock held.
bool firstInLine(const Waiter* me) {
    for (const Waiter* w : waiters) {
        if (w == me) return true;
        if (w->trusted || !me->trusted) return false;
    }
    return true;
}

bool firstInLineNow(const Waiter* me) {
    std::lock_guard<std::mutex> guard(holderLock);
    return firstInLine(me);
}

// Reserves the reception for a newcomer about to push its holder out: false when another
// one has already, or comes first.
bool reserve(const Waiter* me) {
    std::lock_guard<std::mutex> guard(holderLock);
    if (reserved || !firstInLine(me)) return false;
    reserved = true;
    handed = false;
    return true;
}

bool handedNow() {
    std::lock_guard<std::mutex> guard(holderLock);
    if (!handed) return false;
    reserved = handed = false;
    return true;
}

// The pusher gives its wait up: a reception handed to it meanwhile is given up too.
void unreserve() {
    std::lock_guard<std::mutex> guard(holderLock);
    if (handed) receiveInProgress = false;
    reserved = handed = false;
}

int64_t progressOf(const Holder& h) { return h.received + h.stored; }

// Notes when the content has all come. Called with holderLock held.
void noteAllCome(Holder& h, uint32_t now) {
    if (h.received < h.total) h.allSince = 0;
    else if (!h.allSince) h.allSince = now ? now : 1;
}

// Starts a new window once one has passed. Called with holderLock held.
void roll(Holder& h, uint32_t now) {
    if (now - h.markTick < kFloorWindow) return;
    h.lastTicks = now - h.markTick;
    h.lastProgress = progressOf(h) - h.markProgress;
    h.markTick = now;
    h.markProgress = progressOf(h);
}

// True when the holder's content has all come, or would at its speed so far within budget.
bool endsWithin(const Holder& h, uint32_t now, uint32_t budget) {
    if (h.phase == Phase::Ending) return true;
    if (h.phase != Phase::Reading) return false;
    // Its content all came: a sender closes at once then; one that stays open past that
    // (or that announced nothing) is judged by its progress like any other.
    if (h.received >= h.total) return h.allSince && now - h.allSince < kAllCameGrace;
    if (h.received <= 0) return false;
    const double elapsed = static_cast<double>(now - h.since);
    return static_cast<double>(h.total - h.received) * elapsed <= static_cast<double>(h.received) * budget;
}

bool belowFloor(const Holder& h, uint32_t now) {
    // A trusted key's offer is answered before its header: the receiver may hash a while.
    if (h.phase == Phase::Starting) return !h.trusted && now - h.since >= kStartingGrace;
    if (h.phase != Phase::Reading || now - h.since < kFloorWindow) return false;
    const int64_t progress = progressOf(h) - h.markProgress + h.lastProgress;
    const int64_t ticks = static_cast<int64_t>(now - h.markTick) + h.lastTicks;
    return progress * 1000 < kFloorBytesPerSecond * ticks;
}

// Below the floor in the window now running, so far: it may be below it once judged.
bool lagging(const Holder& h, uint32_t now) {
    if (h.phase != Phase::Reading) return false;
    // A window that has just begun (nothing yet) lags too: the one before is judged next.
    return (progressOf(h) - h.markProgress) * 1000 <= kFloorBytesPerSecond * static_cast<int64_t>(now - h.markTick);
}

// Ends: about to end; Soon: fresh (no header yet, or in its first window) or lagging, judged
// again once its window has passed; Yields: pushed out for a real sender.
enum class Judgement { Holds, Ends, Soon, Yields };

Judgement judge(const Newcomer& n, uint32_t now, uint32_t budget, Socket* reach) {
    std::lock_guard<std::mutex> guard(holderLock);
    *reach = holder.reach;
    roll(holder, now);
    // A holder that does not progress is not about to end, whatever its count says: one
    // that sent all but a few bytes at once and then trickles would look so for ever.
    const bool below = belowFloor(holder, now);
    if (!below && endsWithin(holder, now, budget)) return Judgement::Ends;
    if (holder.reach == kInvalidSocket || holder.asking) return Judgement::Holds;
    if ((n.trusted && !holder.trusted) || below) return Judgement::Yields;
    // A fresh holder that has taken nothing yet is judged once its first window has passed,
    // and one that lags in its current window once that window has: a newcomer waits for
    // it. One that keeps up holds, and the newcomer is turned away at once.
    const bool fresh = holder.phase == Phase::Starting ||
                       (now - holder.since < kFloorWindow && holder.received == 0 && holder.stored == 0);
    return fresh || lagging(holder, now) ? Judgement::Soon : Judgement::Holds;
}

bool stopped(const Newcomer& n) { return cancelRequested || *n.stopCount != n.stops; }
}  // namespace

bool receptionYields() {
    std::lock_guard<std::mutex> guard(holderLock);
    roll(holder, tickCount());
    return receiveInProgress && holder.reach != kInvalidSocket && !holder.asking && belowFloor(holder, tickCount());
}

bool takeFreeReception() { return !receiveInProgress.exchange(true); }

// Only a real sender pushes a holder out (its header came whole, at once): one that
// trickles its own header must not take the place of the one it pushed, nor hold a place
// among those waiting.
bool shown(const Newcomer& n) { return !n.shows || n.shows(n.connection, kShowMilliseconds); }

bool admitReception(const Newcomer& n) {
    if (takeFreeReception()) return true;
    Socket reach = kInvalidSocket;
    Judgement judgement = judge(n, tickCount(), kMostWait, &reach);
    const bool real = judgement != Judgement::Holds && judgement != Judgement::Ends && shown(n);
    if (judgement == Judgement::Holds || (judgement != Judgement::Ends && !real)) return false;
    Waiter me;
    me.source = n.source;
    me.trusted = n.trusted;
    if (!takeWaitingPlace(&me)) return false;
    bool admitted = false, pushed = false, showed = real;
    uint32_t start = tickCount();
    for (uint32_t waited = 0; waited < kMostWait && !stopped(n) && !goneNow(me); waited = tickCount() - start) {
        if (waited > 0 && !pushed) judgement = judge(n, tickCount(), kMostWait - waited, &reach);
        const bool mayPush = judgement == Judgement::Yields || judgement == Judgement::Soon;
        if (judgement == Judgement::Holds || (mayPush && !showed && !(showed = shown(n)))) break;
        if (judgement == Judgement::Yields && !pushed && reserve(&me)) {
            pushed = n.shut(reach);
            if (pushed) start = tickCount();  // the holder has kMostWait to give the reception up
            else unreserve();                 // it changed hands meanwhile
        }
        sleepMilliseconds(kLookMilliseconds);
        if (pushed ? handedNow() : firstInLineNow(&me) && takeFreeReception()) {
            admitted = true;
            break;
        }
    }
    if (pushed && !admitted) unreserve();
    leaveWaitingPlace(&me);
    return admitted;
}

void holdReception(Socket reach, bool trusted) {
    std::lock_guard<std::mutex> guard(holderLock);
    holder = Holder();
    holder.phase = Phase::Starting;
    holder.reach = reach;
    holder.trusted = trusted;
    holder.since = tickCount();
}

void receptionReading(int64_t total) {
    std::lock_guard<std::mutex> guard(holderLock);
    holder.phase = Phase::Reading;
    holder.total = total;
    holder.received = holder.stored = 0;
    holder.since = holder.markTick = tickCount();
    holder.allSince = 0;
    noteAllCome(holder, holder.since);
    holder.markProgress = holder.lastProgress = 0;
    holder.lastTicks = 0;
}

void receptionAddTotal(int64_t more) {
    std::lock_guard<std::mutex> guard(holderLock);
    holder.total += more;
    noteAllCome(holder, tickCount());
}

void receptionReceived(int64_t received) {
    std::lock_guard<std::mutex> guard(holderLock);
    holder.received = received;
    noteAllCome(holder, tickCount());
    roll(holder, tickCount());
}

void receptionStored(int64_t bytes) {
    std::lock_guard<std::mutex> guard(holderLock);
    holder.stored += bytes;
    roll(holder, tickCount());
}

void receptionAsking(bool asking) {
    std::lock_guard<std::mutex> guard(holderLock);
    holder.asking = asking;
    // The question's time is not the sender's: its window starts again after it.
    holder.since = holder.markTick = tickCount();
    holder.markProgress = progressOf(holder);
    holder.lastProgress = 0;
    holder.lastTicks = 0;
}

void receptionEnding() {
    std::lock_guard<std::mutex> guard(holderLock);
    holder.phase = Phase::Ending;
}

void releaseReception() {
    std::lock_guard<std::mutex> guard(holderLock);
    holder.reach = kInvalidSocket;
    holder.asking = false;
    if (reserved) handed = true;  // to the newcomer that pushed it out
    else receiveInProgress = false;
}
