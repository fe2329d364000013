#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "selection/open_dialog_result.h"

namespace {
std::vector<std::string> paths(const std::string& bytes, size_t nameOffset) {
    return openDialogPaths(bytes.data(), bytes.size(), nameOffset);
}
using Paths = std::vector<std::string>;
}  // namespace

TEST(OpenDialogResult, OneFileOrAFolderWithNames) {
    EXPECT_EQ(paths(std::string("C:\\docs\\a.txt\0\0", 15), 8), Paths{"C:\\docs\\a.txt"});
    EXPECT_EQ(paths(std::string("C:\\docs\0a.txt\0b c.pdf\0\0", 23), 8),
              (Paths{"C:\\docs\\a.txt", "C:\\docs\\b c.pdf"}));
    // A drive root already ends with its separator.
    EXPECT_EQ(paths(std::string("C:\\\0a.txt\0b.txt\0\0", 17), 4), (Paths{"C:\\a.txt", "C:\\b.txt"}));
    EXPECT_TRUE(paths(std::string(8, '\0'), 0).empty());
}

TEST(OpenDialogResult, FullPathsTypedAsNamesStandAlone) {
    EXPECT_EQ(paths(std::string("C:\\app\0D:\\x\\a.txt\0\\\\pc\\share\\b.txt\0c.txt\0\0\0", 43), 7),
              (Paths{"D:\\x\\a.txt", "\\\\pc\\share\\b.txt", "C:\\app\\c.txt"}));
}

TEST(OpenDialogResult, NothingIsReadPastTheBuffer) {
    // No terminating NUL anywhere, then a last name without its NUL: both ignored.
    EXPECT_TRUE(paths(std::string("C:\\docs", 7), 0).empty());
    EXPECT_EQ(paths(std::string("C:\\docs\0a.txt\0b.t", 17), 8), Paths{"C:\\docs\\a.txt"});
    EXPECT_TRUE(paths(std::string("C:\\docs\0", 8), 500).empty());
}
