#include <gtest/gtest.h>

#include <string>

#include "core/shown_text.h"
#include "core/utf8_reader.h"

namespace {
struct ShownCase {
    const char* what;
    std::string utf8;
    std::u16string shown;
};
}  // namespace

TEST(ShownText, DecodesReplacesAndBreaksLines) {
    const ShownCase cases[] = {
        {"ASCII", "plain text", u"plain text"},
        {"Cyrillic", "Привет", u"Привет"},
        {"outside the BMP: a surrogate pair", "a\xF0\x9F\x98\x80", u"a\U0001F600"},
        {"line feeds", "a\nb\n", u"a\r\nb\r\n"},
        {"CR LF kept, a lone CR broken", "a\r\nb\rc", u"a\r\nb\r\nc"},
        {"NUL", std::string("a\0b", 3), u"a\uFFFDb"},
        {"a tab kept, other controls and hidden characters replaced", "\t\x1b[2J\xE2\x80\x8B\xE2\x80\xAE\xD8\x9C",
         u"\t\uFFFD[2J\uFFFD\uFFFD\uFFFD"},
        {"stray continuation bytes", "\x80\xBF", u"\uFFFD\uFFFD"},
        {"a cut sequence then ASCII",
         "\xE2\x82"
         "a",
         u"\uFFFDa"},
        {"a cut sequence at the end", "a\xF0\x9F\x98", u"a\uFFFD"},
        {"overlong forms", "\xC0\xAF\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"an encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
        {"past U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"bytes that never occur", "\xFE\xFFx", u"\uFFFD\uFFFDx"},
    };
    for (const ShownCase& c : cases) EXPECT_EQ(shownText(c.utf8), c.shown) << c.what;
}

TEST(ShownText, PrefixNeverSplitsACharacter) {
    const std::string text = "aб\xF0\x9F\x98\x80";  // 1, 2 and 4 bytes
    const std::pair<size_t, std::string> cases[] = {
        {0, ""}, {1, "a"}, {2, "a"}, {3, "aб"}, {6, "aб"}, {7, text}, {100, text},
    };
    for (const auto& c : cases) EXPECT_EQ(utf8Prefix(text, c.first), c.second) << c.first << " bytes";
}
