#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/central_state.h"
#include "history/history.h"
#include "platform/net.h"
#include "recording_port.h"
#include "scratch_folder.h"
#include "selection/selection_list.h"
#include "transfer/manifest.h"
#include "transfer/partial_files.h"
#include "private/private_channel.h"
#include "send/send_many.h"
#include "send/sender.h"
#include "transfer/stop.h"

namespace {
// One loopback receiver at 127.0.0.N: keeps every byte and closes in order (it took the
// transfer), resets at once (it turned the sender away), or reads nothing until released.
struct FarEnd {
    enum Ending { kTakes, kTurnsAway, kStalls };
    Ending ending = kTakes;
    Socket listener = kInvalidSocket;
    std::string bytes;
    std::atomic<bool> released{false};
    std::thread thread;

    bool listen(uint32_t address, uint16_t* port) {
        listener = netTcpSocket();
        if (netBind(listener, address, *port) != 0 || netListen(listener, 4) != 0) return false;
        *port = netLocalPort(listener);
        thread = std::thread([this] {
            const Socket in = netAccept(listener);
            if (ending == kTurnsAway) return netCloseAbortive(in);
            while (ending == kStalls && !released) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            char chunk[65536];
            int n;
            while ((n = netRecv(in, chunk, sizeof chunk)) > 0) bytes.append(chunk, static_cast<size_t>(n));
            netClose(in);
        });
        return true;
    }
    void finish() {
        released = true;
        thread.join();
        netClose(listener);
    }
};

uint32_t loopback(int n) { return 0x7f000000u + static_cast<uint32_t>(n); }

std::atomic<int> shutDown{0};
void countedShutdown(Socket s) {
    ++shutDown;
    netShutdown(s);
}

class SendMany : public ::testing::Test {
  protected:
    std::string source, historyFolder;
    void SetUp() override {
        netStartup();
        source = makeScratchFolder("many");
        historyFolder = makeScratchFolder("many-history");
        ASSERT_FALSE(source.empty());
        ASSERT_TRUE(startHistory(historyFolder + "/history.db", kHistoryDefaultLimit));
        recordingPortReset(source);
        clearHistory();
        clearSelection();
        privatePort = 0;
        sendCancelRequested = false;
    }
    void TearDown() override {
        recordingPortReset();
        flushHistory();
        removeScratchFolder(source);
        removeScratchFolder(historyFolder);
        sendCancelRequested = false;
    }
    // The entries handed over so far, once written.
    static std::vector<HistoryEntry> written() {
        flushHistory();
        return readHistory();
    }
    // Selects a folder of two files (the second one bytes long) and analyses it once.
    void select(size_t bytes) {
        writeWholeFile(source + "/a.txt", "first");
        writeWholeFile(source + "/b.bin", std::string(bytes, 'x'));
        prepareSend();
        addSelectionPathByKind(source);
        analyzeSelection(nullptr, nullptr);
    }
};

// One column per recipient: how its far end ends (or no far end: nothing listens there).
struct Recipient {
    bool listens;
    FarEnd::Ending ending;
    SendResult expected;
    HistoryOutcome recorded;
};

TEST_F(SendMany, EachRecipientEndsOnItsOwnAndIsRecordedApart) {
    const struct {
        const char* name;
        std::vector<Recipient> recipients;
    } cases[] = {
        {"all take it",
         {{true, FarEnd::kTakes, SendResult::Complete, HistoryOutcome::Complete},
          {true, FarEnd::kTakes, SendResult::Complete, HistoryOutcome::Complete},
          {true, FarEnd::kTakes, SendResult::Complete, HistoryOutcome::Complete}}},
        {"one turns it away",
         {{true, FarEnd::kTakes, SendResult::Complete, HistoryOutcome::Complete},
          {true, FarEnd::kTurnsAway, SendResult::NotTaken, HistoryOutcome::Refused},
          {true, FarEnd::kTakes, SendResult::Complete, HistoryOutcome::Complete}}},
        {"one is not there",
         {{false, FarEnd::kTakes, SendResult::ConnectError, HistoryOutcome::Incomplete},
          {true, FarEnd::kTakes, SendResult::Complete, HistoryOutcome::Complete}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        select(3 << 20);
        clearHistory();
        std::vector<std::unique_ptr<FarEnd>> ends;
        std::vector<std::string> recipients;
        uint16_t port = 0;
        for (size_t i = 0; i < c.recipients.size(); ++i) {
            recipients.push_back(netDotted(loopback(static_cast<int>(i) + 2)));
            if (!c.recipients[i].listens) continue;
            ends.push_back(std::make_unique<FarEnd>());
            ends.back()->ending = c.recipients[i].ending;
            ASSERT_TRUE(ends.back()->listen(loopback(static_cast<int>(i) + 2), &port));
        }
        noteLastSend(TransferTally{1, 1, 0, 0, true}, true);  // a cut private send before
        const std::vector<RecipientOutcome> outcomes = runSendToMany(recipients, port, 10000);
        for (auto& end : ends) end->finish();
        // Its tally and its resume are not this send's.
        EXPECT_FALSE(lastSendResumable());
        EXPECT_FALSE(lastSendTally().known);
        ASSERT_EQ(outcomes.size(), c.recipients.size());
        const std::vector<HistoryEntry> history = written();
        ASSERT_EQ(history.size(), c.recipients.size());
        for (size_t i = 0; i < outcomes.size(); ++i) {
            EXPECT_EQ(outcomes[i].result, c.recipients[i].expected) << recipients[i];
            EXPECT_EQ(outcomes[i].reason.empty(), c.recipients[i].expected == SendResult::Complete)
                << outcomes[i].reason;
            bool found = false;
            for (const HistoryEntry& e : history) {
                if (e.peer != recipients[i]) continue;
                found = true;
                EXPECT_EQ(e.direction, HistoryDirection::Sent);
                EXPECT_EQ(e.outcome, c.recipients[i].recorded) << recipients[i];
                EXPECT_EQ(e.reason, outcomes[i].reason);
                EXPECT_EQ(e.names, std::vector<std::string>{source.substr(source.find_last_of("/\\") + 1)});
                EXPECT_EQ(e.files, 2);
                if (e.outcome == HistoryOutcome::Complete) {
                    EXPECT_EQ(e.bytes, (3 << 20) + 5);
                }
            }
            EXPECT_TRUE(found) << recipients[i];
        }
        // Every recipient that took it got the same stream, byte for byte.
        for (size_t i = 1; i < ends.size(); ++i) {
            if (ends[i]->ending == FarEnd::kTakes && ends[0]->ending == FarEnd::kTakes) {
                EXPECT_EQ(ends[i]->bytes, ends[0]->bytes);
            }
        }
        EXPECT_EQ(countTaken(outcomes) == static_cast<int>(outcomes.size()), notTakenText(outcomes).empty());
    }
}

TEST_F(SendMany, ASingleSendIsRecordedToo) {
    const struct {
        bool listens;
        FarEnd::Ending ending;
        SendResult expected;
        HistoryOutcome recorded;
        const char* reason;  // its start
        int64_t bytes;
    } cases[] = {
        {true, FarEnd::kTakes, SendResult::Complete, HistoryOutcome::Complete, "", 1005},
        {true, FarEnd::kTurnsAway, SendResult::NotTaken, HistoryOutcome::Refused, "Some files may not sent.", -1},
        // Nothing went out: the bytes of the send before are not this one's.
        {false, FarEnd::kTakes, SendResult::ConnectError, HistoryOutcome::Incomplete, "Connect error ", 0},
    };
    for (const auto& c : cases) {
        select(1000);
        clearHistory();
        FarEnd end;
        end.ending = c.ending;
        uint16_t port = 0;
        ASSERT_TRUE(end.listen(loopback(2), &port));
        if (!c.listens) {  // it takes one empty connection, and its port is closed then
            const Socket poke = netTcpSocket();
            netConnect(poke, loopback(2), port);
            netClose(poke);
            end.finish();
        }
        EXPECT_EQ(runSend("127.0.0.2", port, 10000), c.expected);
        if (c.listens) end.finish();
        const std::vector<HistoryEntry> history = written();
        ASSERT_EQ(history.size(), 1u);
        EXPECT_EQ(history[0].direction, HistoryDirection::Sent);
        EXPECT_EQ(history[0].door, HistoryDoor::Transfer);
        EXPECT_EQ(history[0].peer, "127.0.0.2");
        EXPECT_EQ(history[0].outcome, c.recorded);
        EXPECT_EQ(history[0].reason.rfind(c.reason, 0), 0u) << history[0].reason;
        EXPECT_EQ(history[0].reason.empty(), !*c.reason);
        if (c.bytes >= 0) {
            EXPECT_EQ(history[0].bytes, c.bytes);
        }
        EXPECT_EQ(history[0].files, 2);
    }
}

TEST_F(SendMany, StopEndsEverySend) {
    shutDown = 0;
    select(64 << 20);  // far more than the sockets hold: every send waits on its stalled receiver
    std::vector<std::unique_ptr<FarEnd>> ends;
    uint16_t port = 0;
    for (int i = 0; i < 2; ++i) {
        ends.push_back(std::make_unique<FarEnd>());
        ends.back()->ending = FarEnd::kStalls;
        ASSERT_TRUE(ends.back()->listen(loopback(i + 2), &port));
    }
    std::thread stopper([] {
        // Once both are sending, and still are a moment later (stalled).
        for (int i = 0; i < 1000; ++i) {
            const std::vector<RecipientProgress> now = recipientProgress();
            if (now.size() == 2 && now[0].state == RecipientState::Sending && now[1].state == RecipientState::Sending)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        stopTransfers(countedShutdown);
    });
    const std::vector<RecipientOutcome> outcomes = runSendToMany({netDotted(loopback(2)), netDotted(loopback(3))}, port,
                                                                 30000);
    stopper.join();
    for (auto& end : ends) end->finish();
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_EQ(shutDown, 2);  // each recipient's connection, not only the single send's
    for (const RecipientOutcome& o : outcomes) EXPECT_EQ(o.result, SendResult::Cancelled) << o.recipient;
    for (const RecipientProgress& p : recipientProgress()) EXPECT_LT(p.sent, p.total) << p.recipient;
    ASSERT_EQ(written().size(), 2u);
    for (const HistoryEntry& e : written()) EXPECT_EQ(e.outcome, HistoryOutcome::Canceled) << e.peer;
}

TEST_F(SendMany, ASecondNameOfOneAddressIsSentOnce) {
    const struct {
        std::vector<std::string> given, kept, notes;
        std::vector<int> listening;  // 127.0.0.N
    } cases[] = {
        {{"127.0.0.2", "127.2", "127.0.0.02"},
         {"127.0.0.2"},
         {"127.2 is 127.0.0.2: sent once", "127.0.0.02 is 127.0.0.2: sent once"},
         {2}},
        {{"127.0.0.2", "127.0.0.3", "127.3"}, {"127.0.0.2", "127.0.0.3"}, {"127.3 is 127.0.0.3: sent once"}, {2, 3}},
        {{"localhost", "127.1"}, {"localhost"}, {"127.1 is localhost (127.0.0.1): sent once"}, {1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.given[0] + "," + c.given[1]);
        select(1000);
        clearHistory();
        std::vector<std::unique_ptr<FarEnd>> ends;
        uint16_t port = 0;
        for (int n : c.listening) {
            ends.push_back(std::make_unique<FarEnd>());
            ASSERT_TRUE(ends.back()->listen(loopback(n), &port));
        }
        // A second stream to one receiver would wait on a connection it never accepts.
        const std::vector<RecipientOutcome> outcomes = runSendToMany(c.given, port, 3000);
        for (auto& end : ends) end->finish();
        std::vector<std::string> sentTo;
        for (const RecipientOutcome& o : outcomes) {
            sentTo.push_back(o.recipient);
            EXPECT_EQ(o.result, SendResult::Complete) << o.recipient << ": " << o.reason;
        }
        EXPECT_EQ(sentTo, c.kept);
        EXPECT_EQ(sentOnceNotes(), c.notes);
        EXPECT_EQ(written().size(), c.kept.size());
    }
}

TEST(RecipientList, SplitsCheckedItems) {
    std::string seventeen = "h0";
    for (int i = 1; i < 17; ++i) seventeen += ",h" + std::to_string(i);
    const struct {
        std::string text;
        std::vector<std::string> items;  // empty: refused
    } cases[] = {
        {"10.0.0.5", {"10.0.0.5"}},
        {" 10.0.0.5 ,host-b,\t10.0.0.7", {"10.0.0.5", "host-b", "10.0.0.7"}},
        {"", {}},
        {"10.0.0.5,,10.0.0.7", {}},
        {"10.0.0.5,", {}},
        {"host-b,HOST-B", {}},
        {seventeen, {}},
        {std::string(254, 'a'), {}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> items;
        std::string why;
        const bool split = splitRecipients(c.text, &items, &why);
        EXPECT_EQ(split, !c.items.empty()) << c.text;
        EXPECT_EQ(why.empty(), split) << c.text;
        if (split) {
            EXPECT_EQ(items, c.items);
        }
    }
}
}  // namespace
