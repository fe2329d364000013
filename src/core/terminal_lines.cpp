#include "core/terminal_lines.h"

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
    size_t n = 1;
    if (c >= 0xC0)
        while (n < 4 && i + n < text.size() && (static_cast<unsigned char>(text[i + n]) & 0xC0) == 0x80) ++n;
    *columns = kWideColumns;
    return n;
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

namespace {
// The length of a control or a direction mark at text[i] in UTF-8, or 0.
size_t unprintableAt(const std::string& text, size_t i) {
    const auto byte = [&](size_t k) { return k < text.size() ? static_cast<unsigned char>(text[k]) : 0u; };
    const unsigned c = byte(i);
    if ((c < 0x20 && c != '\n' && c != '\t') || c == 0x7F) return 1;
    if (c == 0xC2 && byte(i + 1) >= 0x80 && byte(i + 1) < 0xA0) return 2;  // C1
    if (c == 0xD8 && byte(i + 1) == 0x9C) return 2;                        // U+061C
    if (c != 0xE2) return 0;
    const unsigned b = byte(i + 1), d = byte(i + 2);
    const bool marks = (b == 0x80 && (d == 0x8E || d == 0x8F || (d >= 0xAA && d <= 0xAE))) ||  // U+200E/F, 202A-E
                       (b == 0x81 && d >= 0xA6 && d <= 0xA9);                                  // U+2066-2069
    return marks ? 3 : 0;
}
}  // namespace

std::string terminalText(const std::string& text) {
    std::string shown;
    shown.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            ++i;
            continue;
        }
        if (const size_t n = unprintableAt(text, i)) {
            shown += "\xEF\xBF\xBD";
            i += n;
        } else {
            shown += text[i++];
        }
    }
    return shown;
}
