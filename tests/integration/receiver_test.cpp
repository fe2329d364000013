// A real listener on a loopback port, fed by real streams; what arrives is checked byte
// for byte, what the window would show through the recording port.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "core/central_state.h"
#include "doors/reception.h"
#include "peers/asked_peers.h"
#include "platform/files.h"
#include "platform/threads.h"
#include "policy/receive_policy.h"
#include "recording_port.h"
#include "scratch_folder.h"
#include "stream_feeder.h"
#include "test_history.h"
#include "thread_count.h"
#include "transfer/listener.h"
#include "store/store_names.h"
#include "transfer/protocol.h"
#include "transfer/receiver.h"
#include "transfer/stop.h"

#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {
const char* const kComplete = "Receiving complete.";
const char* const kIncomplete = "Some files were not received.";
const char* const kNoRoom = "Not enough free space in the store folder.";

bool waitUntil(const std::function<bool()>& done, int milliseconds = 10000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        sleepMilliseconds(5);
    }
    return true;
}

bool sawStatus(const std::string& text) {
    for (const std::string& s : recordedStatusTexts())
        if (s == text) return true;
    return false;
}

// A result text, an error box, or the end of an address reception.
bool receptionEnded() {
    std::string last = lastStatusText();
    return !receiveInProgress && (last == kComplete || last == kIncomplete || last == kNoRoom ||
                                  last == "Recepient IP received" || last == "Canceled." || !recordedErrors().empty());
}

std::string pattern(size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (char& c : bytes) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 23);
    }
    return bytes;
}

// Compares whole contents without printing megabytes when they differ.
::testing::AssertionResult sameBytes(const std::string& got, const std::string& want) {
    if (got == want) return ::testing::AssertionSuccess();
    size_t at = 0;
    while (at < got.size() && at < want.size() && got[at] == want[at]) ++at;
    return ::testing::AssertionFailure() << got.size() << " bytes instead of " << want.size()
                                         << ", first difference at " << at;
}

std::string fileRecord(const std::string& name, const std::string& folder, const std::string& content) {
    return fileRecordBytes(static_cast<int64_t>(content.size()), name, folder) + content;
}

// The history's newest entry once the reception's thread has handed one over.
HistoryEntry newestEntry() {
    std::vector<HistoryEntry> entries;
    waitUntil([&entries] {
        entries = writtenHistory();
        return !entries.empty();
    });
    return entries.empty() ? HistoryEntry() : entries.front();
}

class Reception : public ::testing::Test {
  protected:
    void SetUp() override {
        netStartup();
        scratch = makeScratchFolder("rx");
        ASSERT_FALSE(scratch.empty());
        store = scratch + kPathSeparator + "store";
        ASSERT_TRUE(makeDirectory(store));
        recordingPortReset(store);
        receiveStallMilliseconds = 5000;
        listener = startListening(0);
        ASSERT_NE(listener, kInvalidSocket);
        port = netLocalPort(listener);
        recordingPortReset(store);  // the listener's own texts are checked on their own
        useTestHistory();           // emptied: a test reads the entries of its own receptions
        accepting = std::thread([this] { acceptConnections(listener); });
    }
    void TearDown() override {
        if (listener != kInvalidSocket) stopListening(listener);
        if (accepting.joinable()) accepting.join();
        waitUntil([] { return !receiveInProgress; });
        removeScratchFolder(scratch);
        receiveStallMilliseconds = kReceiveStallMilliseconds;
    }
    // Feeds one whole stream and waits for the reception to end.
    void receive(const std::string& bytes) {
        ASSERT_TRUE(feedStream(port, bytes));
        ASSERT_TRUE(waitUntil(receptionEnded)) << lastStatusText();
    }
    std::string at(const std::string& relative) const {
        std::string path = store + kPathSeparator;
        for (char c : relative) path += c == '/' ? kPathSeparator : c;
        return path;
    }

    std::string scratch, store;
    Socket listener = kInvalidSocket;
    uint16_t port = 0;
    std::thread accepting;
};
}  // namespace

TEST_F(Reception, NestedFoldersEmptyAndLargeFiles) {
    std::string big = pattern(3 * 1024 * 1024 + 17, 1);
    std::string small = pattern(1000, 2);
    writeWholeFile(at("old.txt"), "previous content");
    std::string stream = transferHeaderBytes(static_cast<int64_t>(big.size() + small.size())) +
                         directoryRecordBytes("Photos/") + directoryRecordBytes("Photos/2010/") +
                         fileRecord("big.bin", "Photos\\2010\\", big) + fileRecord("small.txt", "Photos\\", small) +
                         fileRecord("empty.txt", "/", "") + fileRecord("old.txt", "\\", "") +
                         fileRecordBytes(-5, "negative.txt", "/");
    receive(stream);
    EXPECT_EQ(lastStatusText(), kComplete);
    EXPECT_EQ(listTree(store), "Photos/\nPhotos/2010/\nPhotos/2010/big.bin\nPhotos/small.txt\nempty.txt\n"
                               "negative.txt\nold.txt\n");
    EXPECT_TRUE(sameBytes(readWholeFile(at("Photos/2010/big.bin")), big));
    EXPECT_TRUE(sameBytes(readWholeFile(at("Photos/small.txt")), small));
    EXPECT_EQ(readWholeFile(at("old.txt")), "");  // truncated, as the record says

    std::vector<PortCall> calls = recordedCalls();
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ(calls[0].what, "transferring");
    EXPECT_EQ(calls[1].text, "Receiving");
    EXPECT_EQ(calls[calls.size() - 3].what, "progress");
    EXPECT_EQ(calls[calls.size() - 3].a, 100);
    EXPECT_EQ(calls.back().what, "idle");
    int last = -1;
    for (const PortCall& c : calls)
        if (c.what == "progress" && c.text.empty() && c.a != 100) {
            EXPECT_GT(c.a, last);  // the bar only moves forward, by whole percents
            last = c.a;
        }
}

