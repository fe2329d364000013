// Receptions of in-memory streams that end badly: a store that cannot take everything
// they carry (whatever did not arrive is reported, never "Receiving complete."), a Stop
// in the middle of the connection header, records cut by the end of the stream, and
// names in the store that are no regular file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "core/central_state.h"
#include "platform/files.h"
#include "platform/threads.h"
#include "recording_port.h"
#include "scratch_folder.h"
#include "test_history.h"
#include "transfer/protocol.h"
#include "transfer/receiver.h"
#include "transfer/stop.h"

namespace {
struct MemorySource {
    std::string bytes;
    bool stopAtEnd = false;  // Stop ends the stream instead of the sender's close
    size_t at = 0;
};

int receiveFromMemory(void* source, char* buffer, int size) {
    MemorySource& m = *static_cast<MemorySource*>(source);
    if (m.at == m.bytes.size() && m.stopAtEnd) cancelRequested = true;
    size_t count = m.bytes.size() - m.at < static_cast<size_t>(size) ? m.bytes.size() - m.at
                                                                     : static_cast<size_t>(size);
    memcpy(buffer, m.bytes.data() + m.at, count);
    m.at += count;
    return static_cast<int>(count);
}

ReceiveResult receiveBytes(const std::string& store, const std::string& bytes, bool stopAtEnd = false) {
    recordingPortReset(store);
    MemorySource source{bytes, stopAtEnd};
    StreamReader reader;
    startReader(reader, receiveFromMemory, &source);
    ReceiveResult result = receiveStream(std::move(reader), kInvalidSocket);
    cancelRequested = false;
    return result;
}

// Half a connection header, then Stop: the shut-down connection reads as closed.
int stopInHeader(void* source, char* buffer, int size) {
    bool& sent = *static_cast<bool*>(source);
    if (sent) {
        cancelRequested = true;
        return 0;
    }
    sent = true;
    const char part[] = "Version:3.";
    memcpy(buffer, part, sizeof part - 1);
    return static_cast<int>(sizeof part - 1);
}

std::string foldersStream() {
    return transferHeaderBytes(0) + directoryRecordBytes("Photos/") + directoryRecordBytes("Photos/2010/");
}
}  // namespace

TEST(ReceiverFaults, FolderBlockedByAFileIsNotReceived) {
    std::string store = makeScratchFolder("rx-blocked");
    writeWholeFile(store + kPathSeparator + "Photos", "a file where the folder should go");
    EXPECT_EQ(ReceiveResult::Incomplete, receiveBytes(store, foldersStream()));
    EXPECT_EQ("Some files were not received.", lastStatusText());
    EXPECT_FALSE(isDirectory(store + kPathSeparator + "Photos"));
    removeScratchFolder(store);
}

TEST(ReceiverFaults, FoldersThatAlreadyExistAreReceived) {
    std::string store = makeScratchFolder("rx-existing");
    makeDirectory(store + kPathSeparator + "Photos");
    EXPECT_EQ(ReceiveResult::Complete, receiveBytes(store, foldersStream()));
    EXPECT_EQ("Receiving complete.", lastStatusText());
    EXPECT_TRUE(isDirectory(store + kPathSeparator + "Photos" + kPathSeparator + "2010"));
    removeScratchFolder(store);
}

// Only folders and files make a completed transfer of a sender (any host can send an
// empty one), and only a stream that starts with an address record is a hand-over: one
// among the records of a transfer is passed over, the stream kept in step.
TEST(ReceiverFaults, WhatATransferCarriedDecidesItsResult) {
    const std::string address = "\n\nType:ip\nSize:8\nFlags:0\n\n10.0.0.9";
    struct Case {
        const char* what;
        std::string stream;
        bool complete;
        const char* tree;
    };
    for (const Case& c :
         {Case{"empty", transferHeaderBytes(0) + "\n\n", false, ""},
          Case{"address among folders",
               transferHeaderBytes(0) + directoryRecordBytes("a/") + address + directoryRecordBytes("b/"), true,
               "a/\nb/\n"}}) {
        SCOPED_TRACE(c.what);
        std::string store = makeScratchFolder("rx-carried");
        ReceiveResult result = receiveBytes(store, c.stream);
        EXPECT_EQ(c.complete, result == ReceiveResult::Complete);
        EXPECT_EQ("Receiving complete.", lastStatusText());
        EXPECT_EQ("", recordedRecipient());
        EXPECT_EQ(c.tree, listTree(store));
        removeScratchFolder(store);
    }
}

