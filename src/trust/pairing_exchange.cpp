#include "trust/pairing_exchange.h"

#include "platform/random.h"
#include "trust/content_hash.h"

namespace {
// Binds a commitment to this use: the same nonce committed elsewhere gives another hash.
const char kCommitmentDomain[] = "quorvalinthexa pairing commitment\n";
constexpr size_t kNonceBytes = 32;

ExchangeStage fail(PairExchange* exchange) { return exchange->stage = ExchangeStage::Failed; }
}  // namespace

std::string nonceCommitment(const std::string& nonce) {
    const std::string bound = kCommitmentDomain + nonce;
    return sha256Hex(bound.data(), bound.size());
}

bool startPairExchange(PairExchange* exchange, bool initiator, PrivateLine* first) {
    unsigned char nonce[kNonceBytes];
    *exchange = PairExchange{};
    *first = PrivateLine{};
    if (!systemRandomBytes(nonce, sizeof nonce)) return false;
    exchange->initiator = initiator;
    exchange->ownNonce = hexOfBytes(nonce, sizeof nonce);
    exchange->stage = initiator ? ExchangeStage::AwaitNonce : ExchangeStage::AwaitCommit;
    if (initiator) *first = PrivateLine{LineKind::Commit, nonceCommitment(exchange->ownNonce)};
    return true;
}

ExchangeStage takeExchangeLine(PairExchange* exchange, const PrivateLine& line, PrivateLine* reply) {
    *reply = PrivateLine{};
    switch (exchange->stage) {
        case ExchangeStage::AwaitCommit:
            if (line.kind != LineKind::Commit) return fail(exchange);
            exchange->commitment = line.text;
            *reply = PrivateLine{LineKind::Nonce, exchange->ownNonce};
            return exchange->stage = ExchangeStage::AwaitReveal;
        case ExchangeStage::AwaitNonce:
            if (line.kind != LineKind::Nonce) return fail(exchange);
            exchange->peerNonce = line.text;
            *reply = PrivateLine{LineKind::Reveal, exchange->ownNonce};
            return exchange->stage = ExchangeStage::Done;
        case ExchangeStage::AwaitReveal:
            if (line.kind != LineKind::Reveal || nonceCommitment(line.text) != exchange->commitment)
                return fail(exchange);
            exchange->peerNonce = line.text;
            return exchange->stage = ExchangeStage::Done;
        case ExchangeStage::Done:
        case ExchangeStage::Failed: break;
    }
    return fail(exchange);
}

std::string exchangeNonces(const PairExchange& exchange) {
    return exchange.initiator ? exchange.ownNonce + exchange.peerNonce : exchange.peerNonce + exchange.ownNonce;
}
