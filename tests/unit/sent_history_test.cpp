// The top-level names a send's history entry keeps: each selected folder and top-level
// file once, in the order sent, whatever the order of the files inside the folders.
#include "send/sent_history.h"

#include <gtest/gtest.h>

#include "transfer/manifest.h"

TEST(SentHistory, TopNamesOncePerFolderAndFile) {
    using Names = std::vector<std::string>;
    struct Case {
        Names folders;
        std::vector<std::pair<std::string, std::string>> files;  // relative folder, name
        Names expected;
    } cases[] = {
        {{}, {{"/", "a.txt"}, {"/", "b.txt"}, {"/", "a.txt"}}, {"a.txt", "b.txt"}},  // top-level files side by side
        {{"P\\", "P\\sub\\"}, {{"P\\", "1"}, {"P\\", "2"}, {"P\\sub\\", "3"}}, {"P"}},
        {{"P\\", "Q\\"}, {{"P\\", "1"}, {"/", "c"}, {"Q\\", "2"}, {"P\\", "3"}, {"/", "d"}}, {"P", "Q", "c", "d"}},
        {{}, {{"P\\x\\", "1"}, {"P\\x\\", "2"}, {"", "e"}, {"", "f"}}, {"P", "e", "f"}},
    };
    for (const Case& c : cases) {
        clearTransferManifest();
        directoryList = c.folders;
        for (const auto& file : c.files)
            transferManifest.push_back({"/src/" + file.second, file.second, file.first, 1});
        EXPECT_EQ(sentTopNames(), c.expected) << c.expected.front();
    }
    clearTransferManifest();
}
