#include "history/history_names.h"

#include <gtest/gtest.h>

// The "what" of an entry: the first names, and how many more, in the words of a language.
TEST(HistoryNames, FirstNamesAndHowManyMore) {
    const std::string andMore = "%s and %s more";
    struct Case {
        std::vector<std::string> names;
        size_t shown;
        std::string expected;
    } cases[] = {
        {{}, 2, ""},
        {{"a.txt"}, 2, "a.txt"},
        {{"a.txt", "b"}, 2, "a.txt, b"},
        {{"a.txt", "b", "c"}, 2, "a.txt, b, c"},  // one left over is named, not counted
        {{"a.txt", "b", "c", "d"}, 2, "a.txt, b and 2 more"},
        {{"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l"}, 2, "a, b and 10 more"},
        {{"a", "b", "c"}, 0, "a and 2 more"},  // at least one name stands for the rest
        {{"Фото", "b", "c", "d"}, 1, "Фото and 3 more"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(historyNamesText(c.names, c.shown, andMore), c.expected) << c.names.size() << " names, " << c.shown;
    EXPECT_EQ(historyNamesText({"a", "b", "c", "d"}, 2, "%s и ещё %s"), "a, b и ещё 2");
}

// What Show in folder and Open reach: only an absolute folder and one plain name.
TEST(HistoryNames, ItemPathOnlyFromAFolderAndOnePlainName) {
    const std::string longName(250, 'x');
    struct Case {
        const char* folder;
        std::string name;
        const char* expected;
    } cases[] = {
        {"C:\\qv-store\\", "a.txt", "C:\\qv-store\\a.txt"},
        {"C:\\qv-store", "Фото", "C:\\qv-store\\Фото"},
        {"\\\\server\\share\\", "a.txt", "\\\\server\\share\\a.txt"},
        {"", "a.txt", ""},
        {"qv-store\\", "a.txt", ""},    // relative
        {"C:qv-store\\", "a.txt", ""},  // relative to the drive's current folder
        {"C:\\qv-store\\", "", ""},
        {"C:\\qv-store\\", ".", ""},
        {"C:\\qv-store\\", "..", ""},
        {"C:\\qv-store\\", "..\\..\\evil.exe", ""},
        {"C:\\qv-store\\", "sub/evil.exe", ""},
        {"C:\\qv-store\\", "D:evil.exe", ""},
        {"C:\\qv-store\\", "a.txt:stream", ""},
        {"C:\\qv-store\\", longName, ""},  // past 259 bytes
    };
    for (const Case& c : cases) EXPECT_EQ(historyItemPath(c.folder, c.name), c.expected) << c.folder << " + " << c.name;
}
