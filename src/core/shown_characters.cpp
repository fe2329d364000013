#include "core/shown_characters.h"

#include <cstdio>

#include "core/utf8_reader.h"

bool isNeverShownRaw(uint32_t point) {
    if (point < 0x20 || (point >= 0x7F && point < 0xA0)) return true;  // C0, DEL, C1
    switch (point) {
        case 0x061C:
        case 0x200B:
        case 0x200C:
        case 0x200D:
        case 0x200E:
        case 0x200F:
        case 0x2028:
        case 0x2029:
        case 0x2060:
        case 0xFEFF: return true;
        default: return (point >= 0x202A && point <= 0x202E) || (point >= 0x2066 && point <= 0x2069);
    }
}

bool isShowableText(const std::string& text) {
    for (size_t at = 0; at < text.size();) {
        const Utf8Character c = utf8CharacterAt(text, at);
        if (!c.valid || isNeverShownRaw(c.point)) return false;
        at += c.length;
    }
    return true;
}

std::string withoutHiddenCharacters(const std::string& text) {
    std::string kept;
    for (size_t at = 0; at < text.size();) {
        const Utf8Character c = utf8CharacterAt(text, at);
        if (c.valid && !isNeverShownRaw(c.point)) kept.append(text, at, c.length);
        at += c.length;
    }
    return kept;
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (size_t at = 0; at < text.size();) {
        const Utf8Character c = utf8CharacterAt(text, at);
        if (!c.valid) {
            out += "\\ufffd";
            ++at;
            continue;
        }
        if (c.point == '"' || c.point == '\\') {
            out += '\\';
            out += static_cast<char>(c.point);
        } else if (c.point == '\n' || c.point == '\r' || c.point == '\t') {
            out += c.point == '\n' ? "\\n" : c.point == '\r' ? "\\r" : "\\t";
        } else if (isNeverShownRaw(c.point)) {
            char escape[8];
            snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c.point));
            out += escape;
        } else {
            out.append(text, at, c.length);
        }
        at += c.length;
    }
    return out + "\"";
}
