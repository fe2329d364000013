#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <atomic>
#include <string>
#include <vector>

#include "history/history.h"
#include "history/history_text.h"
#include "platform/threads.h"
#include "transfer/reception_history.h"
#include "scratch_folder.h"
#include "scratch_history.h"

namespace {
HistoryEntry named(const std::string& name) {
    HistoryEntry entry;
    entry.time = 1700000000;
    entry.names = {name};
    entry.files = 1;
    entry.bytes = 1;  // content came: a real transfer, not noise
    return entry;
}

std::vector<std::string> firstNames(const std::vector<HistoryEntry>& entries) {
    std::vector<std::string> names;
    names.reserve(entries.size());
    for (const HistoryEntry& entry : entries) names.push_back(entry.names.empty() ? "" : entry.names[0]);
    return names;
}

// Each test keeps a database of its own; the writing thread is the process's one.
class History : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = makeScratchFolder("history");
        path = folder + "/history.db";
        ASSERT_TRUE(startHistory(path, kHistoryDefaultLimit));
    }
    void TearDown() override {
        flushHistory();
        startHistory(scratchHistoryPath());
        removeScratchFolder(folder);
    }
    void record(const std::vector<std::string>& names) {
        for (const std::string& name : names) recordHistory(named(name));
        flushHistory();
    }
    std::string folder, path;
};
}  // namespace

TEST_F(History, KeepsEveryFieldNewestFirstAcrossARestart) {
    HistoryEntry sent;
    sent.time = 1765432100;
    sent.direction = HistoryDirection::Sent;
    sent.door = HistoryDoor::Private;
    sent.peer = "Laptop";
    sent.address = "192.168.1.20";
    sent.names = {"photos", "notes.txt"};
    sent.files = 12;
    sent.bytes = 5000000000;
    sent.outcome = HistoryOutcome::Refused;
    sent.reason = "no room";
    sent.tries = 3;
    HistoryEntry text = named("");
    text.names.clear();
    text.door = HistoryDoor::Text;
    text.text = std::string("line\nwith a NUL \0 inside", 24);
    text.folder = "/home/u/Incoming";
    recordHistory(named("first"));
    recordHistory(sent);
    recordHistory(text);
    stopHistory();  // the program's clean exit, and its next start
    ASSERT_TRUE(startHistory(path));

    const std::vector<HistoryEntry> read = readHistory();
    ASSERT_EQ(read.size(), 3u);
    EXPECT_GT(read[0].id, read[1].id);
    EXPECT_GT(read[1].id, read[2].id);
    EXPECT_EQ(read[0].text, text.text);
    EXPECT_EQ(read[0].folder, text.folder);
    EXPECT_EQ(read[0].door, HistoryDoor::Text);
    const HistoryEntry& got = read[1];
    EXPECT_EQ(got.time, sent.time);
    EXPECT_EQ(got.direction, sent.direction);
    EXPECT_EQ(got.door, sent.door);
    EXPECT_EQ(got.peer, sent.peer);
    EXPECT_EQ(got.address, sent.address);
    EXPECT_EQ(got.names, sent.names);
    EXPECT_EQ(got.files, sent.files);
    EXPECT_EQ(got.bytes, sent.bytes);
    EXPECT_EQ(got.outcome, sent.outcome);
    EXPECT_EQ(got.reason, sent.reason);
    EXPECT_EQ(got.tries, sent.tries);
    EXPECT_EQ(firstNames(readHistory(1)), std::vector<std::string>{""});
}