TEST_F(Reception, StorePathWithTrailingSeparatorAndFoldersOnly) {
    recordingPortReset(store + kPathSeparator);
    // No "Total": folders only is complete; the leading and doubled separators make no
    // folder of their own.
    receive("Version:3.0" + directoryRecordBytes("a//b/") + directoryRecordBytes("/") + emptyBlockBytes());
    EXPECT_EQ(lastStatusText(), kComplete);
    EXPECT_EQ(listTree(store), "a/\na/b/\n");
}

TEST_F(Reception, ContentWithoutAPositiveTotalIsIncompleteWithTheBarAtZero) {
    for (const std::string& header : {std::string("Version:3.0"), transferHeaderBytes(-1)}) {
        SCOPED_TRACE(header);
        recordingPortReset(store);
        receive(header + fileRecord("x.txt", "/", "abc"));
        EXPECT_EQ(lastStatusText(), kIncomplete);
        EXPECT_EQ(readWholeFile(at("x.txt")), "abc");
        for (const PortCall& c : recordedCalls())
            if (c.what == "progress") {
                EXPECT_EQ(c.a, 0);  // no division by a missing total
            }
    }
}

TEST_F(Reception, OtherVersionsAreRefusedAfterTheAdmissionEnds) {
    for (const std::string header : {"Version:3.1\nTotal:0", "Version:2.0", "Total:0", "Version:3.0\r\nTotal:0", ""}) {
        SCOPED_TRACE(header);
        recordingPortReset(store);
        receive(header + directoryRecordBytes("made/"));
        std::vector<PortCall> calls = recordedCalls();
        ASSERT_GE(calls.size(), 4u);
        // The status emptied, the buttons back and the admission given up, then the box.
        EXPECT_EQ(calls.back().what, "error");
        EXPECT_EQ(calls.back().text, "Sender using old version of program. It must be updated.");
        EXPECT_EQ(calls[calls.size() - 4].what, "status");
        EXPECT_EQ(calls[calls.size() - 4].text, "");
        EXPECT_EQ(calls[calls.size() - 3].what, "idle");
        EXPECT_FALSE(receiveInProgress);
        EXPECT_EQ(listTree(store), "");
    }
}

TEST_F(Reception, CarriageReturnsStayInValues) {
    receive(transferHeaderBytes(3) + "\n\nType:file\r\nSize:3\nName:x\nDirectory:/\n\nabc" +
            "\n\nType:file\nSize:1\nName:crlf.txt\r\nDirectory:/\n\nz");
    // "file\r" is not a file record; its content reads as a block without a type.
    // A name ending in a carriage return is refused: a control character.
    EXPECT_EQ(listTree(store), "");
    EXPECT_EQ(lastStatusText(), kIncomplete);
}

TEST_F(Reception, ConnectionCutInTheMiddleOfAFile) {
    std::string content = pattern(100000, 3);
    receive(transferHeaderBytes(100000) + fileRecordBytes(100000, "half.bin", "/") + content.substr(0, 40000));
    EXPECT_EQ(lastStatusText(), kIncomplete);
    EXPECT_TRUE(sameBytes(readWholeFile(at("half.bin")), content.substr(0, 40000)));
}

TEST_F(Reception, DirectoryRecordCutByTheCloseStillCounts) {
    receive("Version:3.0" + directoryRecordBytes("first/") + directoryRecordBytes("last/"));
    EXPECT_EQ(lastStatusText(), kComplete);
    EXPECT_EQ(listTree(store), "first/\nlast/\n");
}

TEST_F(Reception, SecondConnectionIsTurnedAwayWhileTheFirstCompletes) {
    std::string content = pattern(200000, 4);
    Socket first = feederConnect(port);
    ASSERT_NE(first, kInvalidSocket);
    ASSERT_TRUE(feederSend(first, transferHeaderBytes(200000) + fileRecordBytes(200000, "first.bin", "/") +
                                      content.substr(0, 1000)));
    ASSERT_TRUE(waitUntil([] { return sawStatus("Receiving"); }));

    Socket second = feederConnect(port);
    ASSERT_NE(second, kInvalidSocket);
    feederSend(second, transferHeaderBytes(3) + fileRecord("second.txt", "/", "abc"));
    EXPECT_TRUE(feederSeesClose(second, 5000));
    netClose(second);

    ASSERT_TRUE(feederSend(first, content.substr(1000)));
    netClose(first);
    ASSERT_TRUE(waitUntil(receptionEnded));
    EXPECT_EQ(lastStatusText(), kComplete);
    EXPECT_TRUE(sameBytes(readWholeFile(at("first.bin")), content));
    EXPECT_FALSE(pathExists(at("second.txt")));
    int admitted = 0;
    for (const PortCall& c : recordedCalls()) admitted += c.what == "transferring";
    EXPECT_EQ(admitted, 1);
}

