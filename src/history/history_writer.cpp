#include "history/history_writer.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>

#include "history/history.h"
#include "history/history_store.h"
#include "platform/threads.h"

namespace {
// Beyond these entries are dropped rather than held, so that a stuck disk never grows the
// program. Noise (refusals, empty receptions, downloads cut short: what a flood is made
// of, isHistoryNoise) goes first; a real
// entry stands for a whole transfer and is dropped only far later.
constexpr size_t kMostWaitingNoise = 64;
constexpr size_t kMostWaiting = 1024;
// One address's entries beyond this wait no longer, so that an address that sends without
// end leaves the queue's room to the others. An entry with no address is nobody's.
constexpr size_t kMostWaitingOfAddress = kMostWaiting / 4;
constexpr int kFlushMilliseconds = 10000;
// An entry another program's lock keeps out is tried again, waiting longer each time, for
// about a minute in all.
constexpr int kFirstRetryMilliseconds = 100;
constexpr int kLongestRetryMilliseconds = 5000;
constexpr int kRetryMilliseconds = 60000;

// Made once and never destroyed: the writing thread waits on it until the process ends.
struct Writer {
    std::mutex lock;
    std::condition_variable changed;
    std::deque<HistoryEntry> waiting;
    sqlite3* connection = nullptr;
    bool threadRunning = false;
    bool stopping = false;  // the thread is to close the connection and end
    bool inHand = false;    // an entry is being written
    int64_t dropped = 0;
    void (*written)() = nullptr;
};

Writer& writer() {
    static Writer* shared = new Writer;
    return *shared;
}

size_t waitingOf(const std::string& address) {
    if (address.empty()) return 0;
    return static_cast<size_t>(std::count_if(writer().waiting.begin(), writer().waiting.end(),
                                             [&address](const HistoryEntry& e) { return e.address == address; }));
}

bool drained() { return writer().waiting.empty() && !writer().inHand; }

// A failed entry is told once until one is written again (a full disk fails every entry
// until room is made); the transfer that made it has ended as it did regardless.
void writeEntry(sqlite3* db, const HistoryEntry& entry) {
    static bool failing = false;
    int code = storeHistoryEntry(db, entry);
    for (int waited = 0, pause = kFirstRetryMilliseconds;
         (code == SQLITE_BUSY || code == SQLITE_LOCKED) && waited < kRetryMilliseconds;
         waited += pause, pause = std::min(pause * 2, kLongestRetryMilliseconds)) {
        sleepMilliseconds(pause);
        code = storeHistoryEntry(db, entry);
    }
    if (code == SQLITE_OK) {
        failing = false;
    } else if (!failing) {
        failing = true;
        fprintf(stderr, "quorvalinthexa: the history could not keep an entry (%s); the next ones are tried again\n",
                sqlite3_errstr(code));
    }
}

void writerThread(void*) {
    Writer& w = writer();
    std::unique_lock<std::mutex> hold(w.lock);
    for (;;) {
        w.changed.wait(hold, [&w] { return !w.waiting.empty() || w.stopping; });
        if (w.waiting.empty()) break;
        HistoryEntry entry = std::move(w.waiting.front());
        w.waiting.pop_front();
        w.inHand = true;
        sqlite3* db = w.connection;
        void (*written)() = w.written;
        hold.unlock();
        writeEntry(db, entry);
        if (written) written();
        hold.lock();
        w.inHand = false;
        w.changed.notify_all();
    }
    closeHistoryDatabase(w.connection);
    w.connection = nullptr;
    w.threadRunning = false;
    w.changed.notify_all();
}
}  // namespace

bool handHistoryConnection(sqlite3* db) {
    Writer& w = writer();
    std::unique_lock<std::mutex> hold(w.lock);
    // The entries handed over go to the database they were handed over for, and the
    // one in hand is written on the connection it was taken with.
    w.changed.wait_for(hold, std::chrono::milliseconds(kFlushMilliseconds), drained);
    w.changed.wait(hold, [&w] { return !w.inHand; });
    if (!w.threadRunning) w.threadRunning = startThread(writerThread, nullptr);
    if (!w.threadRunning) {
        hold.unlock();
        closeHistoryDatabase(db);
        return false;
    }
    sqlite3* previous = w.connection;
    w.connection = db;
    hold.unlock();
    if (previous) closeHistoryDatabase(previous);
    return true;
}

void recordHistory(HistoryEntry entry) {
    entry = boundedHistoryEntry(std::move(entry));
    Writer& w = writer();
    std::lock_guard<std::mutex> hold(w.lock);
    const size_t most = isHistoryNoise(entry) ? kMostWaitingNoise : kMostWaiting;
    if (!w.connection || w.waiting.size() >= most || waitingOf(entry.address) >= kMostWaitingOfAddress) {
        ++w.dropped;
        return;
    }
    w.waiting.push_back(std::move(entry));
    w.changed.notify_all();
}

void waitHistoryWritten(int milliseconds) {
    Writer& w = writer();
    std::unique_lock<std::mutex> hold(w.lock);
    w.changed.wait_for(hold, std::chrono::milliseconds(milliseconds), drained);
}

void flushHistory() { waitHistoryWritten(kFlushMilliseconds); }

void stopHistory() {
    Writer& w = writer();
    std::unique_lock<std::mutex> hold(w.lock);
    w.changed.wait_for(hold, std::chrono::milliseconds(kFlushMilliseconds), drained);
    w.stopping = true;
    w.changed.notify_all();
    // A writer stuck on a dead disk is left behind with its entry: the process ends anyway.
    w.changed.wait_for(hold, std::chrono::milliseconds(kFlushMilliseconds), [&w] { return !w.threadRunning; });
    w.stopping = w.threadRunning;
}

int64_t droppedHistoryEntries() {
    std::lock_guard<std::mutex> hold(writer().lock);
    return writer().dropped;
}

void setHistoryWritten(void (*written)()) {
    std::lock_guard<std::mutex> hold(writer().lock);
    writer().written = written;
}
