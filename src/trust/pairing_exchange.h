// The commit-then-reveal exchange that a pairing runs inside its TLS session before any
// code is shown. The initiator commits to its nonce (COMMIT: SHA-256 of a domain string
// and the nonce), the responder answers with its own nonce (NONCE), then the initiator
// reveals its nonce (REVEAL) and the responder checks it against the commitment. Each
// side's nonce is fixed before it sees the other's, so a man in the middle, who runs two
// sessions, cannot make their codes equal more often than one time in a million.
#pragma once
#include <string>

#include "private/private_framing.h"

enum class ExchangeStage { AwaitNonce, AwaitCommit, AwaitReveal, Done, Failed };

struct PairExchange {
    bool initiator = false;
    ExchangeStage stage = ExchangeStage::Failed;
    std::string ownNonce;    // 64 lower-case hex digits
    std::string peerNonce;   // the same, once the peer gave it
    std::string commitment;  // the responder's: the initiator's COMMIT
};

// Starts an exchange with a nonce of our own; false when no randomness was to be had.
// The initiator's first line (COMMIT) in *first; the responder has none (Invalid).
bool startPairExchange(PairExchange* exchange, bool initiator, PrivateLine* first);
// Takes the peer's next line: the line to send back in *reply (Invalid: none). Anything
// but the one line the stage awaits, or a reveal that does not match the commitment,
// fails the exchange for good.
ExchangeStage takeExchangeLine(PairExchange* exchange, const PrivateLine& line, PrivateLine* reply);
// The two nonces in the order the code takes them (the initiator's first), once Done.
std::string exchangeNonces(const PairExchange& exchange);
// The commitment to a nonce, as COMMIT carries it.
std::string nonceCommitment(const std::string& nonce);
