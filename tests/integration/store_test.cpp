// The store's writes as the doors make them: a resumable upload whose piece the disk
// refuses part way, and the offset it goes on from.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

#include "core/central_state.h"
#include "platform/files.h"
#include "policy/receive_policy.h"
#include "recording_port.h"
#include "store/partial_record.h"
#include "store/store_files.h"
#include "scratch_folder.h"
#include "transfer/stop.h"
#include "web/browser_upload.h"
#include "web/upload_files.h"

#ifndef _WIN32
namespace {
// Bytes [from, from + count) of body, as one request's body carries them.
BodyRead pieceOf(const std::string& body, int64_t from, int64_t count, int64_t* at) {
    *at = 0;
    return [&body, from, count, at](char* buffer, int size) {
        const int64_t n = std::min<int64_t>(count - *at, size);
        if (n <= 0) return -1;
        memcpy(buffer, body.data() + from + *at, static_cast<size_t>(n));
        *at += n;
        return static_cast<int>(n);
    };
}

UploadOutcome sendPiece(PartialUpload& upload, const std::string& body, int64_t count) {
    int64_t at = 0;
    return receivePiece(upload, "big.bin", count, pieceOf(body, upload.offset, count, &at), stopCount);
}
}  // namespace

// A piece the disk refuses part way (here a size limit, as ENOSPC, EDQUOT or EIO would)
// counts only what it wrote; the next piece lands at that offset, and the file takes its
// name at its announced length with the body's bytes.
TEST(Store, APieceTheDiskRefusesPartWayLeavesNoStrayBytes) {
    const std::string store = makeScratchFolder("store-piece");
    recordingPortReset(store);
    setReceivePolicy(AcceptFrom::Everyone, {});
    std::string body(6000000, '\0');
    for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>((i * 131 + i / 4096) & 0xFF);
    const int64_t length = static_cast<int64_t>(body.size());
    PartialUpload upload;
    upload.sender = 0x7F000001;
    ASSERT_EQ(UploadOutcome::Saved, admitUpload("big.bin", length, upload.sender, stopCount));
    ASSERT_EQ(UploadOutcome::Saved, openPartial(length, &upload));
    ASSERT_EQ(UploadOutcome::Saved, sendPiece(upload, body, 1000000));

    struct rlimit before {};
    ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &before));
    const auto previous = signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = before;
    limited.rlim_cur = 1500000;
    ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &limited));
    const UploadOutcome refused = sendPiece(upload, body, 2000000);
    setrlimit(RLIMIT_FSIZE, &before);
    signal(SIGXFSZ, previous);
    EXPECT_EQ(UploadOutcome::NotSaved, refused);
    EXPECT_LE(upload.offset, 1500000);

    EXPECT_EQ(UploadOutcome::Saved, sendPiece(upload, body, length - upload.offset));
    const std::string stored = readWholeFile(store + "/big.bin");
    EXPECT_EQ(body.size(), stored.size());
    EXPECT_TRUE(stored == body);
    dropPartial(upload);
    removeScratchFolder(store);
}

// An upload refused because the partial folder is a link leaves the count of partial files
// as it was: the folder still goes with the last upload that arrives afterwards.
TEST(Store, ThePartialFolderGoesWithTheLastUploadAfterALinkRefusedOne) {
    const std::string store = makeScratchFolder("store-uploads");
    const std::string elsewhere = makeScratchFolder("store-elsewhere");
    recordingPortReset(store);
    setReceivePolicy(AcceptFrom::Everyone, {});
    const std::string folder = store + "/" + kPartialFolder;
    ASSERT_EQ(0, symlink(elsewhere.c_str(), folder.c_str()));
    const std::string body = "content";
    size_t at = 0;
    const auto read = [&body, &at](char* buffer, int size) {
        const size_t n = std::min(body.size() - at, static_cast<size_t>(size));
        memcpy(buffer, body.data() + at, n);
        at += n;
        return n > 0 ? static_cast<int>(n) : -1;
    };
    EXPECT_EQ(UploadOutcome::BadName, receiveUpload("a.txt", 7, 0x7F000001, read));
    ASSERT_EQ(0, unlink(folder.c_str()));
    at = 0;
    EXPECT_EQ(UploadOutcome::Saved, receiveUpload("a.txt", 7, 0x7F000001, read));
    EXPECT_EQ("a.txt\n", listTree(store));
    removeScratchFolder(elsewhere);
    removeScratchFolder(store);
}
// A partial file's name is never opened through what stands in its place: links there
// (to a file outside the store, or dangling) are passed over for the next free number,
// and when every name tried is taken nothing is created.
TEST(Store, APartialFileIsNeverCreatedThroughALink) {
    const std::string store = makeScratchFolder("store-partial-links");
    const std::string outside = makeScratchFolder("store-partial-outside") + "/target";
    writeWholeFile(outside, "outside");
    const struct {
        unsigned links;  // links at the numbers from the seed on
        bool created;
    } cases[] = {{0, true}, {1, true}, {kPartialTries - 1, true}, {kPartialTries, false}};
    for (const auto& c : cases) {
        const unsigned seed = 4242;
        for (unsigned n = 0; n < c.links; ++n) {
            const std::string at = store + "/" + partialName(seed + n);
            ASSERT_EQ(0, symlink(n % 2 ? "/nonexistent/qv" : outside.c_str(), at.c_str()));
        }
        std::string relative, local;
        FileHandle file = createPartialFile(store, "", seed, &relative, &local);
        EXPECT_EQ(c.created, file != kInvalidFile) << c.links;
        if (file != kInvalidFile) {
            EXPECT_EQ(partialName(seed + c.links), relative);
            EXPECT_TRUE(fileWriteAll(file, "inside", 6));
            fileClose(file);
            fileRemove(local);
        }
        EXPECT_EQ("outside", readWholeFile(outside)) << c.links;
        for (unsigned n = 0; n < c.links; ++n) fileRemove(store + "/" + partialName(seed + n));
    }
    removeScratchFolder(outside.substr(0, outside.rfind('/')));
    removeScratchFolder(store);
}

// Partial files kept from before may stand in a long row where the next numbers fall;
// the files after them still get names, past the row.
TEST(Store, PartialFilesPassARowOfNamesLeftTaken) {
    const std::string store = makeScratchFolder("store-partial-row");
    const unsigned first = nextPartialNumber() + 1, row = 500;
    for (unsigned n = 0; n < row; ++n) writeWholeFile(store + "/" + partialName((first + n) % kPartialNumbers), "kept");
    for (int file = 0; file < 3; ++file) {
        std::string relative, local;
        const FileHandle created = createPartialFile(store, "", nextPartialNumber(), &relative, &local);
        ASSERT_NE(kInvalidFile, created) << file;
        fileClose(created);
        EXPECT_EQ("", readWholeFile(local)) << relative;
    }
    removeScratchFolder(store);
}
#endif
