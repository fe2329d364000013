#include <gtest/gtest.h>

#include <string>

#include "core/text_routines.h"

TEST(TextRoutines, FindTextPositionsAndNotFound) {
    EXPECT_EQ(findText("", "", 0), -1);  // an empty text holds nothing, not even ""
    EXPECT_EQ(findText("abc", "", 1), 1);
    EXPECT_EQ(findText("abxabx", "x", 3), 5);
    EXPECT_EQ(findText("abx", "x", 3), -1);
    EXPECT_EQ(findText("abx", "x", 10), -1);
    EXPECT_EQ(findText("a:b:c", ":", 0), 1);
}

TEST(TextRoutines, CopyRangeCountsAndBounds) {
    EXPECT_EQ(copyRange("abcdef", 2, 0), "cdef");
    EXPECT_EQ(copyRange("abcdef", 2, 10), "cdef");
    EXPECT_EQ(copyRange("abcdef", 2, 2), "cd");
    EXPECT_EQ(copyRange("abcdef", 6, 0), "");
    EXPECT_EQ(copyRange("abcdef", 1, -1), "");  // a count computed from a -1 position
}

TEST(TextRoutines, ReplaceAllDoesNotRescan) {
    EXPECT_EQ(replaceAll("\\", "/", "Photos\\2010\\"), "Photos/2010/");
    EXPECT_EQ(replaceAll("&amp;", "&", "&amp;amp;"), "&amp;");
    EXPECT_EQ(replaceAll("x", "y", ""), "");
}

TEST(TextRoutines, FillPlaceholdersReadsNoOtherFormat) {
    EXPECT_EQ(fillPlaceholders("%s wants to send you %s. Accept?", "10.0.0.2", "5 mB"),
              "10.0.0.2 wants to send you 5 mB. Accept?");
    EXPECT_EQ(fillPlaceholders("no place", "x"), "no place");
    // A translation with other markers, or more places than values, reads nothing more.
    EXPECT_EQ(fillPlaceholders("%d %n %s%s%s %", "a", "b"), "%d %n ab %");
    // Counts go into "%d" (or a translator's "%s") places the same way.
    EXPECT_EQ(fillNumbers("%d of %d took the transfer", 2, 3), "2 of 3 took the transfer");
    EXPECT_EQ(fillNumbers("%s%s%s %n%x %d%%", -1, 7), "-17 %n%x %%");
}

TEST(TextRoutines, XmlTagValueDecodesAndBounds) {
    EXPECT_EQ(xmlTagValue("<title>&amp;lt;</title>", "title"), "<");
    EXPECT_EQ(xmlTagValue("<t>a &quot;b&quot; &gt; &apos;</t>", "t"), "a \"b\" > &apos;");
    EXPECT_EQ(xmlTagValue("<title></title>", "title"), "");
    EXPECT_EQ(xmlTagValue("x</link>", "link"), "");
    EXPECT_EQ(xmlTagValue("</a><a>v", "a"), "");  // closing tag before the opening one
    // The element name must be followed by ">" directly.
    EXPECT_EQ(xmlTagValue("<pictureUrlPng>p</pictureUrlPng>", "pictureUrl"), "");
    std::string v253(253, 'v'), v254(254, 'v');
    EXPECT_EQ(xmlTagValue("<c>" + v253 + "</c>", "c"), v253);
    EXPECT_EQ(xmlTagValue("<c>" + v254 + "</c>", "c"), "");
}

TEST(TextRoutines, TrimFieldTakesTheFirstWord) {
    EXPECT_EQ(trimField("         notify"), "notify");
    EXPECT_EQ(trimField(" a b"), "a");
    EXPECT_EQ(trimField("request        "), "request");
    EXPECT_EQ(trimField("     "), "");
    EXPECT_EQ(trimField(""), "");
}

TEST(TextRoutines, Utf8ConversionRespectsItsField) {
    std::string name = "plain.txt";
    EXPECT_TRUE(toUtf8InPlace(name));
    EXPECT_EQ(name, "plain.txt");
    std::string tooLong(261, 'a');
    EXPECT_FALSE(toUtf8InPlace(tooLong));
    EXPECT_EQ(tooLong.size(), 261u);  // left unchanged, never cut mid-character
}

TEST(TextRoutines, ModuleDirectoryEndsWithSeparator) {
    std::string dir = moduleDirectory();
    ASSERT_FALSE(dir.empty());
    EXPECT_TRUE(dir.back() == '/' || dir.back() == '\\');
}
