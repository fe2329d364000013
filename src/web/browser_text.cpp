#include "web/browser_text.h"

#include "core/window_port.h"
#include "platform/net.h"
#include "transfer/reception_door.h"
#include "transfer/reception_history.h"
#include "transfer/receiver.h"

namespace {
bool continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// The length of the well-formed UTF-8 sequence at text[at], 0 when there is none. The
// second byte's range rules out overlong forms, surrogates and code points past U+10FFFF.
size_t sequenceLength(const std::string& text, size_t at) {
    const unsigned char c = static_cast<unsigned char>(text[at]);
    if (c < 0x80) return 1;
    size_t length = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (length == 0 || at + length > text.size()) return 0;
    const unsigned char second = static_cast<unsigned char>(text[at + 1]);
    unsigned char low = 0x80, high = 0xBF;
    if (c == 0xE0) low = 0xA0;
    if (c == 0xED) high = 0x9F;
    if (c == 0xF0) low = 0x90;
    if (c == 0xF4) high = 0x8F;
    if (second < low || second > high) return 0;
    for (size_t i = 2; i < length; ++i)
        if (!continuation(static_cast<unsigned char>(text[at + i]))) return 0;
    return length;
}
}  // namespace

bool textIsValid(const std::string& text) {
    for (size_t at = 0; at < text.size();) {
        size_t length = sequenceLength(text, at);
        if (length == 0 || text[at] == '\0') return false;
        at += length;
    }
    return true;
}

std::string boundedText(const std::string& text) {
    if (text.size() <= static_cast<size_t>(kMostTextBytes)) return text;
    size_t end = static_cast<size_t>(kMostTextBytes);
    while (end > 0 && continuation(static_cast<unsigned char>(text[end]))) --end;
    return text.substr(0, end);
}

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
    switch (admitBrowserText(sender, text)) {
        case ReceiveResult::Complete: break;
        case ReceiveResult::TurnedAway: return TextOutcome::Busy;
        default: return TextOutcome::Refused;
    }
    portShowText(netDotted(sender), text);
    HistoryEntry entry = receivedEntry(HistoryDoor::Text, sender, HistoryOutcome::Complete);
    entry.bytes = length;
    entry.text = boundedText(text);
    recordReceived(std::move(entry), sender, 0);
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
