#include "private/pairing_lines.h"

namespace {
const struct {
    LineKind kind;
    ExchangeStep step;
} kExchangeLines[] = {
    {LineKind::Commit, ExchangeStep::Commit},
    {LineKind::Nonce, ExchangeStep::Nonce},
    {LineKind::Reveal, ExchangeStep::Reveal},
};

ExchangeMessage messageOf(const PrivateLine& line) {
    for (const auto& l : kExchangeLines)
        if (l.kind == line.kind) return ExchangeMessage{l.step, line.text};
    return ExchangeMessage{};
}

PrivateLine lineOf(const ExchangeMessage& message) {
    for (const auto& l : kExchangeLines)
        if (l.step == message.step) return PrivateLine{l.kind, message.hex};
    return PrivateLine{};
}
}  // namespace

bool startPairExchange(PairExchange* exchange, bool initiator, PrivateLine* first) {
    ExchangeMessage message;
    const bool started = startExchange(exchange, initiator, &message);
    *first = lineOf(message);
    return started;
}

ExchangeStage takeExchangeLine(PairExchange* exchange, const PrivateLine& line, PrivateLine* reply) {
    ExchangeMessage message;
    const ExchangeStage stage = takeExchangeMessage(exchange, messageOf(line), &message);
    *reply = lineOf(message);
    return stage;
}
