#include "core/shown_text.h"

#include <cstdint>

#include "core/shown_characters.h"
#include "core/utf8_reader.h"

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
}  // namespace

std::u16string shownText(const std::string& utf8) {
    std::u16string out;
    out.reserve(utf8.size() + utf8.size() / 8);
    for (size_t i = 0; i < utf8.size();) {
        const char byte = utf8[i];
        if (byte == '\r' || byte == '\n') {
            out += u"\r\n";
            i += byte == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n' ? 2 : 1;
            continue;
        }
        const Utf8Character c = utf8CharacterAt(utf8, i);
        if (c.valid && (c.point == '\t' || !isNeverShownRaw(c.point))) appendCodePoint(out, c.point);
        else out += kReplacement;
        i += c.length;
    }
    return out;
}
