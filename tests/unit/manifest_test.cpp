#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "core/central_state.h"
#include "platform/files.h"
#include "selection/selection_list.h"
#include "transfer/manifest.h"

namespace fs = std::filesystem;

namespace {
std::string join(const std::string& a, const std::string& b) { return a + kPathSeparator + b; }

void writeFile(const std::string& path, size_t size) {
    std::ofstream out(path, std::ios::binary);
    out << std::string(size, 'x');
}

// A fresh folder per test, removed afterwards.
class ManifestWalk : public ::testing::Test {
  protected:
    std::string root;
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        fs::path dir = fs::temp_directory_path() / (std::string("qv-manifest-") + info->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        root = dir.string();
        clearSelection();
        clearTransferManifest();
        sendCancelRequested = false;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root, ignored);
        sendCancelRequested = false;
    }
    std::string make(const std::string& relative) {  // a folder below root, '/'-separated
        fs::create_directories(fs::path(root) / fs::path(relative));
        return (fs::path(root) / fs::path(relative)).make_preferred().string();
    }
    const ManifestEntry* entryNamed(const std::string& name) {
        for (const ManifestEntry& e : transferManifest)
            if (e.name == name) return &e;
        return nullptr;
    }
    size_t directoryIndex(const std::string& folder) {
        auto it = std::find(directoryList.begin(), directoryList.end(), folder);
        return it == directoryList.end() ? SIZE_MAX : static_cast<size_t>(it - directoryList.begin());
    }
};
}  // namespace

TEST_F(ManifestWalk, FoldersComeBeforeTheirContentsInWireForm) {
    const std::string photos = make("Photos");
    writeFile(join(make("Photos/2010"), "a.jpg"), 3);
    make("Photos/2010/empty");
    writeFile(join(photos, "b.txt"), 7);
    writeFile(join(root, "n.txt"), 0);
    addSelectionPath(photos + kPathSeparator + kPathSeparator, true);  // trailing separators
    addSelectionPath(join(root, "n.txt"), false);

    analyzeSelection(nullptr, nullptr);

    ASSERT_EQ(directoryList.size(), 3u);
    EXPECT_EQ(directoryList[0], "Photos\\");
    EXPECT_LT(directoryIndex("Photos\\2010\\"), directoryIndex("Photos\\2010\\empty\\"));
    ASSERT_EQ(transferManifest.size(), 3u);
    const ManifestEntry* a = entryNamed("a.jpg");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->localPath, join(join(photos, "2010"), "a.jpg"));
    EXPECT_EQ(a->relativeFolder, "Photos\\2010\\");  // backslashes on every platform
    EXPECT_EQ(a->measuredSize, 3);
    EXPECT_EQ(entryNamed("b.txt")->relativeFolder, "Photos\\");
    // A file selected by itself sits at the top level, and comes after the folder.
    EXPECT_EQ(transferManifest.back().name, "n.txt");
    EXPECT_EQ(transferManifest.back().relativeFolder, "/");
    EXPECT_EQ(totalSize, 10);
    EXPECT_EQ(refusedItemCount, 0);
}

TEST_F(ManifestWalk, DottedAndEmptyFoldersKeepTheirWholeName) {
    const std::string dotted = make("my.photos");
    addSelectionPath(dotted, true);
    analyzeSelection(nullptr, nullptr);
    ASSERT_EQ(directoryList.size(), 1u);
    EXPECT_EQ(directoryList[0], "my.photos\\");
    EXPECT_TRUE(transferManifest.empty());
    EXPECT_EQ(totalSize, 0);
}

TEST_F(ManifestWalk, UnreadableFilesStayInTheManifestAndCountMinusOne) {
    writeFile(join(root, "ten"), 10);
    writeFile(join(root, "twenty"), 20);
    addSelectionPath(join(root, "ten"), false);
    addSelectionPath(join(root, "gone"), false);  // vanished since it was selected
    addSelectionPath(join(root, "twenty"), false);
    analyzeSelection(nullptr, nullptr);
    ASSERT_EQ(transferManifest.size(), 3u);
    EXPECT_EQ(transferManifest[1].name, "gone");
    EXPECT_EQ(transferManifest[1].measuredSize, -1);
    EXPECT_EQ(totalSize, 29);
}

#ifndef _WIN32
TEST_F(ManifestWalk, FileWithoutReadPermissionMeasuresMinusOne) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
    const std::string locked = join(make("Locked"), "secret");
    writeFile(locked, 5);
    chmod(locked.c_str(), 0);
    addSelectionPath(join(root, "Locked"), true);
    analyzeSelection(nullptr, nullptr);
    ASSERT_EQ(transferManifest.size(), 1u);
    EXPECT_EQ(totalSize, -1);
}

