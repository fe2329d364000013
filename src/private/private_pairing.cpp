#include "private/private_pairing.h"

#include <atomic>
#include <ctime>

#include "core/window_port.h"
#include "platform/threads.h"
#include "private/pairing_lines.h"
#include "private/private_session.h"
#include "trust/identity.h"
#include "trust/tls_channel.h"
#include "trust/trusted_list.h"

namespace {
// The other side's answer may come up to the end of its own question, and a little later.
constexpr int kAnswerSlackMilliseconds = 5000;

std::atomic<bool> pairingOpen{false};

// Lines that go together leave in one write: a small write after another would wait for
// the peer's delayed acknowledgement of the first.
bool writeLines(const Link& link, std::string bytes, const PrivateLine& line) {
    bytes += privateLineBytes(line.kind, line.text);
    return linkWrite(link, bytes.data(), bytes.size());
}

// Runs the exchange to its end, each of the peer's lines within its time; before: lines
// that go out with our first reply. Both nonces, or "" when a line was late, malformed,
// out of turn, or did not match its commitment.
std::string runExchange(Link& link, PairExchange& exchange, std::string before) {
    while (exchange.stage != ExchangeStage::Done && exchange.stage != ExchangeStage::Failed) {
        const PrivateLine line = readPrivateLineWithin(link, kRequestLineLimit, kRequestMilliseconds);
        PrivateLine reply;
        takeExchangeLine(&exchange, line, &reply);
        if (reply.kind != LineKind::Invalid && !writeLines(link, before, reply)) return std::string();
        if (reply.kind != LineKind::Invalid) before.clear();
    }
    return exchange.stage == ExchangeStage::Done ? exchangeNonces(exchange) : std::string();
}

// Both PAIR lines and the exchange are through: the code, our user's answer, and the
// other side's.
PairResult confirm(Link& link, uint32_t address, const std::string& sentName, const std::string& nonces,
                   bool initiator) {
    const std::string peerName = cleanTrustedName(sentName);
    const std::string id = tlsPeerId(link.tls);
    const std::string code = tlsComparisonCode(link.tls, nonces, initiator);
    if (id.empty() || code.empty()) return PairResult::Failed;
    const bool yes = portAskTrust(peerName, id, code, kPairQuestionMilliseconds);
    if (!writePrivateLine(link, yes ? LineKind::Yes : LineKind::No)) return PairResult::Failed;
    if (!yes) {
        tlsFinish(link.tls);
        return PairResult::Declined;
    }
    const PrivateLine answer = readPrivateLineWithin(link, kRequestLineLimit,
                                                     kPairQuestionMilliseconds + kAnswerSlackMilliseconds);
    tlsFinish(link.tls);
    if (answer.kind == LineKind::No) return PairResult::PeerDeclined;
    if (answer.kind != LineKind::Yes) return PairResult::NoAnswer;
    if (!trustComputer(id, peerName, address)) return PairResult::Failed;
    noteTrustedSeen(id, address, static_cast<int64_t>(time(nullptr)),
                    initiator ? TrustedMeeting::Reached : TrustedMeeting::Came);
    return PairResult::Paired;
}

// One pairing at a time, on either side.
template <typename Pairing>
PairResult alone(Pairing pairing) {
    if (pairingOpen.exchange(true)) return PairResult::Failed;
    const PairResult result = pairing();
    pairingOpen = false;
    return result;
}
}  // namespace

PairResult answerPairing(Link& link, uint32_t address, const std::string& peerName) {
    return alone([&] {
        PairExchange exchange;
        PrivateLine none;
        if (!startPairExchange(&exchange, false, &none)) return PairResult::Failed;
        // Our PAIR line goes with our nonce, once the commitment is in.
        const std::string nonces = runExchange(link, exchange, privateLineBytes(LineKind::Pair, ownPairName()));
        return nonces.empty() ? PairResult::Failed : confirm(link, address, peerName, nonces, false);
    });
}

PairResult pairWith(uint32_t address) {
    if (loadIdentity() != IdentityState::Ready || privatePort == 0) return PairResult::Failed;
    return alone([address] {
        Link link{netTcpSocket(), nullptr};
        if (netConnectWithTimeout(link.socket, address, privatePort, kPrivateConnectMilliseconds) == 0)
            link.tls = tlsConnect(link.socket);
        PairResult result = PairResult::NoAnswer;
        PairExchange exchange;
        PrivateLine commit;
        // The commitment goes with the request: our nonce is fixed before the other's is seen.
        if (link.tls && startPairExchange(&exchange, true, &commit) &&
            writeLines(link, privateLineBytes(LineKind::Pair, ownPairName()), commit)) {
            const PrivateLine answer = readPrivateLineWithin(link, kRequestLineLimit, kRequestMilliseconds);
            const std::string nonces = answer.kind == LineKind::Pair ? runExchange(link, exchange, std::string())
                                                                     : std::string();
            if (!nonces.empty()) result = confirm(link, address, answer.text, nonces, true);
            else if (answer.kind == LineKind::Pair) result = PairResult::Failed;
        }
        if (link.tls) tlsClose(link.tls);
        netClose(link.socket);
        return result;
    });
}

PairResult awaitPairing() {
    int error = 0;
    if (loadIdentity() != IdentityState::Ready) return PairResult::Failed;
    const Socket listener = listenPrivately(&error);
    if (listener == kInvalidSocket) return PairResult::Failed;
    for (;;) {
        AcceptFailure failure = kAcceptEnded;
        Link link{netAccept(listener, &failure), nullptr};
        if (link.socket == kInvalidSocket) {
            if (failure == kAcceptEnded) break;
            sleepMilliseconds(100);
            continue;
        }
        uint32_t address = 0;
        PrivateLine request;
        if (netPeerAddress(link.socket, &address) && (link.tls = tlsAccept(link.socket)))
            request = readPrivateLineWithin(link, kRequestLineLimit, kRequestMilliseconds);
        const PairResult result = request.kind == LineKind::Pair ? answerPairing(link, address, request.text)
                                                                 : PairResult::NoAnswer;
        if (link.tls) tlsClose(link.tls);
        netClose(link.socket);
        if (request.kind == LineKind::Pair) {
            netClose(listener);
            return result;
        }
    }
    netClose(listener);
    return PairResult::Failed;
}