// A reception over the private channel is recorded as such, under the trusted computer's
// name where the sender's key is pinned, else under its address.
TEST(ReceiverFaults, APrivateReceptionNamesItsSender) {
    uint32_t sender = 0;
    ASSERT_TRUE(netParseDotted("10.1.2.3", &sender));
    for (const char* trusted : {"Laptop", ""}) {
        SCOPED_TRACE(trusted);
        std::string store = makeScratchFolder("rx-private");
        recordingPortReset(store);
        ASSERT_TRUE(useTestHistory());
        MemorySource source{foldersStream()};
        StreamReader reader;
        startReader(reader, receiveFromMemory, &source);
        ReceiveTerms terms;
        terms.sender = sender;
        terms.door = HistoryDoor::Private;
        terms.trusted = *trusted != '\0';
        terms.trustedName = trusted;
        EXPECT_EQ(ReceiveResult::Complete, receiveStream(std::move(reader), kInvalidSocket, terms));
        const std::vector<HistoryEntry> entries = writtenHistory();
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].door, HistoryDoor::Private);
        EXPECT_EQ(entries[0].peer, *trusted ? trusted : "10.1.2.3");
        EXPECT_EQ(entries[0].address, "10.1.2.3");
        EXPECT_EQ(entries[0].names, std::vector<std::string>{"Photos"});
        removeScratchFolder(store);
    }
}

// A private offer's reception whose verified steps are missing stores no file the plain
// way: it ends at its first file record, and nothing after it is taken either.
TEST(ReceiverFaults, AVerifiedReceptionWithoutItsStepsStoresNothing) {
    std::string store = makeScratchFolder("rx-unverified");
    recordingPortReset(store);
    MemorySource source{transferHeaderBytes(5) + fileRecordBytes(5, "a.txt", "") + "hello" +
                        directoryRecordBytes("Later/")};
    StreamReader reader;
    startReader(reader, receiveFromMemory, &source);
    VerifiedReception verified;
    ReceiveTerms terms;
    terms.verified = &verified;
    EXPECT_EQ(ReceiveResult::Incomplete, receiveStream(std::move(reader), kInvalidSocket, terms));
    EXPECT_EQ(listTree(store), "");
    removeScratchFolder(store);
}

TEST(ReceiverFaults, StopInTheConnectionHeaderIsNoVersionError) {
    std::string store = makeScratchFolder("rx-stop");
    recordingPortReset(store);
    bool sent = false;
    StreamReader reader;
    startReader(reader, stopInHeader, &sent);
    EXPECT_EQ(ReceiveResult::Cancelled, receiveStream(std::move(reader), kInvalidSocket));
    EXPECT_TRUE(recordedErrors().empty());
    cancelRequested = false;
    removeScratchFolder(store);
}

// A probe that connects and sends nothing is no sender: no version box, the status line
// cleared and the buttons back; one byte is enough to be judged as a sender.
TEST(ReceiverFaults, AConnectionThatSendsNothingRaisesNoBox) {
    std::string store = makeScratchFolder("rx-probe");
    EXPECT_EQ(ReceiveResult::NothingSent, receiveBytes(store, ""));
    EXPECT_TRUE(recordedErrors().empty());
    std::vector<PortCall> calls = recordedCalls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[calls.size() - 2].what, "status");
    EXPECT_EQ(calls[calls.size() - 2].text, "");
    EXPECT_EQ(calls.back().what, "idle");
    EXPECT_FALSE(receiveInProgress);

    EXPECT_EQ(ReceiveResult::WrongVersion, receiveBytes(store, "x"));
    EXPECT_EQ(1u, recordedErrors().size());
    removeScratchFolder(store);
}

