#include "private/private_text.h"

#include "core/text_routines.h"
#include "core/texts.h"
#include "private/private_channel.h"
#include "private/private_session.h"
#include "transfer/text_reception.h"

namespace {
// The refusal's line, in English as every line of the channel, and our orderly end: what
// a refused sender still writes is read for a moment, so that it reads the answer
// instead of a reset.
void refuse(Link& link, int textId, uint32_t sender) {
    const std::string text = fillPlaceholders(englishText(textId), netDotted(sender));
    if (writePrivateLine(link, LineKind::Refused, text) && linkFinish(link))
        drainPrivate(link, kRefusedDrainMilliseconds);
}
}  // namespace

void servePrivateText(Link& link, uint32_t sender, const std::optional<TrustedComputer>& trusted, size_t length) {
    // A stranger's words are never read: it hears why, and the status line tells.
    if (!trusted) {
        refuse(link, refuseStrangerText(sender), sender);
        return;
    }
    std::string text(length, '\0');
    // Cut short, or too slow: nothing came to answer.
    if (length == 0 || !readPrivateBytesWithin(link, &text[0], length, kTextBytesMilliseconds)) return;
    const int refusal = receiveTrustedText(TextSender{sender, trusted->name.empty() ? trusted->id : trusted->name},
                                           text);
    if (refusal != 0) refuse(link, refusal, sender);
    else if (writePrivateLine(link, LineKind::Stored)) linkFinish(link);
}

TextAnswer sendTextOver(Link& link, const std::string& text, std::string* refusal) {
    if (!linkWrite(link, text.data(), text.size())) return TextAnswer::NoAnswer;
    const PrivateLine answer = readPrivateLineWithin(link, kAnswerLineLimit, kTextAnswerMilliseconds);
    if (answer.kind == LineKind::Stored) return TextAnswer::Stored;
    if (answer.kind != LineKind::Refused) return TextAnswer::NoAnswer;
    *refusal = answer.text;
    return TextAnswer::Refused;
}
