// The receiving side of the private channel: the listener on the private port, bounded
// handshakes and request lines, and the transfers it receives.
#include "private/private_channel.h"

#include <ctime>
#include <mutex>
#include <optional>
#include <vector>

#include "core/texts.h"
#include "doors/first_bytes.h"
#include "doors/places.h"
#include "core/text_routines.h"
#include "peers/remembered_peers.h"
#include "platform/codepage.h"
#include "platform/threads.h"
#include "private/connect_back.h"
#include "transfer/listener.h"
#include "private/pairing_wait.h"
#include "private/private_pairing.h"
#include "private/private_receive.h"
#include "private/private_session.h"
#include "private/private_text.h"
#include "transfer/stop.h"
#include "trust/identity.h"
#include "trust/tls_channel.h"
#include "trust/trusted_list.h"

namespace {
constexpr int kBacklog = 64;
constexpr int kLookMilliseconds = 250;  // how often the listener looks at the deadlines

std::atomic<int> listenerError{-1};
std::atomic<int> untrustedAtWork{0};
std::atomic<void (*)(ReceiveResult)> receptionEnded{nullptr};

// A connection between its accept and its request line. The listener shuts down one
// whose handshake and request have not come by their deadline: the thread reading it
// then fails, and the place is free again.
struct Pending {
    Socket socket = kInvalidSocket;
    uint32_t source = 0;
    uint32_t since = 0;
    bool late = false;  // shut down by the listener
};
std::mutex pendingLock;
std::vector<Pending> pending;

// Addresses whose sessions ended without a request: how many in the current minute.
struct Silent {
    uint32_t source = 0;
    uint32_t since = 0;
    int count = 0;
};
std::vector<Silent> silent;  // under pendingLock; a few dozen at most
constexpr uint32_t kMinute = 60000;
constexpr size_t kMostSilentKept = 256;

bool setAside(uint32_t source, uint32_t now) {
    for (const Silent& s : silent)
        if (s.source == source && now - s.since < kMinute) return s.count >= kMostSilentSessionsPerMinute;
    return false;
}

void noteSilentSession(uint32_t source) {
    std::lock_guard<std::mutex> guard(pendingLock);
    const uint32_t now = tickCount();
    for (Silent& s : silent)
        if (s.source == source) {
            if (now - s.since >= kMinute) s = Silent{source, now, 0};
            ++s.count;
            return;
        }
    if (silent.size() >= kMostSilentKept) silent.erase(silent.begin());
    silent.push_back(Silent{source, now, 1});
}

// A place for a connection that has started its handshake: an address holds at most its
// share of them (doors/places.h). When every place is taken, the oldest connection of a
// crowd is shut down for a newcomer from an address without one (it fails on its thread,
// which then gives its place up), never one address's single try.
bool takePlace(Socket socket, uint32_t source) {
    std::lock_guard<std::mutex> guard(pendingLock);
    const uint32_t now = tickCount();
    if (setAside(source, now)) return false;
    // Shut-down connections still hold their entry until their thread ends: bounded too.
    if (pending.size() >= 2 * static_cast<size_t>(kMostPendingHandshakes)) return false;
    std::vector<Pending*> live;
    std::vector<uint32_t> holders;
    for (Pending& p : pending)
        if (!p.late) {
            live.push_back(&p);
            holders.push_back(p.source);
        }
    size_t pushed = 0;
    const PlaceChoice choice = choosePlace(holders, source, kMostPendingHandshakes, kMostPendingFromOneSource, false,
                                           &pushed);
    if (choice == PlaceChoice::Refuse) return false;
    if (choice == PlaceChoice::PushOut) {
        live[pushed]->late = true;
        netShutdown(live[pushed]->socket);
    }
    pending.push_back(Pending{socket, source, now, false});
    return true;
}

// Gives the place up; from then on the listener no longer reaches the socket.
void givePlace(Socket socket) {
    std::lock_guard<std::mutex> guard(pendingLock);
    for (size_t i = 0; i < pending.size(); ++i)
        if (pending[i].socket == socket) pending.erase(pending.begin() + static_cast<std::ptrdiff_t>(i));
}

void shutLatePending() {
    constexpr uint32_t kLimit = kTlsHandshakeMilliseconds + kRequestMilliseconds;
    std::lock_guard<std::mutex> guard(pendingLock);
    const uint32_t now = tickCount();
    for (Pending& p : pending) {
        if (p.late || now - p.since < kLimit) continue;
        p.late = true;
        netShutdown(p.socket);
    }
}

struct Accepted {
    Socket socket;
    uint32_t source;
    unsigned stops;
};

// One connection on its own thread: handshake, request line, and what it asks for.
void serveConnection(void* argument) {
    const Accepted a = *static_cast<Accepted*>(argument);
    delete static_cast<Accepted*>(argument);
    // Its first bytes have come (waitForFirstBytes): the handshake has started.
    Link link{a.socket, tlsAccept(a.socket)};
    PrivateLine request;
    ReceiveResult received = ReceiveResult::NothingSent;
    if (link.tls) request = readPrivateLineWithin(link, kRequestLineLimit, kRequestMilliseconds);
    givePlace(a.socket);
    const bool transfer = request.kind == LineKind::Offer;
    const bool text = request.kind == LineKind::Text;
    // A pairing request is answered only while the user waits for one; any other ends
    // here, with nothing shown.
    unsigned wait = 0;
    const bool pairs = request.kind == LineKind::Pair && takePairingWait(&wait);
    // Only a trusted key is connected back to; a stranger's request is closed as unknown.
    const std::string id = link.tls ? tlsPeerId(link.tls) : std::string();
    const std::optional<TrustedComputer> trusted = link.tls ? findTrusted(id) : std::nullopt;
    const bool back = request.kind == LineKind::ConnectBack && trusted;
    const bool asks = transfer || pairs || text || back;
    if (link.tls && !asks) noteSilentSession(a.source);
    if (asks) {
        if (trusted) noteTrustedSeen(id, a.source, static_cast<int64_t>(time(nullptr)), TrustedMeeting::Came);
        // Strangers' transfers and pairings are few at once; a trusted key is never kept out.
        const bool room = trusted || ++untrustedAtWork <= kMostUntrustedAtWork;
        if (!room) {
            request.kind = LineKind::Invalid;
            if (pairs) endPairingWait(wait, PairResult::Failed, a.source);
        } else if (transfer) {
            received = servePrivateOffer(link, a.source, trusted, id, a.stops);
        } else if (text) {
            servePrivateText(link, a.source, trusted, parseTextLength(request.text));
        } else if (back) {
            serveConnectBack(link, a.source, id);
        } else {
            endPairingWait(wait, answerPairing(link, a.source, request.text), a.source);
        }
        if (!trusted) --untrustedAtWork;
    }
    if (link.tls) tlsClose(link.tls);
    // The answer must reach the sender: a reset would drop it where it was not read yet.
    if (transfer || text || back || request.kind == LineKind::Pair) netClose(a.socket);
    else netCloseAbortive(a.socket);
    // Told once the session is gone: a --once receiver ends the process on it.
    auto ended = receptionEnded.load();
    if (ended && transfer) ended(received);
}

// A connection whose hello has not come whole soon holds no place and no thread.
void arrived(WaitingConnection& w) {
    w.limit = static_cast<uint32_t>(kFirstBytesMilliseconds);
    w.stops = stopCount;
}

void close(const WaitingConnection& w) { netCloseAbortive(w.socket); }

// A handshake takes a place and a thread only once the client's hello has come whole:
// until then the connection waits here, looked at each round, and one that sends a byte
// and no more holds neither.
bool spoke(WaitingConnection& w, void*) {
    const HelloArrival hello = tlsHelloArrival(w.socket);
    w.resting = hello == HelloArrival::Partial;
    if (w.resting) return false;
    if (hello != HelloArrival::Whole || !takePlace(w.socket, w.source)) {
        netCloseAbortive(w.socket);  // gone already, not a handshake, or too many at once
        return true;
    }
    Accepted* accepted = new Accepted{w.socket, w.source, w.stops};
    if (startThread(serveConnection, accepted)) return true;
    delete accepted;
    givePlace(w.socket);
    netCloseAbortive(w.socket);
    return true;
}

// The listener looks at the handshakes' deadlines every round; it runs as long as the process.
bool shutLate(Socket) {
    shutLatePending();
    return false;
}
}  // namespace

