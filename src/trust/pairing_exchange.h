// The commit-then-reveal exchange that a pairing runs inside its TLS session before any
// code is shown. The initiator commits to its nonce (COMMIT: SHA-256 of a domain string
// and the nonce), the responder answers with its own nonce (NONCE), then the initiator
// reveals its nonce (REVEAL) and the responder checks it against the commitment. Each
// side's nonce is fixed before it sees the other's, so a man in the middle, who runs two
// sessions, cannot make their codes equal more often than one time in a million.
// The messages are plain: the channel turns its lines into them and back
// (private/pairing_lines.h), and gives each hex as its line was checked, 64 lower-case
// digits.
#pragma once
#include <string>

enum class ExchangeStage { AwaitNonce, AwaitCommit, AwaitReveal, Done, Failed };

// One message of the exchange; None for none, or for anything that is not one of its three.
enum class ExchangeStep { None, Commit, Nonce, Reveal };
struct ExchangeMessage {
    ExchangeStep step = ExchangeStep::None;
    std::string hex;
};

struct PairExchange {
    bool initiator = false;
    ExchangeStage stage = ExchangeStage::Failed;
    std::string ownNonce;    // 64 lower-case hex digits
    std::string peerNonce;   // the same, once the peer gave it
    std::string commitment;  // the responder's: the initiator's COMMIT
};

// Starts an exchange with a nonce of our own; false when no randomness was to be had.
// The initiator's first message (Commit) in *first; the responder has none (None).
bool startExchange(PairExchange* exchange, bool initiator, ExchangeMessage* first);
// Takes the peer's next message: the one to send back in *reply (None: none). Anything
// but the one message the stage awaits, or a reveal that does not match the commitment,
// fails the exchange for good.
ExchangeStage takeExchangeMessage(PairExchange* exchange, const ExchangeMessage& message, ExchangeMessage* reply);
// The two nonces in the order the code takes them (the initiator's first), once Done.
std::string exchangeNonces(const PairExchange& exchange);
// The commitment to a nonce, as COMMIT carries it.
std::string nonceCommitment(const std::string& nonce);
