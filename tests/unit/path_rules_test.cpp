#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <string>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "scratch_folder.h"
#include "store/store_names.h"
#include "transfer/receiver.h"

namespace {
struct Case {
    const char* text;
    bool windowsAccepts;
    bool posixAccepts;
};

std::vector<std::string> split(const std::string& directory, bool windowsRules, bool* accepted) {
    std::vector<std::string> components;
    *accepted = splitRecordDirectory(directory, windowsRules, &components);
    return components;
}
}  // namespace

TEST(PathRules, FileNames) {
    const Case cases[] = {
        {"a.jpg", true, true},
        {".profile", true, true},
        {"name with spaces.txt", true, true},
        {"\xD0\xA4\xD0\xBE\xD1\x82\xD0\xBE.jpg", true, true},  // UTF-8 letters
        {"", false, false},
        {".", false, false},
        {"..", false, false},
        {"...", false, false},
        {" ", false, false},
        {". .", false, false},
        {"../x", false, false},
        {"a/b", false, false},
        {"a\\b", false, false},  // a backslash is a separator on both systems
        {"\\\\server\\share", false, false},
        {"C:evil", false, false},
        {"a.txt:stream", false, false},
        {"tab\there", false, false},
        {"bell\x07", false, false},
        {"del\x7F", false, false},
        {"CON", false, true},
        {"con", false, true},
        {"Con.txt", false, true},
        {"nul.tar.gz", false, true},
        {"AUX ", false, true},
        {"prn .txt", false, true},
        {"COM1", false, true},
        {"lpt9.log", false, true},
        {"COM\xC2\xB9", false, true},
        {"CONOUT$", false, true},
        {"COM0", false, true},  // newer Windows opens COM0 and LPT0 as devices too
        {"COM10", true, true},
        {"CONSOLE", true, true},
        {"NULL.txt", true, true},
        {"what?.txt", false, true},
        {"a*b", false, true},
        {"pipe|x", false, true},
        {"<x>", false, true},
        {"quote\"", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(isSafeComponent(c.text, true), c.windowsAccepts);
        EXPECT_EQ(isSafeComponent(c.text, false), c.posixAccepts);
    }
}

TEST(PathRules, RecordFolders) {
    using Parts = std::vector<std::string>;
    // Empty components create nothing of their own, a leading separator included.
    const std::pair<const char*, Parts> stored[] = {
        {"Photos/2010/", {"Photos", "2010"}},
        {"Photos\\2010\\", {"Photos", "2010"}},
        {"a//b", {"a", "b"}},
        {"", {}},
        {"/", {}},
        {"\\", {}},
        {"//", {}},
        {"/DCIM/2024/", {"DCIM", "2024"}},
        {"//x", {"x"}},
        {"\\DCIM\\", {"DCIM"}},
        {"/etc/", {"etc"}},
        {"\\\\server\\share\\", {"server", "share"}},
    };
    const char* refused[] = {"../",
                             "a/../../b/",
                             "..\\..\\Windows\\",
                             "/../x/",
                             "//../x/",
                             "\\\\?\\C:\\x\\",
                             "\\\\.\\PhysicalDrive0\\",
                             "\\??\\C:\\x\\",
                             "/C:/x/",
                             "C:\\Windows\\",
                             "C:",
                             "a/./b/",
                             "a/ /b/",
                             "a/\x01/",
                             "/a\nb/",
                             "~qvuploads/",  // the receiver's own names
                             "a/.quorvalinthexa-partial/",
                             "a/.~QV3.partial./"};
    for (bool windowsRules : {true, false}) {
        SCOPED_TRACE(windowsRules);
        bool accepted = false;
        for (const auto& c : stored) {
            SCOPED_TRACE(c.first);
            EXPECT_EQ(split(c.first, windowsRules, &accepted), c.second);
            EXPECT_TRUE(accepted);
        }
        for (const char* hostile : refused) {
            SCOPED_TRACE(hostile);
            EXPECT_TRUE(split(hostile, windowsRules, &accepted).empty());
            EXPECT_FALSE(accepted);
        }
        split("docs/CON/", windowsRules, &accepted);
        EXPECT_EQ(accepted, !windowsRules);
    }
}

// The receiver's own names are no sender's, in any case; names near them are.
TEST(PathRules, ReceiverOwnNames) {
    for (const char* own : {".quorvalinthexa-partial", ".QUORVALINTHEXA-PARTIAL.new", ".~qv7.partial", ".~qvx.partial ",
                            "~qvuploads", "~QVUploads.", ".~qv.partial"})
        EXPECT_FALSE(isSenderComponent(own, false)) << own;
    for (const char* near : {"quorvalinthexa-partial", "~qv7.partial", ".~qv7.partial.txt", "~qvuploads2", "a.partial",
                             ".~qvpartial", ".quorvalinthexa-partia", "~qvupload", "~qvuploadz", "~qvuploads.x"})
        EXPECT_TRUE(isSenderComponent(near, true)) << near;
}

TEST(PathRules, JoinAndLimit) {
    EXPECT_EQ(joinStorePath("C:\\store", {"Photos", "a.jpg"}, '\\'), "C:\\store\\Photos\\a.jpg");
    EXPECT_EQ(joinStorePath("C:\\", {"a.jpg"}, '\\'), "C:\\a.jpg");  // no second separator
    EXPECT_EQ(joinStorePath("/srv/in/", {"a"}, '/'), "/srv/in/a");
    EXPECT_EQ(joinStorePath("/srv/in", {}, '/'), "/srv/in");
    EXPECT_TRUE(fitsLocalPathLimit(std::string(259, 'x')));
    EXPECT_FALSE(fitsLocalPathLimit(std::string(260, 'x')));
}

TEST(ReceiveProgressArithmetic, PercentAndRate) {
    EXPECT_EQ(receivePercent(50, 200), 25);
    EXPECT_EQ(receivePercent(199, 200), 99);
    EXPECT_EQ(receivePercent(200, 200), 100);
    EXPECT_EQ(receivePercent(500, 200), 100);  // files that grew after they were measured
    EXPECT_EQ(receivePercent(10, 0), 0);       // no total: no division, the bar stays at 0
    EXPECT_EQ(receivePercent(10, -5), 0);
    EXPECT_EQ(receivePercent(int64_t(5) << 32, int64_t(10) << 32), 50);  // beyond 4 GiB
    EXPECT_EQ(receivePercent(INT64_MAX - 1, INT64_MAX), 99);             // no overflow
    EXPECT_EQ(receivePercent(INT64_MAX / 2, INT64_MAX), 49);
    // 3 MiB after 3.2 s: the whole seconds count, 1024 KiB/s.
    EXPECT_EQ(receiveRate(3 * 1024 * 1024, 3200), 1024);
    EXPECT_EQ(receiveRate(int64_t(6) << 40, 2000), (int64_t(6) << 30) / 2);
}

#ifndef _WIN32
// Each component is looked at once: a link anywhere on the way counts, a dangling one too;
// nothing below a missing folder does.
TEST(PathRules, PassesThroughLink) {
    const std::string store = makeScratchFolder("links");
    ASSERT_TRUE(makeDirectory(store + "/d"));
    writeWholeFile(store + "/f", "f");
    ASSERT_EQ(0, symlink("d", (store + "/l").c_str()));
    ASSERT_EQ(0, symlink("nowhere", (store + "/x").c_str()));
    const struct {
        std::vector<std::string> path;
        bool link;
    } cases[] = {{{"d", "new"}, false},    {{"f"}, false},      {{"l"}, true},
                 {{"l", "a"}, true},       {{"d", "x"}, false}, {{"x"}, true},
                 {{"missing", "l"}, false}};
    for (const auto& c : cases) EXPECT_EQ(c.link, passesThroughLink(store, c.path, '/')) << c.path.back();
    EXPECT_EQ(PathEntry::Missing, pathEntryOf(store + "/missing"));
    EXPECT_EQ(PathEntry::Other, pathEntryOf(store + "/f"));
    EXPECT_EQ(PathEntry::Link, pathEntryOf(store + "/x"));
    removeScratchFolder(store);
}
#endif
