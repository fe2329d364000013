#include "core/utf8_reader.h"

Utf8Character utf8CharacterAt(const std::string& text, size_t at) {
    const auto byte = [&text](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) return {lead, 1, true};
    size_t need = 0;
    uint32_t point = 0;
    if (lead >= 0xC2 && lead <= 0xDF) need = 1, point = lead & 0x1F;
    else if (lead >= 0xE0 && lead <= 0xEF) need = 2, point = lead & 0x0F;
    else if (lead >= 0xF0 && lead <= 0xF4) need = 3, point = lead & 0x07;
    // The second byte's range is what rules out overlong forms, surrogates and values
    // past U+10FFFF; every later byte is any continuation byte.
    unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    size_t i = at + 1;
    for (size_t k = 0; k < need && i < text.size(); ++k, ++i) {
        if (byte(i) < low || byte(i) > high) break;
        point = (point << 6) | (byte(i) & 0x3F);
        low = 0x80, high = 0xBF;
    }
    const size_t length = i - at;
    if (need > 0 && length == need + 1) return {point, length, true};
    return {0, length, false};
}

bool isUtf8(const std::string& text) {
    for (size_t at = 0; at < text.size();) {
        const Utf8Character c = utf8CharacterAt(text, at);
        if (!c.valid) return false;
        at += c.length;
    }
    return true;
}

std::string utf8Prefix(const std::string& utf8, size_t maxBytes) {
    if (utf8.size() <= maxBytes) return utf8;
    size_t end = maxBytes;
    // Back over continuation bytes to the start of the character that does not fit.
    while (end > 0 && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80) --end;
    return utf8.substr(0, end);
}
