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

bool startExchange(PairExchange* exchange, bool initiator, ExchangeMessage* first) {
    unsigned char nonce[kNonceBytes];
    *exchange = PairExchange{};
    *first = ExchangeMessage{};
    if (!systemRandomBytes(nonce, sizeof nonce)) return false;
    exchange->initiator = initiator;
    exchange->ownNonce = hexOfBytes(nonce, sizeof nonce);
    exchange->stage = initiator ? ExchangeStage::AwaitNonce : ExchangeStage::AwaitCommit;
    if (initiator) *first = ExchangeMessage{ExchangeStep::Commit, nonceCommitment(exchange->ownNonce)};
    return true;
}

ExchangeStage takeExchangeMessage(PairExchange* exchange, const ExchangeMessage& message, ExchangeMessage* reply) {
    *reply = ExchangeMessage{};
    switch (exchange->stage) {
        case ExchangeStage::AwaitCommit:
            if (message.step != ExchangeStep::Commit) return fail(exchange);
            exchange->commitment = message.hex;
            *reply = ExchangeMessage{ExchangeStep::Nonce, exchange->ownNonce};
            return exchange->stage = ExchangeStage::AwaitReveal;
        case ExchangeStage::AwaitNonce:
            if (message.step != ExchangeStep::Nonce) return fail(exchange);
            exchange->peerNonce = message.hex;
            *reply = ExchangeMessage{ExchangeStep::Reveal, exchange->ownNonce};
            return exchange->stage = ExchangeStage::Done;
        case ExchangeStage::AwaitReveal:
            if (message.step != ExchangeStep::Reveal || nonceCommitment(message.hex) != exchange->commitment)
                return fail(exchange);
            exchange->peerNonce = message.hex;
            return exchange->stage = ExchangeStage::Done;
        case ExchangeStage::Done:
        case ExchangeStage::Failed: break;
    }
    return fail(exchange);
}

std::string exchangeNonces(const PairExchange& exchange) {
    return exchange.initiator ? exchange.ownNonce + exchange.peerNonce : exchange.peerNonce + exchange.ownNonce;
}
