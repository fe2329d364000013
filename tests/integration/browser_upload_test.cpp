// A browser's upload is a reception: each case feeds one upload's body from memory and
// looks at what the store folder holds afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "core/central_state.h"
#include "platform/files.h"
#include "policy/receive_policy.h"
#include "recording_port.h"
#include "scratch_folder.h"
#include "web/browser_upload.h"

namespace {
// A body of which only the first `sent` bytes arrive before the connection ends.
BodyRead bodyOf(const std::string& bytes, size_t sent, size_t* at) {
    return [&bytes, sent, at](char* buffer, int size) {
        size_t n = std::min(sent - *at, static_cast<size_t>(size));
        memcpy(buffer, bytes.data() + *at, n);
        *at += n;
        return n > 0 ? static_cast<int>(n) : -1;
    };
}

// The store's tree on one line.
std::string flatTree(const std::string& store) {
    std::string tree = listTree(store);
    for (char& ch : tree) ch = ch == '\n' ? ' ' : ch;
    while (!tree.empty() && tree.back() == ' ') tree.pop_back();
    return tree;
}

UploadOutcome uploadWhole(const std::string& name, const std::string& body) {
    size_t at = 0;
    return receiveUpload(name, static_cast<int64_t>(body.size()), 0x7F000001, bodyOf(body, body.size(), &at));
}
}  // namespace

