#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "core/terminal_lines.h"

namespace {
struct FoldCase {
    const char* what;
    std::string text;
    int columns;
    std::string shown;
};
}  // namespace

// A line the terminal would wrap could put text of the sender's at the first column, where
// it reads as the frame around a text: every folded piece is indented instead.
TEST(TerminalLines, FoldsAndIndentsEveryPiece) {
    const FoldCase cases[] = {
        {"no width known", std::string(100, 'x'), 0, "  " + std::string(100, 'x') + "\n"},
        {"fits exactly", "abcdefgh", 10, "  abcdefgh\n"},
        {"padding that wraps", "abcdefgh-- ", 10, "  abcdefgh\n  -- \n"},
        {"each line folded alone", "abcdefghij\nk\n\nl", 10, "  abcdefgh\n  ij\n  k\n  \n  l\n"},
        {"wide characters count two", "\xD0\xB1\xD0\xB1\xD0\xB1\xD0\xB1\xD0\xB1", 10,
         "  \xD0\xB1\xD0\xB1\xD0\xB1\xD0\xB1\n  \xD0\xB1\n"},
        {"a character never split", "abcdefg\xF0\x9F\x98\x80", 10, "  abcdefg\n  \xF0\x9F\x98\x80\n"},
        {"a tab counts eight", "ab\tc", 11, "  ab\n  \tc\n"},
        {"too narrow to fold", "abcdefgh", 5, "  abcdefgh\n"},
        {"empty", "", 10, ""},
    };
    for (const FoldCase& c : cases) EXPECT_EQ(indentedLines(c.text, "  ", c.columns), c.shown) << c.what;
}

// A peer's text (a refusal, a name) may carry escapes, direction marks, invisible
// characters and broken UTF-8; on the terminal each becomes U+FFFD, while letters, line
// feeds and tabs stay.
TEST(TerminalLines, TextFromAPeerCannotSteerTheTerminal) {
    const std::string fffd = "\xEF\xBF\xBD";
    const std::pair<std::string, std::string> cases[] = {
        {"plain\tline\nnext", "plain\tline\nnext"},
        {"\xD0\xB1 \xE2\x80\x94 \xE2\x82\xAC", "\xD0\xB1 \xE2\x80\x94 \xE2\x82\xAC"},  // letters, dash, euro
        {"a\r\nb", "a\nb"},
        {"\x1b[2Jred\x07\x7f", fffd + "[2Jred" + fffd + fffd},
        {"c1 \xC2\x9B"
         "31m",
         "c1 " + fffd + "31m"},
        {"\xE2\x80\xAEtxt.exe", fffd + "txt.exe"},  // right-to-left override
        {"\xE2\x81\xA6x\xE2\x81\xA9 \xE2\x80\x8F \xD8\x9C", fffd + "x" + fffd + " " + fffd + " " + fffd},
        {"end \xE2\x80", "end " + fffd},  // a cut character
        {"a\xC0\xAF"
         "b\xFF",
         "a" + fffd + fffd + "b" + fffd},                         // an overlong slash, a stray byte
        {"l\xE2\x80\xA8z\xE2\x80\x8B", "l" + fffd + "z" + fffd},  // line separator, zero width space
    };
    for (const auto& c : cases) EXPECT_EQ(terminalText(c.first), c.second) << c.first;
}
