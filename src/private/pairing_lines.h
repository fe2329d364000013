// The pairing exchange (trust/pairing_exchange.h) in the private channel's lines: COMMIT,
// NONCE and REVEAL carry its messages; any other line is none of them.
#pragma once
#include "private/private_framing.h"
#include "trust/pairing_exchange.h"

// startExchange, with the initiator's first message as its line (Invalid: none).
bool startPairExchange(PairExchange* exchange, bool initiator, PrivateLine* first);
// takeExchangeMessage for the peer's line, the reply as a line (Invalid: none).
ExchangeStage takeExchangeLine(PairExchange* exchange, const PrivateLine& line, PrivateLine* reply);