TEST(BrowserUpload, IsStoredByTheReceiversRules) {
    const std::string store = makeScratchFolder("upload");
    const std::string old = "the old content";
    writeWholeFile(store + kPathSeparator + "kept.txt", old);
    const std::string body(300 * 1024, 'b');
    struct Case {
        const char* what;
        std::string name;
        int64_t length;
        size_t sent;
        AcceptFrom choice;
        AskAnswer answer;
        bool acceptedBefore;  // the user pressed Accept for this browser earlier
        UploadOutcome outcome;
        std::string tree;  // the store folder afterwards
    } cases[] = {
        {"whole", "new.bin", 300 * 1024, 300 * 1024, AcceptFrom::Everyone, AskAnswer::Declined, false,
         UploadOutcome::Saved, "kept.txt new.bin"},
        {"empty", "empty.txt", 0, 0, AcceptFrom::Everyone, AskAnswer::Declined, false, UploadOutcome::Saved,
         "empty.txt kept.txt new.bin"},
        {"cut, new: nothing that looks whole", "cut.bin", 300 * 1024, 1000, AcceptFrom::Everyone, AskAnswer::Declined,
         false, UploadOutcome::NotSaved, "empty.txt kept.txt new.bin"},
        {"cut, replacing: the old file stays", "kept.txt", 300 * 1024, 200 * 1024, AcceptFrom::Everyone,
         AskAnswer::Declined, false, UploadOutcome::NotSaved, "empty.txt kept.txt new.bin"},
        {"larger than the free space", "huge.bin", INT64_MAX / 2, 0, AcceptFrom::Everyone, AskAnswer::Declined, false,
         UploadOutcome::NoRoom, "empty.txt kept.txt new.bin"},
        {"a hostile name", "..", 3, 3, AcceptFrom::Everyone, AskAnswer::Declined, false, UploadOutcome::BadName,
         "empty.txt kept.txt new.bin"},
        {"asked, no", "asked.bin", 3, 3, AcceptFrom::Ask, AskAnswer::Declined, false, UploadOutcome::Refused,
         "empty.txt kept.txt new.bin"},
        {"said yes before: not asked", "asked.bin", 3, 3, AcceptFrom::Ask, AskAnswer::Declined, true,
         UploadOutcome::Saved, "asked.bin empty.txt kept.txt new.bin"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        recordingPortReset(store);
        recordingPortAnswer(c.answer);
        setReceivePolicy(c.choice, {});
        forgetDeclined();
        if (c.acceptedBefore) rememberBrowserAccepted(0x7F000001);
        size_t at = 0;
        EXPECT_EQ(c.outcome, receiveUpload(c.name, c.length, 0x7F000001, bodyOf(body, c.sent, &at)));
        EXPECT_EQ(c.tree, flatTree(store));
    }
    EXPECT_EQ(body, readWholeFile(store + kPathSeparator + "new.bin"));
    EXPECT_EQ(old, readWholeFile(store + kPathSeparator + "kept.txt"));
    setReceivePolicy(AcceptFrom::Everyone, {});
    removeScratchFolder(store);
}

TEST(BrowserUpload, ABusyStoreSaysSoAndWritesNothing) {
    const std::string store = makeScratchFolder("busy");
    recordingPortReset(store);
    receiveInProgress = true;  // a reception on port 2904 runs
    size_t at = 0;
    const std::string body = "abc";
    EXPECT_EQ(UploadOutcome::Busy, receiveUpload("b.txt", 3, 0x7F000001, bodyOf(body, 3, &at)));
    receiveInProgress = false;
    EXPECT_EQ("", listTree(store));
    EXPECT_EQ(503, uploadStatus(UploadOutcome::Busy));
    removeScratchFolder(store);
}

// A path's folders are made below the store folder as the receiver makes a transfer's;
// the temporary file lives in the upload's own folder and never stays.
TEST(BrowserUpload, APathLandsInItsFolders) {
    const std::string store = makeScratchFolder("upload-folders");
    recordingPortReset(store);
    setReceivePolicy(AcceptFrom::Everyone, {});
    const std::string body(200 * 1024, 'f');
    const std::string tree = "Folder/ Folder/sub/ Folder/sub/a.txt";
    struct Case {
        const char* what;
        std::string name;
        size_t sent;
        UploadOutcome outcome;
        std::string tree;
    } cases[] = {
        {"new folders", "Folder/sub/a.txt", body.size(), UploadOutcome::Saved, tree},
        {"replaced in its folder", "Folder/sub/a.txt", body.size(), UploadOutcome::Saved, tree},
        {"cut: neither it nor its temporary file stays", "Folder/sub/cut.bin", 1000, UploadOutcome::NotSaved, tree},
        {"cut in new folders: they go too", "New/deeper/cut.bin", 1000, UploadOutcome::NotSaved, tree},
        {"cut in a new folder of an old one", "Folder/new/cut.bin", 1000, UploadOutcome::NotSaved, tree},
        {"a name Windows would store otherwise", "a./b", body.size(), UploadOutcome::BadName, tree},
        {"a folder stands at its place", "Folder/sub", body.size(), UploadOutcome::NotSaved, tree},
        {"a file stands at a folder's place", "Folder/sub/a.txt/b.txt", body.size(), UploadOutcome::NotSaved, tree},
        {"a component that climbs", "Folder/../x", body.size(), UploadOutcome::BadName, tree},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        size_t at = 0;
        EXPECT_EQ(c.outcome,
                  receiveUpload(c.name, static_cast<int64_t>(body.size()), 0x7F000001, bodyOf(body, c.sent, &at)));
        EXPECT_EQ(c.tree, flatTree(store));
    }
    EXPECT_EQ(body,
              readWholeFile(store + kPathSeparator + "Folder" + kPathSeparator + "sub" + kPathSeparator + "a.txt"));
    removeScratchFolder(store);
}

// A file of the upload's name gives way only where a transfer on port 2904 would replace
// it: a read-only file (also for root on Linux), a hidden one on Windows, and anything but
// a regular file stay.
TEST(BrowserUpload, AFileGivesWayAsOnPort2904) {
    const std::string store = makeScratchFolder("upload-replace");
    recordingPortReset(store);
    setReceivePolicy(AcceptFrom::Everyone, {});
    const std::string readOnly = store + kPathSeparator + "ro.txt";
    writeWholeFile(readOnly, "old");
    std::filesystem::permissions(readOnly, std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
    std::vector<std::string> kept = {"ro.txt"};
#ifdef _WIN32
    writeWholeFile(store + "\\hidden.txt", "old");
    ASSERT_TRUE(SetFileAttributesA((store + "\\hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN));
    kept.push_back("hidden.txt");
#else
    ASSERT_EQ(0, mkfifo((store + "/fifo").c_str(), 0644));
    kept.push_back("fifo");
#endif
    for (const std::string& name : kept) {
        SCOPED_TRACE(name);
        EXPECT_EQ(UploadOutcome::NotSaved, uploadWhole(name, "new"));
    }
    EXPECT_EQ("old", readWholeFile(readOnly));
#ifndef _WIN32
    struct stat st;
    EXPECT_TRUE(lstat((store + "/fifo").c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
    EXPECT_EQ("fifo ro.txt", flatTree(store));  // no temporary file stays either
#else
    EXPECT_EQ("old", readWholeFile(store + "\\hidden.txt"));
    EXPECT_EQ("hidden.txt ro.txt", flatTree(store));
#endif
    std::filesystem::permissions(readOnly, std::filesystem::perms::owner_all);
    removeScratchFolder(store);
}

// The user who wants to be asked is asked once for a browser's whole folder.
TEST(BrowserUpload, AFolderIsAskedAboutOnce) {
    const std::string store = makeScratchFolder("upload-asked");
    recordingPortReset(store);
    recordingPortAnswer(AskAnswer::Accepted);
    setReceivePolicy(AcceptFrom::Ask, {});
    forgetDeclined();
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(UploadOutcome::Saved, uploadWhole("F/s" + std::to_string(i % 3) + "/" + std::to_string(i), "x"));
    int asked = 0;
    for (const PortCall& c : recordedCalls()) asked += c.what == "ask";
    EXPECT_EQ(1, asked);
    const std::string tree = listTree(store);
    EXPECT_EQ(1 + 3 + 12, std::count(tree.begin(), tree.end(), '\n'));  // F/, its three folders, the files
    setReceivePolicy(AcceptFrom::Everyone, {});
    removeScratchFolder(store);
}

#ifndef _WIN32
// A folder of the path that is a link in the store (to anywhere) is refused before the
// body is read, and nothing reaches the link's target.
TEST(BrowserUpload, AFolderThatIsALinkIsNotWrittenThrough) {
    const std::string store = makeScratchFolder("upload-link");
    const std::string outside = makeScratchFolder("upload-outside");
    ASSERT_EQ(0, symlink(outside.c_str(), (store + "/link").c_str()));
    ASSERT_TRUE(makeDirectory(outside + "/deeper"));
    recordingPortReset(store);
    setReceivePolicy(AcceptFrom::Everyone, {});
    for (const char* name : {"link/x.txt", "link/deeper/x.txt"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(UploadOutcome::BadName, uploadWhole(name, "abc"));
    }
    EXPECT_EQ("deeper/\n", listTree(outside));
    const std::string tree = listTree(store);
    EXPECT_EQ(1, std::count(tree.begin(), tree.end(), '\n'));  // the link only
    removeScratchFolder(store);
    removeScratchFolder(outside);
}
#endif