TEST_F(Reception, AddressRecords) {
    // Empty field, Flags 0: taken as the connection's source, not its text; a directory
    // record after it proves the stream in step.
    forgetAsked();
    recordingPortReset(store, "", "");
    receive(addressHandOverBytes("10.0.0.123", false) + directoryRecordBytes("after/"));
    EXPECT_EQ(recordedRecipient(), "127.0.0.1");
    EXPECT_EQ(lastStatusText(), "Recepient IP received");
    EXPECT_TRUE(isDirectory(at("after")));

    // Each case: a filled field or not, what this copy asked lately, the record's text
    // (Flags 1), and the recipient after it. A text that is no dotted address is never
    // taken; a filled field is replaced only by an answer to a datagram this copy sent,
    // to the group from a peer on a subnet of its own adapters (127.0.0.1 is on none),
    // or to the peer itself.
    struct Case {
        const char* what;
        const char* before;
        uint32_t asked;  // 0: nothing
        std::string text;
        const char* after;
    };
    const std::string longText = "172.16.254.201" + std::string(30000, '7');
    for (const Case& c :
         {Case{"filled, nothing asked", "192.168.1.1", 0, "10.0.0.66", "192.168.1.1"},
          Case{"filled, group asked", "192.168.1.1", 0xEF7B7E81, "10.0.0.66", "192.168.1.1"},
          Case{"filled, peer asked", "192.168.1.1", 0x7F000001, "10.0.0.66", "127.0.0.1"},
          Case{"no address", "", 0, "not.an.address", ""}, Case{"longer than an address", "", 0, longText, ""},
          Case{"size below 7", "", 0, "1.2.3", ""}}) {
        SCOPED_TRACE(c.what);
        forgetAsked();
        if (c.asked) noteAsked(c.asked);
        recordingPortReset(store, "", c.before);
        receive("Version:3.0\n\nType:ip\nSize:" + std::to_string(c.text.size()) + "\nFlags:1\n\n" + c.text + "\n\n" +
                directoryRecordBytes("after2/"));
        EXPECT_EQ(recordedRecipient(), c.after);
        EXPECT_EQ(lastStatusText(), "Recepient IP received");
        EXPECT_TRUE(isDirectory(at("after2")));
    }
    forgetAsked();
}

// A reception ends at its block's deadline however long the stall limit, and blocks
// that store nothing do not hold it open: the stall limit counts from the last folder or file.
TEST_F(Reception, TrickledAndEmptyBlocksDoNotHoldTheReception) {
    struct Case {
        const char* what;
        std::string first, repeated;  // sent at once; then every half second until the end
        int stall;
    };
    const std::string header = transferHeaderBytes(1);
    for (const Case& c : {Case{"one byte of a record, then silence", header + "\n\nT", "", 30000},
                          Case{"empty blocks inside the stall limit", header, "\n\n", 1500},
                          Case{"records that store nothing inside the stall limit", header + directoryRecordBytes("a/"),
                               "\n\nType:ip\nSize:0", 1500}}) {
        SCOPED_TRACE(c.what);
        recordingPortReset(store);
        receiveStallMilliseconds = c.stall;
        Socket s = feederConnect(port);
        ASSERT_NE(s, kInvalidSocket);
        ASSERT_TRUE(feederSend(s, c.first));
        bool ended = false;
        for (int i = 0; i < 40 && !ended; ++i)  // 20 s: past the block's 10 s, short of the 30 s stall
            if (!(ended = waitUntil(receptionEnded, 500)) && !c.repeated.empty()) feederSend(s, c.repeated);
        EXPECT_TRUE(ended);
        EXPECT_EQ(lastStatusText(), kIncomplete);
        netClose(s);
        ASSERT_TRUE(waitUntil([] { return !receiveInProgress; }));
    }
}

// A connection that stores nothing, or trickles below the floor of progress, gives the one
// reception up to a sender that comes meanwhile (one whose header never comes whole never
// takes it): the sender's file arrives whole at its first try.
TEST_F(Reception, AHolderThatDoesNotProgressYieldsToASender) {
    struct Case {
        const char* what;
        std::string first, repeated;
        int every;   // milliseconds between two of repeated
        bool holds;  // it takes the reception before the sender comes
    };
    const std::string header = transferHeaderBytes(1);
    for (const Case& c :
         {Case{"a header trickled", "Version:3.0\nPad:", "a", 100, false},
          Case{"a folder record now and then", header + directoryRecordBytes("t/"), directoryRecordBytes("t/"), 1000,
               true},
          Case{"refused folder records, often", header + directoryRecordBytes("../up/"), directoryRecordBytes("../up/"),
               200, true},
          Case{"nothing announced, then silence", transferHeaderBytes(0) + emptyBlockBytes(), "", 1000, true}}) {
        SCOPED_TRACE(c.what);
        recordingPortReset(store);
        fileRemove(at("real.txt"));
        Socket s = feederConnect(port);
        ASSERT_NE(s, kInvalidSocket);
        ASSERT_TRUE(feederSend(s, c.first));
        std::atomic<bool> done{false};
        std::thread trickle([&] {
            while (!done && feederSend(s, c.repeated)) sleepMilliseconds(c.every);
        });
        if (c.holds) {
            EXPECT_TRUE(waitUntil(receptionYields));
        }
        ASSERT_TRUE(feedStream(port, transferHeaderBytes(3) + fileRecord("real.txt", "/", "abc")));
        EXPECT_TRUE(waitUntil([this] { return readWholeFile(at("real.txt")) == "abc"; }));
        EXPECT_TRUE(waitUntil(receptionEnded));
        EXPECT_EQ(lastStatusText(), kComplete);
        done = true;
        trickle.join();
        netClose(s);
        ASSERT_TRUE(waitUntil([] { return !receiveInProgress; }));
    }
}

