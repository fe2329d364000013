#include "doors/reception.h"

#include <mutex>
#include <vector>

#include "core/central_state.h"
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

// The line of newcomers waiting for the reception. Who comes first: a trusted computer's,
// then the one whose address failed least in the last minute (turned away, pushed out of
// the line or of the reception, or out of time), then the one whose address holds fewer
// places in the line, then the one waiting longest; so a crowd that tries again and again
// goes behind a sender that tries once. An address holds at most its share of the places
// (its newest pushes out its own oldest); in a full line the last in line gives its place
// up, and a newcomer that would be last is turned away.
struct Waiter {
    uint32_t source = 0;
    bool trusted = false;
    uint32_t since = 0;
    bool gone = false;  // its place was given to another: it gives its wait up
};
std::vector<Waiter*> waiters;  // under holderLock, in the order they came

// An address's failed tries in its current minute: the latest kMostTriesKept addresses.
struct Tries {
    uint32_t source = 0;
    uint32_t since = 0;
    uint32_t count = 0;
};
constexpr size_t kMostTriesKept = 256;
constexpr uint32_t kTriesMinute = 60000;
std::vector<Tries> tries;  // under holderLock, the least recently counted first

uint32_t triesOf(uint32_t source, uint32_t now) {
    for (const Tries& t : tries)
        if (t.source == source && now - t.since < kTriesMinute) return t.count;
    return 0;
}

