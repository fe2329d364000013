#include "history/history_text.h"

#include <cstdio>

namespace {
// The code point of the UTF-8 character at text[at] and its length, or length 0 when the
// bytes there are no valid character (stray or missing continuation, overlong form,
// surrogate, past U+10FFFF).
struct Character {
    uint32_t point;
    size_t length;
};

Character characterAt(const std::string& text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) return {lead, 1};
    size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || at + length > text.size()) return {0, 0};
    uint32_t point = lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return {0, 0};
        point = point << 6 | (byte(at + i) & 0x3F);
    }
    static const uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (point < kLeast[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return {0, 0};
    return {point, length};
}

bool turnsDirection(uint32_t point) {
    return (point >= 0x202A && point <= 0x202E) || (point >= 0x2066 && point <= 0x2069) || point == 0x200E ||
           point == 0x200F || point == 0x061C;
}

std::string hexEscape(const char* format, uint32_t value) {
    char escape[16];
    snprintf(escape, sizeof escape, format, static_cast<unsigned>(value));
    return escape;
}

// The short escape both forms share for a C0 control, or nullptr.
const char* shortEscape(uint32_t point) {
    switch (point) {
        case '\n': return "\\n";
        case '\r': return "\\r";
        case '\t': return "\\t";
        case '\\': return "\\\\";
        default: return nullptr;
    }
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (size_t at = 0; at < text.size();) {
        const Character c = characterAt(text, at);
        if (c.length == 0) {
            out += "\\ufffd";
            ++at;
            continue;
        }
        if (const char* escape = shortEscape(c.point)) out += escape;
        else if (c.point == '"') out += "\\\"";
        else if (c.point < 0x20 || c.point == 0x7F || (c.point >= 0x80 && c.point < 0xA0) || turnsDirection(c.point))
            out += hexEscape("\\u%04x", c.point);
        else out.append(text, at, c.length);
        at += c.length;
    }
    return out + "\"";
}

std::string jsonNames(const std::vector<std::string>& names) {
    std::string out = "[";
    for (size_t i = 0; i < names.size(); ++i) out += (i ? "," : "") + jsonString(names[i]);
    return out + "]";
}

std::string jsonNumber(int64_t value) { return std::to_string(value); }

std::string jsonObject(const HistoryEntry& e) {
    return "{\"id\":" + jsonNumber(e.id) + ",\"time\":" + jsonNumber(e.time) + ",\"direction\":\"" +
           historyDirectionWord(e.direction) + "\",\"door\":\"" + historyDoorWord(e.door) +
           "\",\"encrypted\":" + (e.door == HistoryDoor::Private ? "true" : "false") +
           ",\"peer\":" + jsonString(e.peer) + ",\"address\":" + jsonString(e.address) +
           ",\"names\":" + jsonNames(e.names) + ",\"files\":" + jsonNumber(e.files) +
           ",\"bytes\":" + jsonNumber(e.bytes) + ",\"folder\":" + jsonString(e.folder) + ",\"outcome\":\"" +
           historyOutcomeWord(e.outcome) + "\",\"reason\":" + jsonString(e.reason) + ",\"text\":" + jsonString(e.text) +
           "}";
}
}  // namespace

const char* historyDirectionWord(HistoryDirection direction) {
    return direction == HistoryDirection::Sent ? "sent" : "received";
}

const char* historyDoorWord(HistoryDoor door) {
    switch (door) {
        case HistoryDoor::Transfer: return "transfer";
        case HistoryDoor::Private: return "private";
        case HistoryDoor::BrowserUpload: return "browser-upload";
        case HistoryDoor::BrowserDownload: return "browser-download";
        case HistoryDoor::Text: return "text";
    }
    return "transfer";
}

const char* historyOutcomeWord(HistoryOutcome outcome) {
    switch (outcome) {
        case HistoryOutcome::Complete: return "complete";
        case HistoryOutcome::Incomplete: return "incomplete";
        case HistoryOutcome::Refused: return "refused";
        case HistoryOutcome::Canceled: return "canceled";
    }
    return "incomplete";
}

std::string printableText(const std::string& text) {
    std::string out;
    for (size_t at = 0; at < text.size();) {
        const Character c = characterAt(text, at);
        if (c.length == 0) {
            out += hexEscape("\\x%02x", static_cast<unsigned char>(text[at]));
            ++at;
            continue;
        }
        if (const char* escape = shortEscape(c.point)) out += escape;
        else if (c.point < 0x20 || c.point == 0x7F) out += hexEscape("\\x%02x", c.point);
        else if ((c.point >= 0x80 && c.point < 0xA0) || turnsDirection(c.point)) out += hexEscape("\\u%04x", c.point);
        else out.append(text, at, c.length);
        at += c.length;
    }
    return out;
}

std::string historyJson(const std::vector<HistoryEntry>& entries) {
    std::string out = "[";
    for (size_t i = 0; i < entries.size(); ++i) out += (i ? ",\n" : "\n") + jsonObject(entries[i]);
    return out + "\n]\n";
}
