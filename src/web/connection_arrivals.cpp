#include "web/connection_arrivals.h"

#include "doors/first_bytes.h"
#include "web/http_connection.h"

namespace {
using Take = void (*)(Socket connection);

void arrived(WaitingConnection& w) { w.limit = static_cast<uint32_t>(kRequestLineMilliseconds); }

bool spoke(WaitingConnection& w, void* take) {
    if (netClosedWithoutBytes(w.socket)) netCloseAbortive(w.socket);
    else (*static_cast<Take*>(take))(w.socket);
    return true;
}

void close(const WaitingConnection& w) { netCloseAbortive(w.socket); }
}  // namespace

void takeConnectionsThatSpeak(Socket listener, void (*take)(Socket connection), bool (*ended)(Socket listener)) {
    static_assert(kMostArrivalsWaitingForBytes < kMostWaitedSockets, "the listener waits beside them");
    FirstBytesDoor door;
    door.places = kMostArrivalsWaitingForBytes;
    door.share = kArrivalsForBytesFromOneAddress;
    // On Windows nothing but a connection wakes the wait when access ends.
    door.lookMilliseconds = 50;
    door.arrived = arrived;
    door.spoke = spoke;
    door.context = &take;  // lives as long as the wait
    door.close = close;
    door.ended = ended;
    waitForFirstBytes(listener, door);
    netClose(listener);
}