TEST_F(Reception, ASenderThatOpensItsFirstFileSlowlyIsNotCut) {
    // A sender writes its header and folder records at once and then opens its first file:
    // the line feeds that end the last folder record come only with the file's record,
    // here after more than a block's 10 s and within the stall limit.
    recordingPortReset(store);
    receiveStallMilliseconds = 30000;
    Socket s = feederConnect(port);
    ASSERT_NE(s, kInvalidSocket);
    ASSERT_TRUE(feederSend(s, transferHeaderBytes(2) + directoryRecordBytes("slow/")));
    std::this_thread::sleep_for(std::chrono::milliseconds(kHeaderBlockMilliseconds + 1000));
    ASSERT_TRUE(feederSend(s, fileRecord("f.txt", "slow\\", "ok")));
    netClose(s);
    ASSERT_TRUE(waitUntil(receptionEnded));
    EXPECT_EQ(lastStatusText(), kComplete);
    EXPECT_TRUE(sameBytes(readWholeFile(at("slow/f.txt")), "ok"));
}

// Who may send, and what fits: each connection from 127.0.0.1 under a choice of the user
// and an answer to the question, what it shows, whether it was asked, what it stored,
// and whether the sender was told in order that everything arrived.
TEST_F(Reception, ThePolicyAndTheFreeSpaceDecideBeforeAnythingIsWritten) {
    const std::string content = "policy";
    const std::string transfer = transferHeaderBytes(6) + directoryRecordBytes("in/") +
                                 fileRecord("f.txt", "in\\", content);
    std::vector<SenderRange> listed;
    parseSenderList("10.0.0.0/8", &listed);
    struct Case {
        const char* what;
        AcceptFrom choice;
        AskAnswer answer;
        std::string stream;
        const char* status;
        bool asked, stored;
    } cases[] = {
        {"asked, yes", AcceptFrom::Ask, AskAnswer::Accepted, transfer, kComplete, true, true},
        {"asked, no", AcceptFrom::Ask, AskAnswer::Declined, transfer, "Declined the files from 127.0.0.1.", true,
         false},
        {"asked, then again", AcceptFrom::Ask, AskAnswer::Accepted, transfer,
         "Refused 127.0.0.1: declined a moment ago.", false, false},
        {"asked, silence", AcceptFrom::Ask, AskAnswer::Unanswered, transfer,
         "No answer: declined the files from 127.0.0.1.", true, false},
        {"a hand-over is never asked about", AcceptFrom::Ask, AskAnswer::Declined,
         addressHandOverBytes("10.0.0.5", false), "Recepient IP received", false, false},
        {"not listed", AcceptFrom::Listed, AskAnswer::Accepted, transfer,
         "Refused 127.0.0.1: not on the list of senders.", false, false},
        {"paused", AcceptFrom::Nobody, AskAnswer::Accepted, transfer, "Receiving is paused: refused 127.0.0.1.", false,
         false},
        {"larger than the free space", AcceptFrom::Everyone, AskAnswer::Accepted,
         transferHeaderBytes(INT64_MAX / 2) + fileRecord("f.txt", "/", content), kNoRoom, false, false},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string caseStore = store + kPathSeparator + std::to_string(++n);
        ASSERT_TRUE(makeDirectory(caseStore));
        recordingPortReset(caseStore);
        recordingPortAnswer(c.answer);
        setReceivePolicy(c.choice, listed);
        const std::string status = c.status;
        if (status.find("a moment ago") == std::string::npos) forgetDeclined();
        Socket s = feederConnect(port);
        ASSERT_NE(s, kInvalidSocket);
        feederSend(s, c.stream);
        netShutdownSend(s);
        EXPECT_TRUE(waitUntil([&] { return !receiveInProgress && lastStatusText() == c.status; })) << lastStatusText();
        // An orderly close tells the sender that everything arrived; a refusal resets.
        // (Wine may report a reset after our shutdown as a close: the system's own state
        // of the connection tells, as the sender asks it.)
        char byte;
        SentFate fate = netRecv(s, &byte, 1) == 0 ? netSentFate(s) : kSentRefused;
        for (int i = 0; fate == kSentPending && i < 1000; ++i, sleepMilliseconds(2)) fate = netSentFate(s);
        EXPECT_EQ(fate == kSentTaken, c.stored || status == "Recepient IP received");
        netClose(s);
        int asked = 0;
        for (const PortCall& call : recordedCalls())
            if (call.what == "ask") {
                ++asked;
                EXPECT_EQ(call.text, "127.0.0.1");
                EXPECT_EQ(call.a, 6);
                EXPECT_EQ(call.b, askMilliseconds.load());
            }
        EXPECT_EQ(asked, c.asked ? 1 : 0);
        EXPECT_EQ(listTree(caseStore), c.stored ? "in/\nin/f.txt\n" : "");
    }
    setReceivePolicy(AcceptFrom::Everyone, {});
    forgetDeclined();
}

