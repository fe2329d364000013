// The reader of UTF-8 and the one set of characters never shown raw: every class of
// character in the set and around its edges, every form of broken UTF-8, as the reader
// and each way of not showing them (refused, dropped, escaped in JSON) take them.
#include <gtest/gtest.h>

#include "core/shown_characters.h"
#include "core/utf8_reader.h"

TEST(ShownCharacters, EachClassAndEachBrokenForm) {
    struct Case {
        const char* what;
        std::string text;
        size_t length;  // what the reader takes at the start (a broken part's longest start)
        bool valid;     // the first character is one
        bool shown;     // valid and never hidden
        const char* json;
    };
    const Case cases[] = {
        {"ASCII", "a", 1, true, true, "a"},
        {"tab (C0)", "\t", 1, true, false, "\\t"},
        {"escape (C0)", "\x1b", 1, true, false, "\\u001b"},
        {"NUL", std::string(1, '\0'), 1, true, false, "\\u0000"},
        {"DEL", "\x7f", 1, true, false, "\\u007f"},
        {"C1 CSI", "\xC2\x9B", 2, true, false, "\\u009b"},
        {"no-break space, after C1", "\xC2\xA0", 2, true, true, "\xC2\xA0"},
        {"U+061C", "\xD8\x9C", 2, true, false, "\\u061c"},
        {"U+061B, beside it", "\xD8\x9B", 2, true, true, "\xD8\x9B"},
        {"U+200B zero width space", "\xE2\x80\x8B", 3, true, false, "\\u200b"},
        {"U+200C", "\xE2\x80\x8C", 3, true, false, "\\u200c"},
        {"U+200D", "\xE2\x80\x8D", 3, true, false, "\\u200d"},
        {"U+200E LRM", "\xE2\x80\x8E", 3, true, false, "\\u200e"},
        {"U+200F RLM", "\xE2\x80\x8F", 3, true, false, "\\u200f"},
        {"U+2010 hyphen, after them", "\xE2\x80\x90", 3, true, true, "\xE2\x80\x90"},
        {"U+2028 line separator", "\xE2\x80\xA8", 3, true, false, "\\u2028"},
        {"U+2029 paragraph separator", "\xE2\x80\xA9", 3, true, false, "\\u2029"},
        {"U+202A", "\xE2\x80\xAA", 3, true, false, "\\u202a"},
        {"U+202E RLO", "\xE2\x80\xAE", 3, true, false, "\\u202e"},
        {"U+202F, after them", "\xE2\x80\xAF", 3, true, true, "\xE2\x80\xAF"},
        {"U+2060 word joiner", "\xE2\x81\xA0", 3, true, false, "\\u2060"},
        {"U+2066", "\xE2\x81\xA6", 3, true, false, "\\u2066"},
        {"U+2069", "\xE2\x81\xA9", 3, true, false, "\\u2069"},
        {"U+206A, after them", "\xE2\x81\xAA", 3, true, true, "\xE2\x81\xAA"},
        {"U+FEFF", "\xEF\xBB\xBF", 3, true, false, "\\ufeff"},
        {"U+10FFFF", "\xF4\x8F\xBF\xBF", 4, true, true, "\xF4\x8F\xBF\xBF"},
        {"a stray continuation byte", "\x80", 1, false, false, "\\ufffd"},
        {"0xFF", "\xFF", 1, false, false, "\\ufffd"},
        {"an overlong slash", "\xC0\xAF", 1, false, false, "\\ufffd\\ufffd"},
        {"an overlong in three bytes", "\xE0\x80\xAF", 1, false, false, "\\ufffd\\ufffd\\ufffd"},
        {"an overlong in four bytes", "\xF0\x80\x80\xAF", 1, false, false, "\\ufffd\\ufffd\\ufffd\\ufffd"},
        {"a surrogate", "\xED\xA0\x80", 1, false, false, "\\ufffd\\ufffd\\ufffd"},
        {"past U+10FFFF", "\xF4\x90\x80\x80", 1, false, false, "\\ufffd\\ufffd\\ufffd\\ufffd"},
        {"a lead past F4", "\xF5\x80\x80\x80", 1, false, false, "\\ufffd\\ufffd\\ufffd\\ufffd"},
        {"truncated by the end", "\xE2\x80", 2, false, false, "\\ufffd\\ufffd"},
        {"truncated by another character",
         "\xF0\x9F\x98"
         "a",
         3, false, false, "\\ufffd\\ufffd\\ufffda"},
    };
    for (const Case& c : cases) {
        const Utf8Character read = utf8CharacterAt(c.text, 0);
        EXPECT_EQ(read.length, c.length) << c.what;
        EXPECT_EQ(read.valid, c.valid) << c.what;
        EXPECT_EQ(isUtf8(c.text), c.valid && read.length == c.text.size()) << c.what;
        const std::string named = "x" + c.text + "y";
        EXPECT_EQ(isShowableText(named), c.shown) << c.what;
        EXPECT_EQ(withoutHiddenCharacters(named), c.shown ? named
                                                  : c.valid
                                                      ? "xy"
                                                      : withoutHiddenCharacters("x" + c.text.substr(c.length) + "y"))
            << c.what;
        EXPECT_EQ(jsonString(c.text), "\"" + std::string(c.json) + "\"") << c.what;
    }
    EXPECT_EQ(utf8Prefix("a\xE2\x82\xAC", 3), "a");
    EXPECT_EQ(utf8Prefix("a\xE2\x82\xAC", 4), "a\xE2\x82\xAC");
}