// A file record that the end of the stream cuts before its blank line may have lost the
// end of its name or folder: nothing is created for it. A directory record cut the same
// way still counts: a sender writes no line feed after its last value.
TEST(ReceiverFaults, AFileRecordCutBeforeItsBlankLineCreatesNothing) {
    std::string store = makeScratchFolder("rx-cut");
    std::string folders = transferHeaderBytes(3) + directoryRecordBytes("a/") + directoryRecordBytes("a/b/");
    std::string record = fileRecordBytes(3, "name.txt", "a/b/");
    for (size_t cut : {record.find("Name:") + 8, record.find("Directory:") + 12, record.size() - 1}) {
        SCOPED_TRACE(record.substr(0, cut));
        EXPECT_EQ(ReceiveResult::Incomplete, receiveBytes(store, folders + record.substr(0, cut)));
        EXPECT_EQ(listTree(store), "a/\na/b/\n");
    }
    removeScratchFolder(store);
}

namespace {
// A stream in pieces, each one well past a 1 ms block deadline after the one before.
struct LatePieces {
    std::vector<std::string> pieces;
    size_t next = 0;
};

int receiveLate(void* source, char* buffer, int size) {
    LatePieces& late = *static_cast<LatePieces*>(source);
    if (late.next == late.pieces.size()) return 0;
    if (late.next > 0) sleepMilliseconds(30);
    const std::string& piece = late.pieces[late.next++];
    const size_t count = std::min(piece.size(), static_cast<size_t>(size));
    memcpy(buffer, piece.data(), count);
    return static_cast<int>(count);
}
}  // namespace

// A block that goes on past its deadline is cut there: a trickled header is no old
// sender (no box), and a trickled folder name creates nothing. Only the line feeds that
// end a block may come late, as after a sender's pause before its next file.
TEST(ReceiverFaults, ABlockPastItsDeadlineTakesOnlyItsEnd) {
    const std::string folder = transferHeaderBytes(0) + directoryRecordBytes("ab");
    struct Case {
        const char* what;
        std::vector<std::string> pieces;
        ReceiveResult result;
        const char* tree;
    };
    for (const Case& c : {Case{"trickled header", {"Vers", "ion:3.0\nTotal:0\n\n"}, ReceiveResult::NothingSent, ""},
                          Case{"trickled folder", {folder, "cd\n\n"}, ReceiveResult::Incomplete, ""},
                          Case{"pause before the end", {folder, "\n", "\n"}, ReceiveResult::Complete, "ab/\n"}}) {
        SCOPED_TRACE(c.what);
        std::string store = makeScratchFolder("rx-late");
        recordingPortReset(store);
        LatePieces late{c.pieces};
        StreamReader reader;
        startReader(reader, receiveLate, &late);
        reader.blockMilliseconds = 1;
        EXPECT_EQ(c.result, receiveStream(std::move(reader), kInvalidSocket));
        EXPECT_TRUE(recordedErrors().empty());
        EXPECT_EQ(listTree(store), c.tree);
        removeScratchFolder(store);
    }
}

// A file record that ends before its Size did not arrive, even when the Total it was
// announced against has been met (a sender's file that grew, items it left out).
TEST(ReceiverFaults, ANewFileCutShortIsNeverComplete) {
    std::string store = makeScratchFolder("rx-short");
    EXPECT_EQ(ReceiveResult::Incomplete,
              receiveBytes(store, transferHeaderBytes(5) + fileRecordBytes(10, "new.txt", "/") + "12345"));
    EXPECT_EQ(readWholeFile(store + kPathSeparator + "new.txt"), "12345");
    removeScratchFolder(store);
}

