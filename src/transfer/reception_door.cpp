#include "transfer/reception_door.h"

#include <cstring>
#include <vector>

#include "core/window_port.h"
#include "doors/reception.h"
#include "platform/threads.h"
#include "resource.h"
#include "policy/receive_policy.h"
#include "transfer/protocol.h"
#include "transfer/reception_history.h"
#include "transfer/receiver.h"
#include "transfer/stop.h"

namespace {
constexpr int kPeekPauseMilliseconds = 20;
}  // namespace

bool headerArrived(Socket connection, int milliseconds) {
    std::vector<char> bytes(static_cast<size_t>(kHeaderBlockLimit) + 2);
    const uint32_t start = tickCount();
    for (;;) {
        const int n = netPeekArrived(connection, bytes.data(), static_cast<int>(bytes.size()));
        if (n == 0 || (n < 0 && n != kNetNothingYet)) return false;
        const size_t size = n > 0 ? static_cast<size_t>(n) : 0;
        const char* data = bytes.data();
        for (size_t i = 1; i < size; ++i)
            if (data[i] == '\n' && data[i - 1] == '\n') return true;
        if (size == bytes.size()) return true;
        if (tickCount() - start >= static_cast<uint32_t>(milliseconds)) return false;
        // Peeked bytes keep the connection readable: a pause, not a wait, between looks.
        if (size > 0) sleepMilliseconds(kPeekPauseMilliseconds);
        else netWaitReadable(connection, kPeekPauseMilliseconds);
    }
}

bool admitConnection(const ReceptionAsk& ask) {
    Newcomer newcomer;
    newcomer.source = ask.source;
    newcomer.stopCount = &stopCount;
    newcomer.stops = ask.stops;
    newcomer.trusted = ask.trusted;
    newcomer.shows = ask.connection != kInvalidSocket && !ask.headerCame ? headerArrived : nullptr;
    newcomer.connection = ask.connection;
    newcomer.shut = shutReception;
    if (!admitReception(newcomer)) return false;
    holdReception(ask.reach, ask.trusted);
    return true;
}

int refusalText(Verdict verdict) {
    if (verdict == Verdict::Paused) return IDS_REFUSED_PAUSED;
    if (verdict == Verdict::NotListed) return IDS_REFUSED_NOT_LISTED;
    if (verdict == Verdict::NotTrusted) return IDS_REFUSED_NOT_TRUSTED;
    if (verdict == Verdict::StoppedRecently) return IDS_REFUSED_STOPPED;
    return IDS_REFUSED_RECENTLY;
}

void showRefusal(Verdict verdict, uint32_t sender) { portShowRefusal(refusalText(verdict), netDotted(sender)); }

void showNoRoom(uint32_t sender) {
    portShowRefusal(IDS_NO_FREE_SPACE, netDotted(sender));
    recordRefusal(HistoryDoor::BrowserUpload, sender, IDS_NO_FREE_SPACE);
}

bool refusedOnArrival(uint32_t sender, HistoryDoor door, const std::function<void()>& turnAway) {
    Verdict verdict = receiveVerdict(sender, tickCount(), true);
    if (!refuses(verdict)) return false;
    turnAway();
    showRefusal(verdict, sender);
    recordRefusal(door, sender, refusalText(verdict));
    return true;
}