// Called with holderLock held.
void countTry(uint32_t source, uint32_t now) {
    Tries counted{source, now, 0};
    for (size_t i = 0; i < tries.size(); ++i)
        if (tries[i].source == source) {
            if (now - tries[i].since < kTriesMinute) counted = tries[i];
            tries.erase(tries.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    if (tries.size() >= kMostTriesKept) tries.erase(tries.begin());
    ++counted.count;
    tries.push_back(counted);
}

void noteFailed(uint32_t source) {
    std::lock_guard<std::mutex> guard(holderLock);
    countTry(source, tickCount());
}

// The address of the newcomer that took the reception last, under holderLock.
uint32_t holderSource = 0;

void noteHolder(uint32_t source) {
    std::lock_guard<std::mutex> guard(holderLock);
    holderSource = source;
}

// The holder was pushed out: a failed try of its address.
void notePushed() {
    std::lock_guard<std::mutex> guard(holderLock);
    countTry(holderSource, tickCount());
}

size_t placesOf(uint32_t source) {
    size_t held = 0;
    for (const Waiter* w : waiters) held += w->source == source;
    return held;
}

// a comes before b in the line (b may be a newcomer, not in it yet). Called with
// holderLock held.
bool before(const Waiter* a, const Waiter* b, uint32_t now) {
    if (a->trusted != b->trusted) return a->trusted;
    const uint32_t failedA = triesOf(a->source, now), failedB = triesOf(b->source, now);
    if (failedA != failedB) return failedA < failedB;
    const size_t placesA = placesOf(a->source), placesB = placesOf(b->source);
    if (placesA != placesB) return placesA < placesB;
    return now - a->since > now - b->since;
}

// Called with holderLock held.
bool firstInLine(const Waiter* me) {
    const uint32_t now = tickCount();
    for (const Waiter* w : waiters)
        if (w != me && before(w, me, now)) return false;
    return true;
}

// The place of index i is given up. Called with holderLock held.
void pushOut(size_t i) {
    countTry(waiters[i]->source, tickCount());
    waiters[i]->gone = true;
    waiters.erase(waiters.begin() + static_cast<std::ptrdiff_t>(i));
}

bool takeWaitingPlace(Waiter* me) {
    std::lock_guard<std::mutex> guard(holderLock);
    const uint32_t now = tickCount();
    size_t own = 0, ownOldest = waiters.size(), last = waiters.size();
    for (size_t i = 0; i < waiters.size(); ++i) {
        if (waiters[i]->source == me->source && own++ == 0) ownOldest = i;
        if (last == waiters.size() || before(waiters[last], waiters[i], now)) last = i;
    }
    if (own >= static_cast<size_t>(kWaitingFromOneAddress)) pushOut(ownOldest);
    else if (waiters.size() >= static_cast<size_t>(kMostWaitingForReception)) {
        if (before(waiters[last], me, now)) {
            countTry(me->source, now);
            return false;
        }
        pushOut(last);
    }
    waiters.push_back(me);
    return true;
}

bool lineEmpty() {
    std::lock_guard<std::mutex> guard(holderLock);
    return waiters.empty();
}

void leaveWaitingPlace(Waiter* me) {
    std::lock_guard<std::mutex> guard(holderLock);
    for (size_t i = 0; i < waiters.size(); ++i)
        if (waiters[i] == me) waiters.erase(waiters.begin() + static_cast<std::ptrdiff_t>(i));
}

bool firstInLineNow(const Waiter* me) {
    std::lock_guard<std::mutex> guard(holderLock);
    return firstInLine(me);
}

bool goneNow(const Waiter& me) {
    std::lock_guard<std::mutex> guard(holderLock);
    return me.gone;
}

// A newcomer that pushed the holder out is handed the reception as it is given up, so that
// a crowd that reconnects without end cannot take it first. Under holderLock.
bool reserved = false, handed = false;

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
    if (h.phase != Phase::Reading) return false;
    // A sender's content (or its first record) follows its header at once.
    if (now - h.since < kFloorWindow) return progressOf(h) == 0 && now - h.since >= kStartingGrace;
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
    // A stranger's open question never keeps a trusted computer out: it is taken back.
    if (holder.asking && n.trusted && !holder.trusted) return Judgement::Yields;
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

// Takes the holder's open question back, if one is open: true when it was.
bool withdrawQuestion() {
    std::lock_guard<std::mutex> guard(holderLock);
    if (holder.asking) questionWithdrawn = true;
    return holder.asking;
}

// Pushes the holder out by shutting its connection down; an open question is taken back
// instead, and the holder judged again once the question has ended (a stranger's reception
// then ends short and gives the reception up; one that still holds it is judged as it is).
bool push(const Newcomer& n, Socket reach) { return !withdrawQuestion() && reach != kInvalidSocket && n.shut(reach); }
}  // namespace

bool receptionYields() {
    std::lock_guard<std::mutex> guard(holderLock);
    roll(holder, tickCount());
    return receiveInProgress && holder.reach != kInvalidSocket && !holder.asking && belowFloor(holder, tickCount());
}

bool pushStrangerOut(bool (*shut)(Socket)) {
    Newcomer trusted;
    trusted.trusted = true;
    trusted.shut = shut;
    Socket reach = kInvalidSocket;
    {
        std::lock_guard<std::mutex> guard(holderLock);
        if (!receiveInProgress || holder.trusted) return false;
        reach = holder.reach;
    }
    if (!push(trusted, reach)) return false;
    notePushed();
    return true;
}

bool takeFreeReception() { return !receiveInProgress.exchange(true); }

// Only a real sender pushes a holder out (its header came whole, at once): one that
// trickles its own header must not take the place of the one it pushed, nor hold a place
// among those waiting.
bool shown(const Newcomer& n) { return !n.shows || n.shows(n.connection, kShowMilliseconds); }

bool admitReception(const Newcomer& n) {
    // A free reception goes to the line first, if there is one.
    if (lineEmpty() && takeFreeReception()) {
        noteHolder(n.source);
        return true;
    }
    Socket reach = kInvalidSocket;
    Judgement judgement = judge(n, tickCount(), kMostWait, &reach);
    const bool real = judgement != Judgement::Holds && judgement != Judgement::Ends && shown(n);
    if (judgement == Judgement::Holds || (judgement != Judgement::Ends && !real)) return false;
    Waiter me;
    me.source = n.source;
    me.trusted = n.trusted;
    me.since = tickCount();
    if (!takeWaitingPlace(&me)) return false;
    bool admitted = false, pushed = false, showed = real;
    uint32_t start = tickCount();
    for (uint32_t waited = 0; waited < kMostWait && !stopped(n) && !goneNow(me); waited = tickCount() - start) {
        if (waited > 0 && !pushed) judgement = judge(n, tickCount(), kMostWait - waited, &reach);
        const bool mayPush = judgement == Judgement::Yields || judgement == Judgement::Soon;
        if (judgement == Judgement::Holds || (mayPush && !showed && !(showed = shown(n)))) break;
        if (judgement == Judgement::Yields && !pushed && reserve(&me)) {
            pushed = push(n, reach);
            if (pushed) {
                notePushed();
                start = tickCount();  // the holder has kMostWait to give the reception up
            } else unreserve();       // it changed hands meanwhile, or its question was taken back
        }
        sleepMilliseconds(kLookMilliseconds);
        if (pushed ? handedNow() : firstInLineNow(&me) && takeFreeReception()) {
            admitted = true;
            break;
        }
    }
    if (pushed && !admitted) unreserve();
    leaveWaitingPlace(&me);
    if (admitted) noteHolder(n.source);
    else if (!me.gone) noteFailed(n.source);
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
    if (asking) questionWithdrawn = false;
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

bool strangerAsking() {
    std::lock_guard<std::mutex> guard(holderLock);
    return receiveInProgress && holder.asking && !holder.trusted;
}

void releaseReception() {
    std::lock_guard<std::mutex> guard(holderLock);
    holder.reach = kInvalidSocket;
    holder.asking = false;
    if (reserved) handed = true;  // to the newcomer that pushed it out
    else receiveInProgress = false;
}