// A database of the first version, without tries: its entries read as one try each, and
// the next entry keeps its own.
TEST_F(History, ReadsAndExtendsADatabaseWithoutTries) {
    const std::string old = folder + "/old.db";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(old.c_str(), &db), SQLITE_OK);
    const char* made =
        "CREATE TABLE entries(id INTEGER PRIMARY KEY AUTOINCREMENT, time INTEGER NOT NULL, direction INTEGER NOT NULL,"
        " door INTEGER NOT NULL, peer TEXT NOT NULL, address TEXT NOT NULL, files INTEGER NOT NULL,"
        " bytes INTEGER NOT NULL, folder TEXT NOT NULL, outcome INTEGER NOT NULL, reason TEXT NOT NULL,"
        " text TEXT NOT NULL);"
        "CREATE TABLE names(entry INTEGER NOT NULL, position INTEGER NOT NULL, name TEXT NOT NULL,"
        " PRIMARY KEY(entry, position)) WITHOUT ROWID;"
        "CREATE TABLE settings(name TEXT PRIMARY KEY, value INTEGER NOT NULL);"
        "INSERT INTO entries VALUES(1, 1700000000, 1, 1, 'Laptop', '10.0.0.2', 1, 5, '', 0, '', '');"
        "INSERT INTO names VALUES(1, 0, 'before');"
        "PRAGMA user_version=1;";
    ASSERT_EQ(sqlite3_exec(db, made, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    ASSERT_TRUE(startHistory(old));
    HistoryEntry retried = named("after");
    retried.tries = 4;
    recordHistory(retried);
    flushHistory();
    const std::vector<HistoryEntry> read = readHistory();
    ASSERT_EQ(firstNames(read), (std::vector<std::string>{"after", "before"}));
    EXPECT_EQ(read[0].tries, 4);
    EXPECT_EQ(read[1].tries, 1);
}

TEST_F(History, KeepsTheNewestUpToTheStoredLimit) {
    record({"a", "b", "c", "d"});
    ASSERT_TRUE(setHistoryLimit(2));  // trims at once
    EXPECT_EQ(firstNames(readHistory()), (std::vector<std::string>{"d", "c"}));
    ASSERT_TRUE(startHistory(path));  // the stored limit outlives a restart
    EXPECT_EQ(historyLimit(), 2);
    record({"e"});
    EXPECT_EQ(firstNames(readHistory()), (std::vector<std::string>{"e", "d"}));
    EXPECT_FALSE(setHistoryLimit(0));
    EXPECT_FALSE(setHistoryLimit(kHistoryMostLimit + 1));
    EXPECT_EQ(historyLimit(), 2);

    ASSERT_TRUE(clearHistory());
    EXPECT_TRUE(readHistory().empty());
    recordHistory(named("f"));  // read back at once: a list shows the transfer that just ended
    const std::vector<HistoryEntry> after = readHistory();
    ASSERT_EQ(firstNames(after), std::vector<std::string>{"f"});
    EXPECT_GT(after[0].id, 0);
}

TEST_F(History, BoundsEveryFieldFromAPeer) {
    HistoryEntry hostile = named("");
    hostile.time = 0;  // filled in
    hostile.names.assign(kHistoryMostNames + 5, std::string(3000, 'n'));
    hostile.names[0] = "'); DROP TABLE entries; --";
    hostile.names[1] = std::string(kHistoryMostNameBytes - 1, 'x') + "\xC3\xA9";  // é across the bound
    hostile.peer = std::string(5000, 'p');
    hostile.reason = std::string(5000, 'r');
    hostile.folder = std::string(10000, 'f');
    hostile.text = std::string(kHistoryMostTextBytes + 100, 't');
    hostile.files = -4;
    hostile.bytes = -1;
    recordHistory(hostile);
    flushHistory();
    const std::vector<HistoryEntry> read = readHistory();
    ASSERT_EQ(read.size(), 1u);
    const HistoryEntry& got = read[0];
    ASSERT_EQ(got.names.size(), kHistoryMostNames);
    EXPECT_EQ(got.names[0], hostile.names[0]);
    EXPECT_EQ(got.names[1], std::string(kHistoryMostNameBytes - 1, 'x'));
    EXPECT_EQ(got.names[2].size(), kHistoryMostNameBytes);
    EXPECT_EQ(got.peer.size(), kHistoryMostFieldBytes);
    EXPECT_EQ(got.reason.size(), kHistoryMostFieldBytes);
    EXPECT_EQ(got.folder.size(), kHistoryMostFolderBytes);
    EXPECT_EQ(got.text.size(), kHistoryMostTextBytes);
    EXPECT_EQ(got.files, 0);
    EXPECT_EQ(got.bytes, 0);
    EXPECT_GT(got.time, 1700000000);
}

namespace {
std::atomic<bool> writerHeld{false};
std::atomic<bool> writerReleased{false};
void holdWriter() {
    writerHeld = true;
    while (!writerReleased) sleepMilliseconds(1);
}
}  // namespace

// A writer that cannot keep up costs the transfers nothing: the queue is bounded, and what
// does not fit is dropped and counted, never waited for. A flood of noise fills only its
// own small share, so that the real entries behind it still get in.
TEST_F(History, DropsWhatAFullQueueCannotHold) {
    const size_t kNoiseQueue = 64, kQueue = 1024;
    HistoryEntry noise = named("");
    noise.outcome = HistoryOutcome::Refused;
    noise.files = noise.bytes = 0;
    setHistoryWritten(holdWriter);
    recordHistory(named("held"));
    while (!writerHeld) sleepMilliseconds(1);
    const struct {
        const HistoryEntry entry;
        size_t count;
        int64_t dropped;
    } rounds[] = {{noise, kNoiseQueue + 3, 3}, {named("real"), kQueue - kNoiseQueue + 2, 2}, {noise, 1, 1}};
    for (const auto& round : rounds) {
        const int64_t droppedBefore = droppedHistoryEntries();
        for (size_t i = 0; i < round.count; ++i) recordHistory(round.entry);
        EXPECT_EQ(droppedHistoryEntries() - droppedBefore, round.dropped) << round.count;
    }
    setHistoryWritten(nullptr);
    writerReleased = true;
    flushHistory();
}

// One address that sends without end fills no more than its share of the queue: the
// entries of another behind it still get in.
TEST_F(History, OneAddressHoldsAShareOfTheQueue) {
    const size_t kQueue = 1024, kShare = kQueue / 4;
    writerHeld = writerReleased = false;
    setHistoryWritten(holdWriter);
    recordHistory(named("held"));
    while (!writerHeld) sleepMilliseconds(1);
    HistoryEntry flood = named("flood"), other = named("other");
    flood.address = "10.0.0.66";
    other.address = "10.0.0.7";
    const int64_t droppedBefore = droppedHistoryEntries();
    for (size_t i = 0; i < kQueue; ++i) recordHistory(flood);
    const auto kDropped = static_cast<int64_t>(kQueue - kShare);
    EXPECT_EQ(droppedHistoryEntries() - droppedBefore, kDropped);
    recordHistory(other);
    EXPECT_EQ(droppedHistoryEntries() - droppedBefore, kDropped);
    setHistoryWritten(nullptr);
    writerReleased = true;
    flushHistory();
    EXPECT_EQ(firstNames(readHistory(1)), std::vector<std::string>{"other"});
}

// Nothing a stranger can do without delivering content pushes real transfers out: what
// delivered nothing is kept under a tenth of the limit, oldest trimmed first; refusals that
// repeat make one entry per sender, also when two senders take turns.
TEST_F(History, NoiseNeverEvictsRealEntries) {
    const int kLimit = 50, kMostNoise = kLimit / 10;
    ASSERT_TRUE(setHistoryLimit(kLimit));
    const struct {
        const char* what;
        HistoryDoor door;
        HistoryOutcome outcome;
        int senders;
        bool byReceiver;  // through the receiver's repeat check
        int kept;
        bool words = true;  // a text's refusal keeps its words
    } floods[] = {
        {"refusals from five addresses", HistoryDoor::Transfer, HistoryOutcome::Refused, 5, false, kMostNoise},
        {"empty receptions", HistoryDoor::Transfer, HistoryOutcome::Complete, 1, false, kMostNoise},
        {"empty aborted receptions", HistoryDoor::Transfer, HistoryOutcome::Incomplete, 1, false, kMostNoise},
        {"refusals repeated by two addresses in turn", HistoryDoor::Transfer, HistoryOutcome::Refused, 2, true, 2},
        // A page's texts while it is refused: each keeps its words, yet was taken by nobody.
        {"refused texts", HistoryDoor::Text, HistoryOutcome::Refused, 1, true, kMostNoise},
        // A stranger's texts over the private channel are refused unread: one refusal.
        {"texts refused unread", HistoryDoor::Text, HistoryOutcome::Refused, 1, true, 1, false},
        // A download cut after its first bytes (a range of one byte, a reset): a browser
        // makes one a request, without taking a file.
        {"downloads cut short", HistoryDoor::BrowserDownload, HistoryOutcome::Incomplete, 1, false, kMostNoise}};
    for (const auto& flood : floods) {
        ASSERT_TRUE(clearHistory());
        recordHistory(named("real"));
        for (int i = 0; i < 3 * kLimit; ++i) {
            const uint32_t sender = 0x0A4E000A + static_cast<uint32_t>(i % flood.senders);
            HistoryEntry noise = receivedEntry(flood.door, sender, flood.outcome);
            if (flood.door == HistoryDoor::BrowserDownload) {
                noise.direction = HistoryDirection::Sent;
                noise.bytes = 1;
            }
            if (flood.byReceiver)
                recordRefusal(flood.door, sender, 1, flood.door == HistoryDoor::Text && flood.words ? "hi" : "");
            else recordHistory(noise);
            if (i % 32 == 31) flushHistory();  // each one reaches the store
        }
        flushHistory();
        const std::vector<HistoryEntry> read = readHistory();
        int noiseKept = 0;
        for (const HistoryEntry& entry : read) noiseKept += entry.address.empty() ? 0 : 1;
        EXPECT_EQ(noiseKept, flood.kept) << flood.what;
        EXPECT_EQ(firstNames(read).back(), "real") << flood.what;
    }
}

// Texts are bounded in bytes, not only in count: older ones lose their words (the entry
// stays), and the pages freed go back, so the files stay small.
TEST_F(History, TextsStayUnderAByteBudget) {
    const int kTexts = 300;  // 19 MiB of words
    for (int i = 0; i < kTexts; ++i) {
        HistoryEntry text = named("");
        text.names.clear();
        text.door = HistoryDoor::Text;
        text.text = std::string(kHistoryMostTextBytes, static_cast<char>('a' + i % 26));
        text.bytes = static_cast<int64_t>(text.text.size());
        recordHistory(text);
        if (i % 32 == 31) flushHistory();
    }
    flushHistory();
    const std::vector<HistoryEntry> read = readHistory();
    ASSERT_EQ(read.size(), static_cast<size_t>(kTexts));
    EXPECT_EQ(read.front().text.size(), kHistoryMostTextBytes);
    EXPECT_TRUE(read.back().text.empty());
    // The words kept, a megabyte of free pages at most, and a write-ahead file cut back.
    const off_t kMostFileBytes = 10 * 1024 * 1024;
    for (const char* suffix : {"", "-wal"}) {
        struct stat file {};
        ASSERT_EQ(stat((path + suffix).c_str(), &file), 0) << suffix;
        EXPECT_LT(file.st_size, kMostFileBytes) << suffix;
    }
}

// Another program holding the database longer than the writer waits for a lock delays an
// entry; it is not lost.
TEST_F(History, AnEntryLockedOutIsTriedAgain) {
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    recordHistory(named("late"));
    sleepMilliseconds(3500);  // past the writer's own wait for the lock
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    flushHistory();
    EXPECT_EQ(firstNames(readHistory()), std::vector<std::string>{"late"});
}

// A link planted at the database or its journals is refused, not written through (a link
// on the way to its folder is not); a database or folder of the user's that others may read is made the user's alone.
TEST_F(History, RefusesLinksAndKeepsItsFilesPrivate) {
#ifdef _WIN32
    GTEST_SKIP() << "links and modes are checked on Linux only";
#else
    const std::string target = folder + "/target", other = folder + "/other";
    for (const char* suffix : {"", "-wal", "-shm"}) {
        writeWholeFile(target, "");
        ASSERT_EQ(mkdir(other.c_str(), 0700), 0);
        ASSERT_EQ(symlink(target.c_str(), (other + "/history.db" + suffix).c_str()), 0);
        EXPECT_FALSE(startHistory(other + "/history.db")) << suffix;
        EXPECT_EQ(readWholeFile(target).size(), 0u) << suffix;
        removeScratchFolder(other);
    }
    ASSERT_EQ(mkdir(other.c_str(), 0755), 0);
    writeWholeFile(other + "/history.db", "");
    ASSERT_EQ(chmod((other + "/history.db").c_str(), 0644), 0);
    ASSERT_TRUE(symlink(other.c_str(), (folder + "/via").c_str()) == 0);
    ASSERT_TRUE(startHistory(folder + "/via/history.db"));  // a folder reached through a link is fine
    const struct {
        std::string path;
        mode_t mode;
    } modes[] = {{other, 0700}, {other + "/history.db", 0600}};
    for (const auto& expected : modes) {
        struct stat found {};
        ASSERT_EQ(stat(expected.path.c_str(), &found), 0);
        EXPECT_EQ(found.st_mode & 07777, expected.mode) << expected.path;
    }
#endif
}

void releaseWriterSoon(void*) {
    sleepMilliseconds(100);
    writerReleased = true;
}

// A clear takes the entries handed over before it, also those the writer has not reached.
TEST_F(History, ClearTakesWhatWasHandedOverBefore) {
    writerHeld = false;
    writerReleased = false;
    setHistoryWritten(holdWriter);
    recordHistory(named("written"));
    while (!writerHeld) sleepMilliseconds(1);
    recordHistory(named("waiting"));
    setHistoryWritten(nullptr);
    ASSERT_TRUE(startThread(releaseWriterSoon, nullptr));
    ASSERT_TRUE(clearHistory());
    EXPECT_EQ(firstNames(readHistory()), std::vector<std::string>{});
}

TEST(HistoryText, EscapesWhatATerminalOrAParserWouldTakeForItsOwn) {
    struct Case {
        const char* what;
        std::string text, printable, json;
    };
    const Case cases[] = {
        {"plain", "photos", "photos", "\"photos\""},
        {"Cyrillic kept", "Фото", "Фото", "\"Фото\""},
        {"a terminal escape", "a\x1b[2Jb", "a\\x1b[2Jb", "\"a\\u001b[2Jb\""},
        {"line breaks and tabs", "a\nb\r\tc", "a\\nb\\r\\tc", "\"a\\nb\\r\\tc\""},
        {"quotes and backslashes", "\"C:\\x\"", "\"C:\\\\x\"", "\"\\\"C:\\\\x\\\"\""},
        {"DEL and NUL", std::string("\x7f\0", 2), "\\x7f\\x00", "\"\\u007f\\u0000\""},
        {"a C1 control (CSI)",
         "a\xC2\x9B"
         "2J",
         "a\\u009b2J", "\"a\\u009b2J\""},
        {"a direction override", "txt.\xE2\x80\xAEgpj.exe", "txt.\\u202egpj.exe", "\"txt.\\u202egpj.exe\""},
        {"broken UTF-8", "a\xFF\xC3", "a\\xff\\xc3", "\"a\\ufffd\\ufffd\""},
        {"an overlong slash", "\xC0\xAF", "\\xc0\\xaf", "\"\\ufffd\\ufffd\""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(printableText(c.text), c.printable) << c.what;
        HistoryEntry entry;
        entry.names = {c.text};
        const std::string json = historyJson({entry});
        const std::string key = "\"names\":[";
        const size_t at = json.find(key);
        ASSERT_NE(at, std::string::npos);
        EXPECT_EQ(json.substr(at + key.size(), c.json.size() + 1), c.json + "]") << c.what;
    }
    EXPECT_EQ(historyJson({}), "[\n]\n");
}