// A file that already exists gives way only to a record whose content arrived whole and
// was written; a cut or a Stop leaves it as it was, and nothing else beside it.
TEST(ReceiverFaults, AnExistingFileIsReplacedOnlyByAWholeOne) {
    std::string store = makeScratchFolder("rx-replace");
    std::string path = store + kPathSeparator + "keep.txt";
    std::string stream = transferHeaderBytes(6) + fileRecordBytes(6, "keep.txt", "/") + "NEWNEW";
    struct Case {
        const char* what;
        size_t length;
        bool stop;
        ReceiveResult result;
        const char* content;
    };
    for (const Case& c : {Case{"whole", stream.size(), false, ReceiveResult::Complete, "NEWNEW"},
                          Case{"cut in the content", stream.size() - 2, false, ReceiveResult::Incomplete, "old"},
                          Case{"Stop in the content", stream.size() - 2, true, ReceiveResult::Cancelled, "old"}}) {
        SCOPED_TRACE(c.what);
        writeWholeFile(path, "old");
#ifndef _WIN32
        chmod(path.c_str(), 0600);
#endif
        EXPECT_EQ(c.result, receiveBytes(store, stream.substr(0, c.length), c.stop));
        EXPECT_EQ(readWholeFile(path), c.content);
        EXPECT_EQ(listTree(store), "keep.txt\n");
#ifndef _WIN32
        struct stat st;
        EXPECT_EQ(stat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 0u, 0600u);  // its permissions stay
#endif
    }
    removeScratchFolder(store);
}

// Only regular files are opened, and looking at anything else never blocks (a FIFO
// without a writer would hold an open forever).
TEST(ReceiverFaults, OnlyRegularFilesAreOpened) {
    std::string scratch = makeScratchFolder("rx-kinds");
#ifdef _WIN32
    std::vector<std::string> others = {"NUL", "CON"};
#else
    std::vector<std::string> others = {"/dev/null", scratch + "/fifo"};
    ASSERT_EQ(mkfifo(others[1].c_str(), 0644), 0);
#endif
    for (const std::string& path : others) {
        SCOPED_TRACE(path);
        FileHandle f = fileOpenRead(path);
        EXPECT_EQ(f, kInvalidFile);
        fileClose(f);
        EXPECT_EQ(measureFileSize(path), -1);
        EXPECT_FALSE(isReplaceableFile(path));
    }
    std::string plain = scratch + kPathSeparator + "plain";
    writeWholeFile(plain, "abc");
    EXPECT_EQ(measureFileSize(plain), 3);
    EXPECT_TRUE(isReplaceableFile(plain));
    removeScratchFolder(scratch);
}

namespace {
const char* stopAtCall = "";  // "progress", or the status text at which Stop comes
void stopAt(const PortCall& call) {
    bool at = call.what == "progress" ? call.a > 0 && !strcmp(stopAtCall, "progress") : call.text == stopAtCall;
    if (at && !cancelRequested) stopTransfers();
}
}  // namespace

// Stop comes at the very moment the receiver writes: Stop's texts still stay.
TEST(ReceiverFaults, CanceledStaysWhateverTheReceiverWritesAsStopComes) {
    std::string store = makeScratchFolder("rx-canceled");
    const std::string content(200000, 'r');
    const std::string transfer = transferHeaderBytes(200000) + fileRecordBytes(200000, "a.bin", "/") + content;
    const std::string address = transferHeaderBytes(0) + "\n\nType:ip\nSize:9\nFlags:1\n\n10.0.0.9\n";
    const std::pair<const char*, std::string> moments[] = {
        {"progress", transfer}, {"Receiving complete.", transfer}, {"Recepient IP received", address}};
    for (const auto& moment : moments) {
        SCOPED_TRACE(moment.first);
        stopAtCall = moment.first;
        recordingPortReset(store);
        recordingPortBeforeCall(stopAt);
        MemorySource source{moment.second};
        StreamReader reader;
        startReader(reader, receiveFromMemory, &source);
        receiveStream(std::move(reader), kInvalidSocket);
        cancelRequested = sendCancelRequested = false;
        EXPECT_EQ(lastStatusText(), "Canceled.");
        int bar = -1;
        for (const PortCall& c : recordedCalls())
            if (c.what == "progress") bar = c.a;
        EXPECT_EQ(bar, 0);
    }
    recordingPortReset();
    removeScratchFolder(store);
}
