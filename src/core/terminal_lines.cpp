#include "core/terminal_lines.h"

#include "core/shown_characters.h"
#include "core/utf8_reader.h"

namespace {
constexpr int kTabColumns = 8;
constexpr int kWideColumns = 2;

// The bytes of the character at i and the columns it may take at most.
size_t characterAt(const std::string& text, size_t i, int* columns) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
        *columns = c == '\t' ? kTabColumns : 1;
        return 1;
    }
    *columns = kWideColumns;
    return utf8CharacterAt(text, i).length;
}
}  // namespace

std::string indentedLines(const std::string& text, const std::string& indent, int columns) {
    if (text.empty()) return text;
    const int room = columns - static_cast<int>(indent.size());
    const bool folds = room >= kTabColumns;
    std::string out = indent;
    int used = 0;
    for (size_t i = 0; i < text.size();) {
        if (text[i] == '\n') {
            out += '\n';
            if (++i < text.size()) out += indent;
            used = 0;
            continue;
        }
        int width = 0;
        const size_t n = characterAt(text, i, &width);
        if (folds && used > 0 && used + width > room) {
            out += '\n' + indent;
            used = 0;
        }
        out.append(text, i, n);
        used += width;
        i += n;
    }
    if (text.back() != '\n') out += '\n';
    return out;
}

std::string terminalText(const std::string& text) {
    std::string shown;
    shown.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            ++i;
            continue;
        }
        const Utf8Character c = utf8CharacterAt(text, i);
        const bool raw = c.valid && (c.point == '\n' || c.point == '\t' || !isNeverShownRaw(c.point));
        if (raw) shown.append(text, i, c.length);
        else shown += "\xEF\xBF\xBD";
        i += c.length;
    }
    return shown;
}
