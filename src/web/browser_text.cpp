#include "web/browser_text.h"

#include "core/utf8_reader.h"
#include "transfer/reception_door.h"
#include "transfer/text_reception.h"

std::string boundedText(const std::string& text) { return utf8Prefix(text, static_cast<size_t>(kMostTextBytes)); }

TextOutcome textOnArrival(int64_t length, uint32_t sender) {
    if (length > kMostTextBytes) return TextOutcome::TooLong;
    if (refusedOnArrival(sender, HistoryDoor::Text, [] {})) return TextOutcome::Refused;
    return TextOutcome::Shown;
}

TextOutcome receiveText(int64_t length, uint32_t sender, const BodyRead& read) {
    if (length < 0 || length > kMostTextBytes) return TextOutcome::TooLong;
    std::string text(static_cast<size_t>(length), '\0');
    for (size_t got = 0; got < text.size();) {
        int n = read(&text[got], static_cast<int>(text.size() - got));
        if (n <= 0) return TextOutcome::Cut;
        got += static_cast<size_t>(n);
    }
    if (!textIsValid(text)) return TextOutcome::BadText;
    int refusal = 0;
    switch (admitText(TextSender{sender, std::string()}, text, &refusal)) {
        case ReceiveResult::Complete: break;
        case ReceiveResult::TurnedAway: return TextOutcome::Busy;
        default: return TextOutcome::Refused;
    }
    showAdmittedText(TextSender{sender, std::string()}, text);
    return TextOutcome::Shown;
}

int textStatus(TextOutcome outcome) {
    switch (outcome) {
        case TextOutcome::Shown: return 201;
        case TextOutcome::TooLong: return 413;
        case TextOutcome::BadText: return 400;
        case TextOutcome::Refused: return 403;
        case TextOutcome::Busy: return 503;
        default: return 500;
    }
}

const char* textWord(TextOutcome outcome) {
    switch (outcome) {
        case TextOutcome::Shown: return "shown";
        case TextOutcome::TooLong: return "too-long";
        case TextOutcome::BadText: return "bad-text";
        case TextOutcome::Refused: return "refused";
        case TextOutcome::Busy: return "busy";
        default: return "not-shown";
    }
}
