// A browser's upload is a reception: each case feeds one upload's body from memory and
// looks at what the store folder holds afterwards.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

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
        {"cut, new: nothing that looks whole", "cut.bin", 300 * 1024, 1000, AcceptFrom::Everyone,
         AskAnswer::Declined, false, UploadOutcome::NotSaved, "empty.txt kept.txt new.bin"},
        {"cut, replacing: the old file stays", "kept.txt", 300 * 1024, 200 * 1024, AcceptFrom::Everyone,
         AskAnswer::Declined, false, UploadOutcome::NotSaved, "empty.txt kept.txt new.bin"},
        {"larger than the free space", "huge.bin", INT64_MAX / 2, 0, AcceptFrom::Everyone, AskAnswer::Declined,
         false, UploadOutcome::NoRoom, "empty.txt kept.txt new.bin"},
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
        std::string tree = listTree(store);
        for (char& ch : tree) ch = ch == '\n' ? ' ' : ch;
        while (!tree.empty() && tree.back() == ' ') tree.pop_back();
        EXPECT_EQ(c.tree, tree);
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
