// The history's front: where the database is, and the calls that read it or change its
// settings, each on a connection of its own so that the writing thread is never held.
#include "history/history.h"

#include <ctime>
#include <mutex>

#include "core/utf8_reader.h"
#include "history/history_path.h"
#include "history/history_store.h"
#include "history/history_writer.h"

namespace {
// How long a read or a clear waits for the entries this process handed over before it
// (so that a list shows the transfer that just ended, and a clear takes it too). Short:
// behind a writer that a flood keeps busy, a reader still reads about once a second.
constexpr int kCatchUpMilliseconds = 1000;

std::mutex pathLock;
std::string openedPath;  // the database startHistory opened, "" before

std::string databasePath() {
    std::lock_guard<std::mutex> hold(pathLock);
    return openedPath;
}

void cut(std::string& text, size_t most) {
    if (text.size() > most) text = utf8Prefix(text, most);
}
}  // namespace

HistoryEntry boundedHistoryEntry(HistoryEntry entry) {
    if (entry.time == 0) entry.time = static_cast<int64_t>(std::time(nullptr));
    if (entry.names.size() > kHistoryMostNames) entry.names.resize(kHistoryMostNames);
    for (std::string& name : entry.names) cut(name, kHistoryMostNameBytes);
    cut(entry.peer, kHistoryMostFieldBytes);
    cut(entry.address, kHistoryMostFieldBytes);
    cut(entry.reason, kHistoryMostFieldBytes);
    cut(entry.folder, kHistoryMostFolderBytes);
    cut(entry.text, kHistoryMostTextBytes);
    if (entry.files < 0) entry.files = 0;
    if (entry.bytes < 0) entry.bytes = 0;
    entry.id = 0;
    return entry;
}

bool startHistory(const std::string& path, int limit) {
    const std::string opened = path.empty() ? path : prepareHistoryFile(path);
    if (opened.empty()) return false;
    sqlite3* db = openHistoryDatabase(opened, true);
    if (!db) return false;
    if (limit > 0 && limit != storedHistoryLimit(db)) storeHistoryLimit(db, limit);
    if (!handHistoryConnection(db)) return false;
    std::lock_guard<std::mutex> hold(pathLock);
    openedPath = opened;
    return true;
}

std::vector<HistoryEntry> readHistory(int limit) {
    waitHistoryWritten(kCatchUpMilliseconds);
    sqlite3* db = openHistoryDatabase(databasePath(), false);
    if (!db) return {};
    std::vector<HistoryEntry> entries = loadHistory(db, limit);
    closeHistoryDatabase(db);
    return entries;
}

bool clearHistory() {
    waitHistoryWritten(kCatchUpMilliseconds);
    sqlite3* db = openHistoryDatabase(databasePath(), true);
    const bool cleared = db && eraseHistory(db);
    closeHistoryDatabase(db);
    return cleared;
}

int historyLimit() {
    sqlite3* db = openHistoryDatabase(databasePath(), false);
    const int limit = db ? storedHistoryLimit(db) : kHistoryDefaultLimit;
    closeHistoryDatabase(db);
    return limit;
}

bool setHistoryLimit(int limit) {
    sqlite3* db = openHistoryDatabase(databasePath(), true);
    const bool stored = db && storeHistoryLimit(db, limit);
    closeHistoryDatabase(db);
    return stored;
}
