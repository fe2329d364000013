// The history's database: its tables and the statements on them, each on a connection the
// caller owns. Only src/history/ calls SQLite.
#pragma once
#include <string>
#include <vector>

#include "history/history.h"

struct sqlite3;

// The entry as the store keeps it: at most kHistoryMostNames names, every text cut to its
// bound at a character's start, no negative count, the time of now when it has none.
HistoryEntry boundedHistoryEntry(HistoryEntry entry);

// Opens the database at path (UTF-8). A writing connection makes the file and its tables
// when they are missing and keeps the journal in write-ahead mode; a reading one opens an
// existing file only. Both wait a while for a lock another connection holds. nullptr when
// the file cannot be opened or is no history.
sqlite3* openHistoryDatabase(const std::string& path, bool write);
void closeHistoryDatabase(sqlite3* db);

// Nothing taken: a reception refused (a text's words included) or without content, a
// browser's download that did not take its file whole (a range of a byte, a reset). What a
// stranger can make as often as it likes; kept under a bound of its own and trimmed first.
bool isHistoryNoise(const HistoryEntry& entry);
// The most bytes of texts' words kept in all; older texts lose theirs first.
constexpr size_t kHistoryMostTextTotal = 4 * 1024 * 1024;

// Writes one entry and removes the oldest beyond the stored limit, in one transaction.
// Returns SQLite's result code (SQLITE_OK, SQLITE_FULL, ...).
int storeHistoryEntry(sqlite3* db, const HistoryEntry& entry);
// The newest entries first, at most limit of them (0: all).
std::vector<HistoryEntry> loadHistory(sqlite3* db, int limit);
bool eraseHistory(sqlite3* db);
// The limit stored in the database (kHistoryDefaultLimit when none is).
int storedHistoryLimit(sqlite3* db);
// Stores the limit and removes the oldest entries beyond it, in one transaction.
bool storeHistoryLimit(sqlite3* db, int limit);
