#include "core/shown_text.h"

#include <cstdint>

namespace {
constexpr char16_t kReplacement = 0xFFFD;

void appendCodePoint(std::u16string& out, uint32_t c) {
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
        return;
    }
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (c >> 10));
    out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
}

// The sequence that starts at text[i] (a lead byte, 0x80 or above): its code point in
// *c and its length, or 0 when it is invalid. *taken is then how many bytes its maximal
// invalid part has, which become one U+FFFD. The second byte's range excludes overlong
// forms, surrogates and values past U+10FFFF.
size_t decodeSequence(const std::string& text, size_t i, uint32_t* c, size_t* taken) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t need = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) need = 1, *c = lead & 0x1F;
    else if (lead >= 0xE0 && lead <= 0xEF) need = 2, *c = lead & 0x0F;
    else if (lead >= 0xF0 && lead <= 0xF4) need = 3, *c = lead & 0x07;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
    size_t j = i + 1;
    for (size_t k = 0; k < need; ++k, ++j) {
        if (j >= text.size()) break;
        const unsigned char next = static_cast<unsigned char>(text[j]);
        if (next < low || next > high) break;
        *c = (*c << 6) | (next & 0x3F);
        low = 0x80, high = 0xBF;
    }
    *taken = j - i;
    return need > 0 && j - i == need + 1 ? *taken : 0;
}
}  // namespace

std::u16string shownText(const std::string& utf8) {
    std::u16string out;
    out.reserve(utf8.size() + utf8.size() / 8);
    for (size_t i = 0; i < utf8.size();) {
        const char byte = utf8[i];
        if (byte == '\r' || byte == '\n') {
            out += u"\r\n";
            i += byte == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n' ? 2 : 1;
        } else if (byte == '\0') {
            out += kReplacement, ++i;
        } else if (static_cast<unsigned char>(byte) < 0x80) {
            out += static_cast<char16_t>(byte), ++i;
        } else {
            uint32_t c = 0;
            size_t taken = 1;
            if (decodeSequence(utf8, i, &c, &taken)) appendCodePoint(out, c);
            else out += kReplacement;
            i += taken;
        }
    }
    return out;
}

std::string utf8Prefix(const std::string& utf8, size_t maxBytes) {
    if (utf8.size() <= maxBytes) return utf8;
    size_t end = maxBytes;
    // Back over continuation bytes to the start of the character that does not fit.
    while (end > 0 && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80) --end;
    return utf8.substr(0, end);
}