TEST_F(ManifestWalk, NamesThatWouldBreakTheStreamAreLeftOutOnPosix) {
    // A backslash would read as a folder boundary on the wire; a line feed or another
    // control byte would end the header line and pass the rest off as header lines.
    const std::string folder = make("Odd");
    const char* names[] = {"a\\b.txt", "x\nType:file\nSize:1", "cr\r", "tab\there", "bell\x07", "del\x7F"};
    for (const char* name : names) writeFile(join(folder, name), 4);
    writeFile(join(make("Odd/in\nfolder"), "inner.txt"), 4);  // the folder and all it holds
    writeFile(join(folder, "ok.txt"), 2);
    writeFile(join(root, "lone\nfile"), 4);                 // selected by itself
    writeFile(join(make("lone\nfolder"), "inner.txt"), 4);  // a selected folder
    addSelectionPath(folder, true);
    addSelectionPath(join(root, "lone\nfile"), false);
    addSelectionPath(join(root, "lone\nfolder"), true);
    analyzeSelection(nullptr, nullptr);
    EXPECT_EQ(directoryList, std::vector<std::string>{"Odd\\"});
    ASSERT_EQ(transferManifest.size(), 1u);
    EXPECT_EQ(transferManifest[0].name, "ok.txt");
    const int leftOut = static_cast<int>(std::size(names)) + 3;
    EXPECT_EQ(refusedItemCount, leftOut);
    EXPECT_EQ(totalSize, 2 - leftOut);
}

TEST_F(ManifestWalk, LinksToFoldersInsideTheSelectionAreNotWalked) {
    const std::string folder = make("Looped");
    writeFile(join(folder, "a.txt"), 1);
    ASSERT_EQ(symlink(".", join(folder, "self").c_str()), 0);  // would repeat a.txt at every level
    ASSERT_EQ(symlink("a.txt", join(folder, "alias.txt").c_str()), 0);
    addSelectionPath(folder, true);
    analyzeSelection(nullptr, nullptr);
    EXPECT_EQ(directoryList, std::vector<std::string>{"Looped\\"});
    EXPECT_EQ(transferManifest.size(), 2u);  // a link to a file sends the file's content
    EXPECT_EQ(refusedItemCount, 1);
    EXPECT_EQ(totalSize, 2 - 1);
}
#endif

TEST_F(ManifestWalk, PathsBeyondTheFieldsAreLeftOutAndCounted) {
    // A folder whose path cannot fit 260 bytes is not walked and not listed.
    walkFolder(std::string(255, 'p'), "Photos");
    EXPECT_TRUE(directoryList.empty());
    EXPECT_EQ(refusedItemCount, 1);
    EXPECT_EQ(totalSize, -1);

    // A file whose full path passes 260 bytes inside a folder that fits.
    clearTransferManifest();
    const std::string deep = make(std::string(40, 'd'));
    const size_t room = 260 - (deep.size() + 1);  // the longest name that still fits
    std::error_code error;
    std::ofstream(join(deep, std::string(room, 'f')), std::ios::binary) << "x";
    std::ofstream(join(deep, std::string(room + 1, 'g')), std::ios::binary) << "yy";
    if (room + 1 > 255 || !fs::exists(join(deep, std::string(room + 1, 'g')), error))
        GTEST_SKIP() << "this file system cannot hold a path past 260 bytes";
    addSelectionPath(deep, true);
    analyzeSelection(nullptr, nullptr);
    ASSERT_EQ(transferManifest.size(), 1u);
    EXPECT_EQ(transferManifest[0].localPath.size(), 260u);
    EXPECT_EQ(refusedItemCount, 1);
    EXPECT_EQ(totalSize, 1 - 1);
}

TEST_F(ManifestWalk, AFolderWithoutANameSendsItsContentsAtTheTopLevel) {
    const std::string here = make("Here");
    writeFile(join(here, "top.txt"), 1);
    writeFile(join(make("Here/Sub"), "in.txt"), 2);
    addSelectionPath(join(here, "."), true);
    analyzeSelection(nullptr, nullptr);
    ASSERT_EQ(directoryList.size(), 1u);
    EXPECT_EQ(directoryList[0], "Sub\\");
    ASSERT_NE(entryNamed("top.txt"), nullptr);
    EXPECT_EQ(entryNamed("top.txt")->relativeFolder, "/");
    EXPECT_EQ(entryNamed("in.txt")->relativeFolder, "Sub\\");
    EXPECT_EQ(totalSize, 3);
}

namespace {
void cancelAfterFirst(void* calls, int position, int count) {
    ++*static_cast<int*>(calls);
    sendCancelRequested = true;
}
}  // namespace

TEST_F(ManifestWalk, CancelStopsBeforeTheNextPath) {
    writeFile(join(root, "one"), 1);
    writeFile(join(root, "two"), 2);
    addSelectionPath(join(root, "one"), false);
    addSelectionPath(join(root, "two"), false);
    int calls = 0;
    analyzeSelection(cancelAfterFirst, &calls);
    EXPECT_EQ(calls, 1);
    ASSERT_EQ(transferManifest.size(), 1u);
    EXPECT_EQ(transferManifest[0].name, "one");

    // Set before the start: nothing at all, not even the folder itself.
    clearTransferManifest();
    clearSelection();
    addSelectionPath(make("Big"), true);
    sendCancelRequested = true;
    analyzeSelection(nullptr, nullptr);
    EXPECT_TRUE(directoryList.empty());
}
