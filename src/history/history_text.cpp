#include "history/history_text.h"

#include <cstdio>

#include "core/shown_characters.h"
#include "core/utf8_reader.h"

namespace {
std::string hexEscape(const char* format, uint32_t value) {
    char escape[16];
    snprintf(escape, sizeof escape, format, static_cast<unsigned>(value));
    return escape;
}

// The short escape of a line break, a tab or the backslash, or nullptr.
const char* shortEscape(uint32_t point) {
    switch (point) {
        case '\n': return "\\n";
        case '\r': return "\\r";
        case '\t': return "\\t";
        case '\\': return "\\\\";
        default: return nullptr;
    }
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
           "\",\"encrypted\":" + (historyEncrypted(e) ? "true" : "false") + ",\"peer\":" + jsonString(e.peer) +
           ",\"address\":" + jsonString(e.address) + ",\"names\":" + jsonNames(e.names) +
           ",\"files\":" + jsonNumber(e.files) + ",\"bytes\":" + jsonNumber(e.bytes) +
           ",\"folder\":" + jsonString(e.folder) + ",\"outcome\":\"" + historyOutcomeWord(e.outcome) +
           "\",\"reason\":" + jsonString(e.reason) + ",\"text\":" + jsonString(e.text) +
           ",\"tries\":" + jsonNumber(e.tries) + "}";
}
}  // namespace

const char* historyDirectionWord(HistoryDirection direction) {
    return direction == HistoryDirection::Sent ? "sent" : "received";
}

bool historyEncrypted(const HistoryEntry& entry) {
    if (entry.door == HistoryDoor::Private) return true;
    if (entry.door != HistoryDoor::Text) return false;
    return entry.direction == HistoryDirection::Sent || (!entry.peer.empty() && entry.peer != entry.address);
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
        const Utf8Character c = utf8CharacterAt(text, at);
        if (!c.valid) {
            out += hexEscape("\\x%02x", static_cast<unsigned char>(text[at]));
            ++at;
            continue;
        }
        if (const char* escape = shortEscape(c.point)) out += escape;
        else if (c.point < 0x20 || c.point == 0x7F) out += hexEscape("\\x%02x", c.point);
        else if (isNeverShownRaw(c.point)) out += hexEscape("\\u%04x", c.point);
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
