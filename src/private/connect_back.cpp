#include "private/connect_back.h"

#include <mutex>
#include <vector>

#include "platform/net.h"
#include "platform/threads.h"
#include "private/private_channel.h"
#include "private/private_session.h"
#include "transfer/protocol.h"
#include "trust/identity.h"
#include "trust/tls_channel.h"
#include "trust/trusted_list.h"

namespace {
struct Asked {
    std::string id;
    uint32_t since = 0;
    int count = 0;
};
std::mutex askedLock;
std::vector<Asked> asked;  // at most kMostTrusted keys: only trusted ones are counted
constexpr uint32_t kMinute = 60000;

// Counts one request of id; false when it already had its share of this minute.
bool takeTurn(const std::string& id) {
    std::lock_guard<std::mutex> guard(askedLock);
    const uint32_t now = tickCount();
    for (Asked& a : asked)
        if (a.id == id) {
            if (now - a.since >= kMinute) a = Asked{id, now, 0};
            return ++a.count <= kMostConnectBacksPerMinute;
        }
    if (asked.size() >= kMostTrusted) asked.erase(asked.begin());
    asked.push_back(Asked{id, now, 1});
    return true;
}

// filtered: whose firewall kept the connect in, as seen from here.
Reach reachOfFailure(ConnectFailure failure, Reach filtered) {
    switch (failure) {
        case ConnectFailure::Refused: return Reach::Refused;
        case ConnectFailure::NoAnswer: return Reach::NoAnswer;
        case ConnectFailure::NoRoute: return Reach::NoRoute;
        case ConnectFailure::Filtered: return filtered;
        default: return Reach::Failed;
    }
}

// A word of the answer: the other computer's connect.
Reach reachOfWord(const std::string& word) {
    ConnectFailure failure;
    return connectWordOk(word, &failure) ? Reach::Works : reachOfFailure(failure, Reach::FilteredThere);
}
}  // namespace

Reach reachOfConnect(int error) {
    return error == 0 ? Reach::Works : reachOfFailure(netConnectFailure(error), Reach::FilteredHere);
}

int connectOnce(uint32_t address, uint16_t port, int milliseconds) {
    const Socket s = netTcpSocket();
    if (s == kInvalidSocket) return netLastError();
    const int error = netConnectWithTimeout(s, address, port, milliseconds);
    netClose(s);
    return error;
}

void serveConnectBack(Link& link, uint32_t source, const std::string& id) {
    if (!takeTurn(id)) return;
    const int transfer = connectOnce(source, kTransferPort, kConnectBackMilliseconds);
    const int privateWay = connectOnce(source, kPrivatePort, kConnectBackMilliseconds);
    const std::string words = std::string(connectWord(transfer)) + " " + connectWord(privateWay);
    if (writePrivateLine(link, LineKind::Reached, words)) linkFinish(link);
}

PrivateReach reachPrivately(uint32_t address, const std::string& id, int milliseconds) {
    PrivateReach reach;
    const Socket s = netTcpSocket();
    if (s == kInvalidSocket || loadIdentity() != IdentityState::Ready) {
        netClose(s);
        reach.to = Reach::Failed;
        return reach;
    }
    reach.to = reachOfConnect(netConnectWithTimeout(s, address, kPrivatePort, milliseconds));
    TlsSession* session = reach.to == Reach::Works ? tlsConnect(s, milliseconds) : nullptr;
    Link link = session ? tlsLink(s, session) : plainLink(s);
    if (reach.to == Reach::Works) {
        reach.to = !session ? Reach::Failed : tlsPeerId(session) == id ? Reach::Verified : Reach::OtherKey;
    }
    if (reach.to == Reach::OtherKey) reach.from = ConnectBack{Reach::NotAsked, Reach::NotAsked};
    if (reach.to == Reach::Verified) reach.from = askConnectBack(link);
    linkClose(link);
    return reach;
}

ConnectBack askConnectBack(Link& link) {
    ConnectBack back;
    if (!writePrivateLine(link, LineKind::ConnectBack)) return back;
    const PrivateLine answer = readPrivateLineWithin(link, kAnswerLineLimit, kConnectBackAnswerMilliseconds);
    if (answer.kind != LineKind::Reached) return back;
    const size_t space = answer.text.find(' ');
    back.transfer = reachOfWord(answer.text.substr(0, space));
    back.privateWay = reachOfWord(answer.text.substr(space + 1));
    return back;
}
