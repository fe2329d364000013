#include "history/history_store.h"

#include <sqlite3.h>

#include <algorithm>
#include <map>
#include <memory>

#include "history/history_shares.h"

namespace {
// How long a connection waits for a lock another one holds (a write is one short
// transaction, so this is seldom waited for at all). A reader gives up sooner: the History
// window reads on its window's thread.
constexpr int kBusyMilliseconds = 3000;
constexpr int kReadBusyMilliseconds = 300;
// The write-ahead file is cut back to this after a checkpoint.
constexpr char kJournalSizeLimit[] = "PRAGMA journal_size_limit=4194304";
// Free pages beyond this many are given back to the file system after a trim.
constexpr int64_t kMostFreePages = 256;
// Entries of nothing taken (refusals, empty receptions, downloads cut short) are kept
// under a bound of their own, so that a stranger cannot push the real transfers out. The
// same test as isHistoryNoise(), on the stored numbers of HistoryDirection, HistoryDoor
// and HistoryOutcome.
constexpr char kNoise[] = "((direction = 0 AND (outcome = 2 OR (bytes = 0 AND text = '')))"
                          " OR (direction = 1 AND door = 3 AND outcome != 0))";
static_assert(static_cast<int>(HistoryDirection::Sent) == 1 && static_cast<int>(HistoryDoor::BrowserDownload) == 3 &&
                  static_cast<int>(HistoryOutcome::Complete) == 0 && static_cast<int>(HistoryOutcome::Refused) == 2,
              "kNoise names these values");
constexpr int kMostNoise = 100;
constexpr int kSchemaVersion = 2;
// Version 1 had no tries: its entries read as one try each, and a writer adds the column.
constexpr int kSchemaWithoutTries = 1;

// One table of entries, one of their top-level names in order, and the settings both
// programs share. AUTOINCREMENT keeps ids growing after a clear, so "newer" stays "larger".
const char kSchema[] =
    "CREATE TABLE IF NOT EXISTS entries("
    " id INTEGER PRIMARY KEY AUTOINCREMENT, time INTEGER NOT NULL, direction INTEGER NOT NULL,"
    " door INTEGER NOT NULL, peer TEXT NOT NULL, address TEXT NOT NULL, files INTEGER NOT NULL,"
    " bytes INTEGER NOT NULL, folder TEXT NOT NULL, outcome INTEGER NOT NULL, reason TEXT NOT NULL,"
    " text TEXT NOT NULL, tries INTEGER NOT NULL DEFAULT 1);"
    "CREATE TABLE IF NOT EXISTS names("
    " entry INTEGER NOT NULL, position INTEGER NOT NULL, name TEXT NOT NULL, PRIMARY KEY(entry, position))"
    " WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS settings(name TEXT PRIMARY KEY, value INTEGER NOT NULL);";
// Each address's entries in order, for trimming by shares.
const char kAddressIndex[] = "CREATE INDEX IF NOT EXISTS entries_by_address ON entries(address, id)";

using Statement = std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)>;

Statement prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) statement = nullptr;
    return Statement(statement, sqlite3_finalize);
}

