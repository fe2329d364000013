#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "private/pairing_lines.h"
#include "private/private_framing.h"

namespace {
const std::string kHex = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

// The exchange's lines parse only with exactly 64 lower-case hex digits.
TEST(PrivateFraming, PairingLines) {
    const struct {
        std::string bytes;
        LineKind kind;
    } cases[] = {
        {"QVP/1 COMMIT " + kHex + "\n", LineKind::Commit},
        {"QVP/1 NONCE " + kHex + "\n", LineKind::Nonce},
        {"QVP/1 REVEAL " + kHex + "\n", LineKind::Reveal},
        {"QVP/1 NO\n", LineKind::No},
        {"QVP/1 COMMIT\n", LineKind::Invalid},
        {"QVP/1 COMMIT \n", LineKind::Invalid},
        {"QVP/1 NONCE " + kHex.substr(1) + "\n", LineKind::Invalid},
        {"QVP/1 NONCE " + kHex + "0\n", LineKind::Invalid},
        {"QVP/1 REVEAL " + kHex + " \n", LineKind::Invalid},
        {"QVP/1 REVEAL  " + kHex + "\n", LineKind::Invalid},
        {"QVP/1 REVEAL " + std::string(64, 'A') + "\n", LineKind::Invalid},
        {"QVP/1 COMMIT " + std::string(63, '0') + "g\n", LineKind::Invalid},
        {"QVP/1 NONCE " + kHex, LineKind::Invalid},
    };
    for (const auto& c : cases) {
        const PrivateLine line = parsePrivateLine(c.bytes.data(), c.bytes.size());
        EXPECT_EQ(line.kind, c.kind) << c.bytes;
        if (c.kind != LineKind::Invalid) {
            EXPECT_EQ(privateLineBytes(line.kind, line.text), c.bytes);
        }
    }
}

// Each side takes only the one line its stage awaits; the responder takes the reveal
// only when it matches the commitment it was given before it told its own nonce.
TEST(PairExchange, OnlyTheLineInTurnIsTaken) {
    const std::string nonce(64, '7');
    const PrivateLine commit{LineKind::Commit, nonceCommitment(nonce)};
    const PrivateLine reveal{LineKind::Reveal, nonce};
    const PrivateLine wrongReveal{LineKind::Reveal, std::string(64, '8')};
    const PrivateLine peerNonce{LineKind::Nonce, kHex};
    const PrivateLine late;  // nothing came in time, or a malformed line
    const struct {
        const char* what;
        bool initiator;
        std::vector<PrivateLine> lines;
        ExchangeStage last;
    } cases[] = {
        {"the commitment, then its reveal", false, {commit, reveal}, ExchangeStage::Done},
        {"a wrong reveal", false, {commit, wrongReveal}, ExchangeStage::Failed},
        {"a reveal before the nonce", false, {reveal}, ExchangeStage::Failed},
        {"a second commitment", false, {commit, commit}, ExchangeStage::Failed},
        {"a nonce to the responder", false, {peerNonce}, ExchangeStage::Failed},
        {"a late reveal", false, {commit, late}, ExchangeStage::Failed},
        {"a line after the end", false, {commit, reveal, reveal}, ExchangeStage::Failed},
        {"the nonce", true, {peerNonce}, ExchangeStage::Done},
        {"a commitment to the initiator", true, {commit}, ExchangeStage::Failed},
        {"a reveal to the initiator", true, {reveal}, ExchangeStage::Failed},
        {"a late nonce", true, {late}, ExchangeStage::Failed},
    };
    for (const auto& c : cases) {
        PairExchange exchange;
        PrivateLine first, reply;
        ASSERT_TRUE(startPairExchange(&exchange, c.initiator, &first));
        ExchangeStage stage = exchange.stage;
        for (const PrivateLine& line : c.lines) stage = takeExchangeLine(&exchange, line, &reply);
        EXPECT_EQ(stage, c.last) << c.what;
        if (stage == ExchangeStage::Failed) {
            EXPECT_EQ(reply.kind, LineKind::Invalid) << c.what;
        }
    }
}

// Two sides run against each other: each gets the other's nonce, in the same order.
TEST(PairExchange, BothSidesEndWithTheSameNonces) {
    PairExchange initiator, responder;
    PrivateLine commit, none, nonce, reveal, last;
    ASSERT_TRUE(startPairExchange(&initiator, true, &commit));
    ASSERT_TRUE(startPairExchange(&responder, false, &none));
    EXPECT_EQ(commit.kind, LineKind::Commit);
    EXPECT_EQ(none.kind, LineKind::Invalid);
    EXPECT_EQ(takeExchangeLine(&responder, commit, &nonce), ExchangeStage::AwaitReveal);
    EXPECT_EQ(takeExchangeLine(&initiator, nonce, &reveal), ExchangeStage::Done);
    EXPECT_EQ(takeExchangeLine(&responder, reveal, &last), ExchangeStage::Done);
    EXPECT_EQ(last.kind, LineKind::Invalid);
    EXPECT_EQ(exchangeNonces(initiator), exchangeNonces(responder));
    EXPECT_EQ(exchangeNonces(initiator), reveal.text + nonce.text);
    EXPECT_NE(reveal.text, nonce.text);
}
}  // namespace