// Each reception that offered something leaves one entry: the top-level names as stored
// (never one refused), the files that arrived whole, the content bytes, how it ended and
// the text the user saw. A hand-over, a connection that sent nothing or no record, and a
// refusal that repeats the one before at once leave none.
TEST_F(Reception, EachReceptionLeavesItsEntryInTheHistory) {
    writeWholeFile(at("clash.txt"), "old content");
    const std::string half = pattern(100000, 3);
    const std::string paused = "Receiving is paused: refused 127.0.0.1.";
    const std::string refused = "received transfer refused 127.0.0.1 [] 0 files 0 bytes reason: " + paused;
    struct Case {
        const char* what;
        AcceptFrom choice;
        std::string stream;
        std::string entry;  // "": none, and then the status text once it has ended ("" for none)
        std::string ended = "";
    } cases[] = {
        {"complete", AcceptFrom::Everyone,
         transferHeaderBytes(8) + directoryRecordBytes("Photos/") + directoryRecordBytes("Photos/2010/") +
             fileRecord("a.jpg", "Photos\\2010\\", "1234") + fileRecord("b.txt", "/", "5678") +
             fileRecord("c.txt", "Photos\\", ""),
         "received transfer complete 127.0.0.1 [Photos|b.txt] 3 files 8 bytes"},
        {"a clash replaces the file under its name", AcceptFrom::Everyone,
         transferHeaderBytes(3) + fileRecord("clash.txt", "/", "new"),
         "received transfer complete 127.0.0.1 [clash.txt] 1 files 3 bytes"},
        {"a refused name is not named", AcceptFrom::Everyone,
         transferHeaderBytes(6) + fileRecord("up.txt", "..\\", "evil") + fileRecord("ok.txt", "/", "ok"),
         "received transfer incomplete 127.0.0.1 [ok.txt] 1 files 2 bytes reason: " + std::string(kIncomplete)},
        {"cut in the middle of a file", AcceptFrom::Everyone,
         transferHeaderBytes(100000) + fileRecordBytes(100000, "half.bin", "/") + half.substr(0, 40000),
         "received transfer incomplete 127.0.0.1 [half.bin] 0 files 40000 bytes reason: " + std::string(kIncomplete)},
        {"paused", AcceptFrom::Nobody, transferHeaderBytes(1) + fileRecord("f.txt", "/", "f"), refused},
        {"paused, the same sender again at once", AcceptFrom::Nobody,
         transferHeaderBytes(1) + fileRecord("f.txt", "/", "f"), "", paused},
        {"an address hand-over", AcceptFrom::Everyone, addressHandOverBytes("10.0.0.5", false), "",
         "Recepient IP received"},
        // A header alone offers nothing, so nobody was asked: no "complete" entry of a stranger's.
        {"a header and no record", AcceptFrom::Ask, transferHeaderBytes(0), "", kComplete},
        {"nothing sent", AcceptFrom::Everyone, "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(useTestHistory());
        recordingPortReset(store);
        setReceivePolicy(c.choice, {});
        Socket s = feederConnect(port);
        ASSERT_NE(s, kInvalidSocket);
        feederSend(s, c.stream);
        netClose(s);
        if (c.entry.empty()) {  // the next reception's entry is then the only one
            const std::string& ended = c.ended;
            ASSERT_TRUE(waitUntil([&ended] { return ended.empty() || (sawStatus(ended) && !receiveInProgress); }));
            setReceivePolicy(AcceptFrom::Everyone, {});
            ASSERT_TRUE(feedStream(port, transferHeaderBytes(1) + fileRecord("marker", "/", "m")));
        }
        const HistoryEntry entry = newestEntry();
        EXPECT_EQ(writtenHistory().size(), 1u);
        EXPECT_EQ(entryLine(entry),
                  c.entry.empty() ? "received transfer complete 127.0.0.1 [marker] 1 files 1 bytes" : c.entry);
        EXPECT_EQ(entry.address, "127.0.0.1");
        EXPECT_EQ(entry.folder, c.entry == refused ? "" : store);
    }
    EXPECT_EQ(readWholeFile(at("clash.txt")), "new");
    setReceivePolicy(AcceptFrom::Everyone, {});
}

TEST_F(Reception, HostileNamesAreRefusedAndSkippedInStep) {
    const std::string inside = pattern(5000, 5);
    // Each refused record carries content that would smuggle a file in if it were taken
    // for header blocks.
    std::string records;
    auto add = [&](const std::string& name, const std::string& folder) {
        records += fileRecord(name, folder, "EVIL-DATA\n\nType:file\nSize:1\nName:smuggled\nDirectory:/\n\nX");
    };
    for (const char* folder :
         {"../", "..\\", "a/../../", "/tmp/", "\\\\server\\share\\", "\\\\?\\C:\\", "C:\\", "C:", "..", " /", "./"})
        add("f.txt", folder);
    for (const char* name :
         {"..", ".", "../up.txt", "..\\up.txt", "a/b", "c:\\x.txt", "x.txt:stream", "a\x01", "", "   "})
        add(name, "/");
    if (localWindowsRules())
        for (const char* name : {"CON", "nul.txt", "Com1.log", "lpt9", "AUX .txt"}) add(name, "/");
    add(std::string(300, 'n'), "/");  // the joined path would pass the local limit
    records += directoryRecordBytes("../escaped/") + directoryRecordBytes("/../abs/") +
               directoryRecordBytes(std::string(280, 'd') + "/");
    records += fileRecord("good.bin", "/", inside);
    std::string stream = transferHeaderBytes(static_cast<int64_t>(inside.size())) + records;
    receive(stream);

    EXPECT_EQ(lastStatusText(), kIncomplete);
    EXPECT_EQ(listTree(scratch), "store/\nstore/good.bin\n");  // nothing else, inside or out
    EXPECT_TRUE(sameBytes(readWholeFile(at("good.bin")), inside));
}

TEST_F(Reception, UnopenableTargetHasItsContentSkipped) {
    ASSERT_TRUE(makeDirectory(at("taken")));
    std::string payload = "\n\nType:file\nSize:3\nName:smuggled\nDirectory:/\n\nabc";
    std::string after = pattern(70000, 6);
    // The file record's folder was never created: the target cannot be opened either.
    receive(transferHeaderBytes(static_cast<int64_t>(2 * payload.size() + after.size())) +
            fileRecord("taken", "/", payload) + fileRecord("x", "missing\\", payload) +
            fileRecord("after.bin", "/", after) + fileRecordBytes(0, "zero", "missing\\"));
    EXPECT_EQ(lastStatusText(), kIncomplete);
    EXPECT_FALSE(pathExists(at("smuggled")));
    EXPECT_TRUE(sameBytes(readWholeFile(at("after.bin")), after));
    EXPECT_EQ(listTree(store), "after.bin\ntaken/\n");
}

TEST_F(Reception, HugeNumbersSaturate) {
    receive("Version:3.0\nTotal:10" + fileRecordBytes(INT64_MAX, "huge", "/") + "0123456789");
    EXPECT_EQ(lastStatusText(), kIncomplete);
    EXPECT_EQ(readWholeFile(at("huge")), "0123456789");

    // A Total beyond any number fits no disk: nothing is written.
    recordingPortReset(store);
    receive("Version:3.0\nTotal:99999999999999999999999" + fileRecordBytes(10, "huge2", "/") + "0123456789");
    EXPECT_EQ(lastStatusText(), kNoRoom);
    EXPECT_FALSE(pathExists(at("huge2")));

    recordingPortReset(store);
    receive("Version:3.0\nTotal:-99999999999999999999999" +
            std::string("\n\nType:file\nSize:-99999999999999999999\nName:neg\nDirectory:/\n\n"));
    EXPECT_EQ(lastStatusText(), kIncomplete);
    EXPECT_EQ(readWholeFile(at("neg")), "");
}

TEST_F(Reception, SilentPeerEndsIncomplete) {
    receiveStallMilliseconds = 300;
    Socket s = feederConnect(port);
    ASSERT_NE(s, kInvalidSocket);
    ASSERT_TRUE(feederSend(s, transferHeaderBytes(10) + fileRecordBytes(10, "slow.txt", "/") + "abcd"));
    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(waitUntil(receptionEnded, 5000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(lastStatusText(), kIncomplete);
    EXPECT_EQ(readWholeFile(at("slow.txt")), "abcd");
    EXPECT_TRUE(feederSeesClose(s, 2000));
    netClose(s);

    // Everything announced arrived, but the peer never closes: still not a clean end.
    recordingPortReset(store);
    s = feederConnect(port);
    ASSERT_TRUE(feederSend(s, transferHeaderBytes(0)));
    ASSERT_TRUE(waitUntil(receptionEnded, 5000));
    EXPECT_EQ(lastStatusText(), kIncomplete);
    netClose(s);
}

TEST_F(Reception, StopDuringAReception) {
    Socket s = feederConnect(port);
    ASSERT_NE(s, kInvalidSocket);
    ASSERT_TRUE(feederSend(s, transferHeaderBytes(10000000) + fileRecordBytes(10000000, "stopped.bin", "/") +
                                  pattern(3000000, 7)));
    ASSERT_TRUE(waitUntil([] { return receiveSocket != kInvalidSocket && sawStatus("Receiving"); }));
    ASSERT_TRUE(waitUntil([] {
        for (const PortCall& c : recordedCalls())
            if (c.what == "progress" && c.a > 0) return true;
        return false;
    }));
    stopTransfers();
    ASSERT_TRUE(waitUntil([] { return !receiveInProgress; }));
    std::vector<PortCall> calls = recordedCalls();
    // The receiver may end before or after Stop has written its texts; either way the
    // buttons come back and the window shows Stop's texts last.
    EXPECT_EQ(lastStatusText(), "Canceled.");
    int bar = -1;
    bool idle = false;
    for (const PortCall& c : calls) {
        if (c.what == "progress") bar = c.a;
        idle = c.what == "idle" || (idle && c.what != "transferring");
    }
    EXPECT_EQ(bar, 0);
    EXPECT_TRUE(idle);
    EXPECT_TRUE(feederSeesClose(s, 2000));
    netClose(s);
    EXPECT_EQ(receiveSocket, kInvalidSocket);
    const HistoryEntry entry = newestEntry();
    EXPECT_EQ(entryLine(entry, false),
              "received transfer canceled 127.0.0.1 [stopped.bin] 0 files ? bytes reason: Canceled.");
    EXPECT_GT(entry.bytes, 0);
}

TEST_F(Reception, NoStorePathShowsItsBoxOnly) {
    recordingPortReset("");
    ASSERT_TRUE(feedStream(port, transferHeaderBytes(0)));
    ASSERT_TRUE(waitUntil([] { return !recordedErrors().empty(); }));
    EXPECT_EQ(recordedErrors()[0], "You have to set store path first.");
    EXPECT_FALSE(receiveInProgress);
    EXPECT_TRUE(recordedStatusTexts().empty());
}

// Every connection here would raise an error box (no store path, or a wrong version),
// and the first box stays open: the others are closed without one, and once the box is
// dismissed no thread is left behind.
TEST_F(Reception, OneErrorBoxAtATime) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "You have to set store path first."}, {store, "Sender using old version of program. It must be updated."}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.second);  // on Windows its first use starts a thread of the test framework
        const int idle = processThreadCount();
        ASSERT_GT(idle, 0);
        recordingPortReset(c.first);
        recordingPortHold("error");
        ASSERT_TRUE(feedStream(port, "x\n\n"));
        ASSERT_TRUE(waitUntil([] { return recordingPortHeld() == 1; }));
        for (int i = 1; i < 50; ++i) {
            Socket s = feederConnect(port);
            ASSERT_NE(s, kInvalidSocket);
            feederSend(s, "x\n\n");  // a whole header block without a version
            EXPECT_TRUE(feederSeesClose(s, 5000));
            netClose(s);
        }
        EXPECT_EQ(recordedErrors(), std::vector<std::string>{c.second});
        recordingPortRelease();
        EXPECT_TRUE(waitUntil([idle] { return processThreadCount() == idle; }))
            << processThreadCount() << " threads, " << idle << " when idle";
    }
    EXPECT_EQ(listTree(store), "");
}