void bindText(sqlite3_stmt* statement, int index, const std::string& text) {
    sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

std::string columnText(sqlite3_stmt* statement, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return text ? std::string(text, static_cast<size_t>(sqlite3_column_bytes(statement, column))) : std::string();
}

// A stored number as one of an enumeration's values; a value it does not know (a newer
// program's, or a damaged file's) becomes fallback.
template <typename Enum>
Enum enumValue(sqlite3_stmt* statement, int column, Enum last, Enum fallback) {
    const int64_t value = sqlite3_column_int64(statement, column);
    return value >= 0 && value <= static_cast<int64_t>(last) ? static_cast<Enum>(value) : fallback;
}

// Runs one statement that returns no rows; its result code.
int run(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }

int rollback(sqlite3* db, int code) {
    run(db, "ROLLBACK");
    return code;
}

// Removes the noise beyond limit entries, oldest first, and its names.
int trimNoise(sqlite3* db, int limit) {
    const std::string only = std::string(" AND ") + kNoise;
    Statement cut = prepare(db,
                            ("SELECT id FROM entries WHERE 1" + only + " ORDER BY id DESC LIMIT 1 OFFSET ?").c_str());
    if (!cut) return sqlite3_errcode(db);
    sqlite3_bind_int(cut.get(), 1, limit);
    int code = sqlite3_step(cut.get());
    if (code == SQLITE_DONE) return SQLITE_OK;
    if (code != SQLITE_ROW) return code;
    const int64_t newestRemoved = sqlite3_column_int64(cut.get(), 0);
    for (const std::string& sql :
         {"DELETE FROM names WHERE entry IN (SELECT id FROM entries WHERE id <= ?" + only + ")",
          "DELETE FROM entries WHERE id <= ?" + only}) {
        Statement remove = prepare(db, sql.c_str());
        if (!remove) return sqlite3_errcode(db);
        sqlite3_bind_int64(remove.get(), 1, newestRemoved);
        if ((code = sqlite3_step(remove.get())) != SQLITE_DONE) return code;
    }
    return SQLITE_OK;
}

// Older texts lose their words beyond the newest kHistoryMostTextTotal bytes; their
// entries stay.
int trimTexts(sqlite3* db) {
    Statement forget = prepare(db, "UPDATE entries SET text = '' WHERE text != '' AND id <= (SELECT id FROM"
                                   " (SELECT id, SUM(length(CAST(text AS BLOB))) OVER (ORDER BY id DESC) AS total"
                                   " FROM entries WHERE text != '') WHERE total > ? ORDER BY id DESC LIMIT 1)");
    if (!forget) return sqlite3_errcode(db);
    sqlite3_bind_int64(forget.get(), 1, static_cast<int64_t>(kHistoryMostTextTotal));
    const int code = sqlite3_step(forget.get());
    return code == SQLITE_DONE ? SQLITE_OK : code;
}

// Removes the entries of address beyond its newest keep, and their names.
int trimAddress(sqlite3* db, const std::string& address, int64_t keep) {
    const std::string beyond = "(SELECT id FROM entries WHERE address = ? ORDER BY id DESC LIMIT -1 OFFSET ?)";
    for (const std::string& sql :
         {"DELETE FROM names WHERE entry IN " + beyond, "DELETE FROM entries WHERE id IN " + beyond}) {
        Statement remove = prepare(db, sql.c_str());
        if (!remove) return sqlite3_errcode(db);
        bindText(remove.get(), 1, address);
        sqlite3_bind_int64(remove.get(), 2, keep);
        const int code = sqlite3_step(remove.get());
        if (code != SQLITE_DONE) return code;
    }
    return SQLITE_OK;
}

// Beyond the limit, the entries of the addresses that hold more than their share go first
// (history_shares.h): one address that sends often trims its own oldest entries, never
// another's.
int trimShares(sqlite3* db, int limit) {
    Statement select = prepare(db, "SELECT address, COUNT(*), MAX(id) FROM entries GROUP BY address");
    if (!select) return sqlite3_errcode(db);
    std::vector<AddressHold> holds;
    int64_t total = 0;
    int code = SQLITE_OK;
    while ((code = sqlite3_step(select.get())) == SQLITE_ROW) {
        holds.push_back({columnText(select.get(), 0), sqlite3_column_int64(select.get(), 1),
                         sqlite3_column_int64(select.get(), 2)});
        total += holds.back().count;
    }
    if (code != SQLITE_DONE) return code;
    if (total <= limit) return SQLITE_OK;
    const std::vector<int64_t> keeps = addressKeeps(holds, limit);
    code = SQLITE_OK;
    for (size_t i = 0; i < holds.size() && code == SQLITE_OK; ++i)
        if (keeps[i] < holds[i].count) code = trimAddress(db, holds[i].address, keeps[i]);
    return code;
}

int trimAll(sqlite3* db, int limit) {
    const int mostNoise = std::max(1, std::min(kMostNoise, limit / 10));
    int code = trimNoise(db, mostNoise);
    if (code == SQLITE_OK) code = trimShares(db, limit);
    if (code == SQLITE_OK) code = trimTexts(db);
    return code;
}

int64_t pragmaValue(sqlite3* db, const char* sql) {
    Statement pragma = prepare(db, sql);
    return pragma && sqlite3_step(pragma.get()) == SQLITE_ROW ? sqlite3_column_int64(pragma.get(), 0) : -1;
}

// Gives free pages back once there are many (a database made before auto_vacuum keeps them
// for its next entries).
void reclaimFreePages(sqlite3* db) {
    if (pragmaValue(db, "PRAGMA freelist_count") > kMostFreePages) run(db, "PRAGMA incremental_vacuum");
}

int insertNames(sqlite3* db, int64_t id, const std::vector<std::string>& names) {
    Statement insert = prepare(db, "INSERT INTO names(entry, position, name) VALUES(?, ?, ?)");
    if (!insert) return sqlite3_errcode(db);
    for (size_t i = 0; i < names.size(); ++i) {
        sqlite3_reset(insert.get());
        sqlite3_bind_int64(insert.get(), 1, id);
        sqlite3_bind_int(insert.get(), 2, static_cast<int>(i));
        bindText(insert.get(), 3, names[i]);
        const int code = sqlite3_step(insert.get());
        if (code != SQLITE_DONE) return code;
    }
    return SQLITE_OK;
}

int insertEntry(sqlite3* db, const HistoryEntry& entry) {
    Statement insert = prepare(db, "INSERT INTO entries(time, direction, door, peer, address, files, bytes, folder,"
                                   " outcome, reason, text, tries) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    if (!insert) return sqlite3_errcode(db);
    sqlite3_bind_int64(insert.get(), 1, entry.time);
    sqlite3_bind_int(insert.get(), 2, static_cast<int>(entry.direction));
    sqlite3_bind_int(insert.get(), 3, static_cast<int>(entry.door));
    bindText(insert.get(), 4, entry.peer);
    bindText(insert.get(), 5, entry.address);
    sqlite3_bind_int64(insert.get(), 6, entry.files);
    sqlite3_bind_int64(insert.get(), 7, entry.bytes);
    bindText(insert.get(), 8, entry.folder);
    sqlite3_bind_int(insert.get(), 9, static_cast<int>(entry.outcome));
    bindText(insert.get(), 10, entry.reason);
    bindText(insert.get(), 11, entry.text);
    sqlite3_bind_int64(insert.get(), 12, entry.tries);
    const int code = sqlite3_step(insert.get());
    if (code != SQLITE_DONE) return code;
    return insertNames(db, sqlite3_last_insert_rowid(db), entry.names);
}

int64_t schemaVersion(sqlite3* db) { return pragmaValue(db, "PRAGMA user_version"); }

// A database made before is only checked, never written: a copy that starts on a full
// disk still opens its history, and writes each entry when there is room.
bool makeSchema(sqlite3* db) {
    // Only a new file takes it, before its first page is written: trimmed pages can then be
    // given back. (On a file in use the pragma would wait for the write lock.)
    if (pragmaValue(db, "PRAGMA page_count") == 0) run(db, "PRAGMA auto_vacuum=INCREMENTAL");
    // The journal mode is kept in the file: every later connection writes ahead too.
    {
        Statement mode = prepare(db, "PRAGMA journal_mode=WAL");
        if (!mode || sqlite3_step(mode.get()) != SQLITE_ROW || columnText(mode.get(), 0) != "wal") return false;
    }
    if (schemaVersion(db) == kSchemaVersion) {
        // Trimming counts each address's entries: a database made before the index gets it
        // when there is room (trimming only runs slower without it).
        run(db, kAddressIndex);
        return true;
    }
    if (run(db, "BEGIN IMMEDIATE") != SQLITE_OK) return false;
    if (schemaVersion(db) == kSchemaWithoutTries) {
        if (run(db, "ALTER TABLE entries ADD COLUMN tries INTEGER NOT NULL DEFAULT 1") != SQLITE_OK ||
            run(db, "PRAGMA user_version=2") != SQLITE_OK)
            return rollback(db, 0);
        return run(db, "COMMIT") == SQLITE_OK || rollback(db, 0);
    }
    if (run(db, kSchema) != SQLITE_OK || run(db, kAddressIndex) != SQLITE_OK ||
        run(db, "PRAGMA user_version=2") != SQLITE_OK)
        return rollback(db, 0);
    return run(db, "COMMIT") == SQLITE_OK || rollback(db, 0);
}

// A file another program made, or one of a newer schema, is left alone.
bool isHistory(sqlite3* db) {
    const int64_t found = schemaVersion(db);
    return found == 0 || found == kSchemaWithoutTries || found == kSchemaVersion;
}
}  // namespace

sqlite3* openHistoryDatabase(const std::string& path, bool write) {
    if (path.empty()) return nullptr;
    sqlite3* db = nullptr;
    const int flags = (write ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READONLY) |
                      SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_PRIVATECACHE | SQLITE_OPEN_NOFOLLOW;
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, write ? kBusyMilliseconds : kReadBusyMilliseconds);
    // Each commit has reached the disk already: a writer that ends leaves the write-ahead
    // file to the next checkpoint instead of copying it back and deleting it, which made
    // every short-lived send pay three more syncs and a new file's folder sync.
    if (write) sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    sqlite3_extended_result_codes(db, 0);
    // Each entry reaches the disk before the next is taken: a crash or a power cut
    // loses at most the entry being written.
    bool ready = isHistory(db) && (!write || (run(db, "PRAGMA synchronous=FULL") == SQLITE_OK &&
                                              run(db, kJournalSizeLimit) == SQLITE_OK && makeSchema(db)));
    if (!ready) {
        sqlite3_close(db);
        return nullptr;
    }
    return db;
}