int privateListenerError() { return listenerError; }

void setPrivateReceptionEnded(void (*ended)(ReceiveResult)) { receptionEnded = ended; }

Socket listenPrivately(int* error) {
    const uint16_t port = privatePort;
    *error = 0;
    if (port == 0) return kInvalidSocket;
    const Socket s = netTcpSocket();
    if (s == kInvalidSocket) *error = netLastError();
    else if ((*error = netSetListenerReuse(s)) == 0 && (*error = netBind(s, 0, port)) == 0)
        *error = netListen(s, kBacklog);
    if (*error == 0) return s;
    if (s != kInvalidSocket) netClose(s);
    return kInvalidSocket;
}

void privateListenerThread(void*) {
    int error = 0;
    const Socket listener = loadIdentity() == IdentityState::Ready ? listenPrivately(&error) : kInvalidSocket;
    if (listener == kInvalidSocket && error == 0) error = -2;  // no identity, or no port
    listenerError = error;
    if (listener == kInvalidSocket) return;
    FirstBytesDoor door;
    door.places = kMostWaitingForHandshake;
    door.share = kMostPendingFromOneSource;
    door.pushOwn = false;
    door.lookMilliseconds = kLookMilliseconds;
    door.arrived = arrived;
    door.spoke = spoke;
    door.close = close;
    door.ended = shutLate;
    waitForFirstBytes(listener, door);
}