// A connection that arrives while the running reception is ending (its sender has closed;
// here it is held at its result text) waits for it, and is then received. One that would
// have to wait longer than the short limit is turned away.
TEST_F(Reception, AConnectionWaitsForAnEndingReception) {
    recordingPortHold("status", kComplete);
    ASSERT_TRUE(feedStream(port, transferHeaderBytes(3) + fileRecord("first.txt", "/", "abc")));
    ASSERT_TRUE(waitUntil([] { return recordingPortHeld() == 1; }));

    Socket late = feederConnect(port);
    ASSERT_NE(late, kInvalidSocket);
    feederSend(late, transferHeaderBytes(3) + fileRecord("late.txt", "/", "abc"));
    EXPECT_TRUE(feederSeesClose(late, 10000));
    netClose(late);
    EXPECT_TRUE(receiveInProgress);  // still held: the late one did not wait for its end

    Socket next = feederConnect(port);
    ASSERT_NE(next, kInvalidSocket);
    ASSERT_TRUE(feederSend(next, transferHeaderBytes(3) + fileRecord("next.txt", "/", "def")));
    EXPECT_FALSE(feederSeesClose(next, 300));  // waiting, well within the limit
    recordingPortRelease();
    netClose(next);
    ASSERT_TRUE(waitUntil([] {
        std::vector<std::string> texts = recordedStatusTexts();
        return !receiveInProgress && std::count(texts.begin(), texts.end(), kComplete) == 2;
    }));
    EXPECT_EQ(readWholeFile(at("next.txt")), "def");
    EXPECT_EQ(listTree(store), "first.txt\nnext.txt\n");
}