void closeHistoryDatabase(sqlite3* db) { sqlite3_close(db); }

bool isHistoryNoise(const HistoryEntry& entry) {
    if (entry.direction == HistoryDirection::Sent)
        return entry.door == HistoryDoor::BrowserDownload && entry.outcome != HistoryOutcome::Complete;
    return entry.outcome == HistoryOutcome::Refused || (entry.bytes == 0 && entry.text.empty());
}

int storeHistoryEntry(sqlite3* db, const HistoryEntry& entry) {
    // The limit is read inside the transaction, so that a limit another program set just
    // now is kept as well.
    int code = run(db, "BEGIN IMMEDIATE");
    if (code != SQLITE_OK) return code;
    const int limit = storedHistoryLimit(db);
    if ((code = insertEntry(db, entry)) != SQLITE_OK || (code = trimAll(db, limit)) != SQLITE_OK)
        return rollback(db, code);
    if ((code = run(db, "COMMIT")) != SQLITE_OK) return rollback(db, code);
    reclaimFreePages(db);
    return SQLITE_OK;
}

namespace {
std::vector<HistoryEntry> selectEntries(sqlite3* db, int limit) {
    std::vector<HistoryEntry> entries;
    const std::string tries = schemaVersion(db) == kSchemaWithoutTries ? "1" : "tries";
    Statement select = prepare(db, ("SELECT id, time, direction, door, peer, address, files, bytes, folder, outcome,"
                                    " reason, text, " +
                                    tries + " FROM entries ORDER BY id DESC LIMIT ?")
                                       .c_str());
    if (!select) return entries;
    sqlite3_bind_int(select.get(), 1, limit > 0 ? limit : -1);
    while (sqlite3_step(select.get()) == SQLITE_ROW) {
        HistoryEntry entry;
        sqlite3_stmt* row = select.get();
        entry.id = sqlite3_column_int64(row, 0);
        entry.time = sqlite3_column_int64(row, 1);
        entry.direction = enumValue(row, 2, HistoryDirection::Sent, HistoryDirection::Received);
        entry.door = enumValue(row, 3, HistoryDoor::Text, HistoryDoor::Transfer);
        entry.peer = columnText(row, 4);
        entry.address = columnText(row, 5);
        entry.files = sqlite3_column_int64(row, 6);
        entry.bytes = sqlite3_column_int64(row, 7);
        entry.folder = columnText(row, 8);
        entry.outcome = enumValue(row, 9, HistoryOutcome::Canceled, HistoryOutcome::Incomplete);
        entry.reason = columnText(row, 10);
        entry.text = columnText(row, 11);
        entry.tries = sqlite3_column_int64(row, 12);
        entries.push_back(std::move(entry));
    }
    return entries;
}

// Fills in the names of entries (newest first, as selected).
void selectNames(sqlite3* db, std::vector<HistoryEntry>& entries) {
    if (entries.empty()) return;
    std::map<int64_t, size_t> byId;
    for (size_t i = 0; i < entries.size(); ++i) byId[entries[i].id] = i;
    Statement names = prepare(db, "SELECT entry, name FROM names WHERE entry >= ? ORDER BY entry, position");
    if (!names) return;
    sqlite3_bind_int64(names.get(), 1, entries.back().id);
    while (sqlite3_step(names.get()) == SQLITE_ROW) {
        auto found = byId.find(sqlite3_column_int64(names.get(), 0));
        if (found != byId.end() && entries[found->second].names.size() < kHistoryMostNames)
            entries[found->second].names.push_back(columnText(names.get(), 1));
    }
}
}  // namespace

