// Receptions of in-memory streams into a store that cannot take everything they carry:
// whatever did not arrive is reported, never "Receiving complete.".
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

#include "platform/files.h"
#include "recording_port.h"
#include "scratch_folder.h"
#include "transfer/protocol.h"
#include "transfer/receiver.h"

namespace {
struct MemorySource {
    std::string bytes;
    size_t at = 0;
};

int receiveFromMemory(void* source, char* buffer, int size) {
    MemorySource& m = *static_cast<MemorySource*>(source);
    size_t count = m.bytes.size() - m.at < static_cast<size_t>(size) ? m.bytes.size() - m.at : static_cast<size_t>(size);
    memcpy(buffer, m.bytes.data() + m.at, count);
    m.at += count;
    return static_cast<int>(count);
}

ReceiveResult receiveBytes(const std::string& store, const std::string& bytes) {
    recordingPortReset(store);
    MemorySource source{bytes};
    StreamReader reader;
    startReader(reader, receiveFromMemory, &source);
    return receiveStream(std::move(reader), kInvalidSocket);
}

std::string foldersStream() {
    return transferHeaderBytes(0) + directoryRecordBytes("Photos/") + directoryRecordBytes("Photos/2010/");
}
}  // namespace

TEST(ReceiverStoreFaults, FolderBlockedByAFileIsNotReceived) {
    std::string store = makeScratchFolder("rx-blocked");
    writeWholeFile(store + kPathSeparator + "Photos", "a file where the folder should go");
    EXPECT_EQ(ReceiveResult::Incomplete, receiveBytes(store, foldersStream()));
    EXPECT_EQ("Some files were not received.", lastStatusText());
    EXPECT_FALSE(isDirectory(store + kPathSeparator + "Photos"));
    removeScratchFolder(store);
}

TEST(ReceiverStoreFaults, FoldersThatAlreadyExistAreReceived) {
    std::string store = makeScratchFolder("rx-existing");
    makeDirectory(store + kPathSeparator + "Photos");
    EXPECT_EQ(ReceiveResult::Complete, receiveBytes(store, foldersStream()));
    EXPECT_EQ("Receiving complete.", lastStatusText());
    EXPECT_TRUE(isDirectory(store + kPathSeparator + "Photos" + kPathSeparator + "2010"));
    removeScratchFolder(store);
}