// Stop turns away the connections that were waiting for the ending reception: none of
// them is received afterwards, and none clears the cancel flag that Stop set.
TEST_F(Reception, StopTurnsAwayTheConnectionsWaitingForAnEndingReception) {
    recordingPortHold("status", kComplete);
    ASSERT_TRUE(feedStream(port, transferHeaderBytes(3) + fileRecord("first.txt", "/", "abc")));
    ASSERT_TRUE(waitUntil([] { return recordingPortHeld() == 1; }));
    Socket next = feederConnect(port);
    ASSERT_NE(next, kInvalidSocket);
    ASSERT_TRUE(feederSend(next, transferHeaderBytes(3) + fileRecord("next.txt", "/", "def")));
    EXPECT_FALSE(feederSeesClose(next, 300));  // waiting for the first one's end
    stopTransfers();
    recordingPortRelease();
    EXPECT_TRUE(feederSeesClose(next, 5000));
    netClose(next);
    ASSERT_TRUE(waitUntil([] { return !receiveInProgress; }));
    sleepMilliseconds(100);  // a late admission would have started by now
    EXPECT_FALSE(pathExists(at("next.txt")));
    EXPECT_TRUE(cancelRequested);
    EXPECT_EQ(lastStatusText(), "Canceled.");
    cancelRequested = false;
}

// A connection that sends nothing does not hold the admission: a sender writes its header
// at once, so a silent one is closed after a short limit, and real senders meanwhile are
// received.
TEST_F(Reception, ASilentConnectionDoesNotShutSendersOut) {
    receiveStallMilliseconds = 2000;
    Socket silent = feederConnect(port);
    ASSERT_NE(silent, kInvalidSocket);
    sleepMilliseconds(100);  // accepted, and waiting for its first byte
    receive(transferHeaderBytes(3) + fileRecord("real.txt", "/", "abc"));
    EXPECT_EQ(lastStatusText(), kComplete);
    EXPECT_EQ(readWholeFile(at("real.txt")), "abc");
    EXPECT_TRUE(feederSeesClose(silent, 5000));
    netClose(silent);
}

// Connections that send nothing wait for their first bytes in one loop, not on a thread
// each: a thousand of them keep the thread count where it was, and a sender that comes
// meanwhile is received.
TEST_F(Reception, SilentConnectionsCostNoThreads) {
#ifndef _WIN32
    rlimit files{};  // a thousand connections, both ends in this process
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = std::max<rlim_t>(files.rlim_cur, std::min<rlim_t>(files.rlim_max, 4096));
    setrlimit(RLIMIT_NOFILE, &files);
#endif
    const int idle = processThreadCount();
    ASSERT_GT(idle, 0);
    int most = idle;
    std::vector<Socket> silent;
    for (int i = 0; i < 1000; ++i) {
        silent.push_back(feederConnect(port));
        ASSERT_NE(silent.back(), kInvalidSocket) << i;
        if (i % 50 == 0) most = std::max(most, processThreadCount());
    }
    receive(transferHeaderBytes(3) + fileRecord("real.txt", "/", "abc"));
    most = std::max(most, processThreadCount());
    EXPECT_EQ(lastStatusText(), kComplete);
    EXPECT_EQ(readWholeFile(at("real.txt")), "abc");
    EXPECT_LE(most, idle + 1) << "threads while idle: " << idle;  // the reception's own
    for (Socket s : silent) netClose(s);
}