std::vector<HistoryEntry> loadHistory(sqlite3* db, int limit) {
    // One read transaction, so that the names belong to the entries read.
    if (run(db, "BEGIN") != SQLITE_OK) return {};
    std::vector<HistoryEntry> entries = selectEntries(db, limit);
    selectNames(db, entries);
    run(db, "COMMIT");
    return entries;
}

bool eraseHistory(sqlite3* db) {
    if (run(db, "BEGIN IMMEDIATE") != SQLITE_OK) return false;
    if (run(db, "DELETE FROM names; DELETE FROM entries") != SQLITE_OK) return rollback(db, 0);
    return run(db, "COMMIT") == SQLITE_OK || rollback(db, 0);
}

int storedHistoryLimit(sqlite3* db) {
    Statement select = prepare(db, "SELECT value FROM settings WHERE name = 'limit'");
    if (!select || sqlite3_step(select.get()) != SQLITE_ROW) return kHistoryDefaultLimit;
    const int64_t limit = sqlite3_column_int64(select.get(), 0);
    return limit >= 1 && limit <= kHistoryMostLimit ? static_cast<int>(limit) : kHistoryDefaultLimit;
}

bool storeHistoryLimit(sqlite3* db, int limit) {
    if (limit < 1 || limit > kHistoryMostLimit || run(db, "BEGIN IMMEDIATE") != SQLITE_OK) return false;
    Statement upsert = prepare(db, "INSERT INTO settings(name, value) VALUES('limit', ?)"
                                   " ON CONFLICT(name) DO UPDATE SET value = excluded.value");
    if (!upsert) return rollback(db, 0);
    sqlite3_bind_int(upsert.get(), 1, limit);
    if (sqlite3_step(upsert.get()) != SQLITE_DONE || trimAll(db, limit) != SQLITE_OK) return rollback(db, 0);
    if (run(db, "COMMIT") != SQLITE_OK) return rollback(db, 0);
    reclaimFreePages(db);
    return true;
}