// A Stop that comes while a reception reads the store path (the window's thread, busy with
// that very Stop, holds the read) is not lost: the reception never starts, and the file it
// would have replaced stays as it was, with nothing beside it.
TEST_F(Reception, AStopWhileTheStorePathIsReadIsNotLost) {
    writeWholeFile(at("kept.bin"), "old");
    const std::string content = pattern(300000, 8);
    recordingPortHold("store");
    Socket s = feederConnect(port);
    ASSERT_NE(s, kInvalidSocket);
    ASSERT_TRUE(feederSend(s, transferHeaderBytes(300000) + fileRecord("kept.bin", "/", content)));
    ASSERT_TRUE(waitUntil([] { return recordingPortHeld() == 1; }));
    stopTransfers();
    recordingPortRelease();
    EXPECT_TRUE(feederSeesClose(s, 5000));
    netClose(s);
    ASSERT_TRUE(waitUntil([] { return !receiveInProgress; }));
    EXPECT_EQ(recordedStatusTexts(), std::vector<std::string>{"Canceled."});
    EXPECT_EQ(listTree(store), "kept.bin\n");
    EXPECT_TRUE(sameBytes(readWholeFile(at("kept.bin")), "old"));
    cancelRequested = false;
}

// A refused connection is read no further than its first record, into memory: a refused
// transfer says why on the status line, an address hand-over (discovery sends them
// unasked) is refused without a word; neither stores anything or takes the recipient.
TEST_F(Reception, ARefusedHandOverIsRefusedQuietly) {
    const std::string transfer = transferHeaderBytes(3) + fileRecord("f.txt", "/", "abc");
    const std::string handOver = addressHandOverBytes("10.0.0.5", true);
    std::vector<SenderRange> listed;
    parseSenderList("10.0.0.0/8", &listed);
    const struct Case {
        AcceptFrom choice;
        std::string stream;
        std::vector<std::string> status;
    } cases[] = {
        {AcceptFrom::Nobody, handOver, {}},
        {AcceptFrom::Listed, handOver, {}},
        {AcceptFrom::Nobody, transfer, {"Receiving is paused: refused 127.0.0.1."}},
        {AcceptFrom::Listed, transfer, {"Refused 127.0.0.1: not on the list of senders."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stream.substr(0, 20));
        recordingPortReset(store, "", "192.168.1.1");
        setReceivePolicy(c.choice, listed);
        Socket s = feederConnect(port);
        ASSERT_NE(s, kInvalidSocket);
        feederSend(s, c.stream);
        EXPECT_TRUE(feederSeesClose(s, 5000));
        netClose(s);
        if (c.status.empty()) sleepMilliseconds(100);  // a late text would be there by now
        else waitUntil([&] { return recordedStatusTexts() == c.status; });
        EXPECT_EQ(recordedStatusTexts(), c.status);
        EXPECT_EQ(recordedRecipient(), "192.168.1.1");
        EXPECT_EQ(listTree(store), "");
    }
    setReceivePolicy(AcceptFrom::Everyone, {});
}

#ifndef _WIN32
TEST_F(Reception, LinksInsideTheStorePathAreNotFollowed) {
    std::string outside = scratch + "/outside";
    ASSERT_TRUE(makeDirectory(outside));
    writeWholeFile(outside + "/victim", "keep");
    ASSERT_EQ(symlink(outside.c_str(), at("door").c_str()), 0);
    ASSERT_EQ(symlink((outside + "/victim").c_str(), at("victim").c_str()), 0);
    receive(transferHeaderBytes(4) + directoryRecordBytes("door/sub/") + fileRecord("x", "door/", "AB") +
            fileRecord("victim", "/", "CD"));
    EXPECT_EQ(lastStatusText(), kIncomplete);
    EXPECT_EQ(listTree(outside), "victim\n");
    EXPECT_EQ(readWholeFile(outside + "/victim"), "keep");
}
#endif

TEST(Listener, ReportsItsStateAndABusyPort) {
    netStartup();
    recordingPortReset("");
    Socket first = startListening(0);
    ASSERT_NE(first, kInvalidSocket);
    EXPECT_EQ(recordedStatusTexts(), (std::vector<std::string>{"Server starting", "Server running"}));

    recordingPortReset("");
    int error = 0;
    EXPECT_EQ(startListening(netLocalPort(first), &error), kInvalidSocket);
    EXPECT_NE(error, 0);
    ASSERT_EQ(recordedErrors().size(), 1u);
    EXPECT_EQ(recordedErrors()[0], "Bind error " + std::to_string(error) + "\n");
    EXPECT_EQ(recordedStatusTexts(), (std::vector<std::string>{"Server starting", "Cannot start server"}));

    // Closing the listening socket ends the accept loop.
    std::thread accepting([first] { EXPECT_EQ(acceptConnections(first), 0); });
    sleepMilliseconds(50);
    stopListening(first);
    accepting.join();
}
