// The history of transfers: what came and went, both ways and through every door, kept
// across restarts in a small database of the user's own. One thread owns the database:
// a transfer hands it a finished entry and never waits for it, so that a slow or full disk
// can fail an entry but never a transfer.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

enum class HistoryDirection { Received, Sent };
// Port 2904, the private channel between trusted computers, a browser's upload or
// download through the page, a text (from or to a browser).
enum class HistoryDoor { Transfer, Private, BrowserUpload, BrowserDownload, Text };
enum class HistoryOutcome { Complete, Incomplete, Refused, Canceled };

// The most top-level names an entry keeps (the count of files says how many there were).
constexpr size_t kHistoryMostNames = 20;
// The most bytes of a text an entry keeps.
constexpr size_t kHistoryMostTextBytes = 64 * 1024;
constexpr int kHistoryDefaultLimit = 1000;
constexpr int kHistoryMostLimit = 100000;
// The most bytes an entry keeps of one name, of the folder, and of the peer's name, its
// address and the reason; longer ones are cut at a character's start.
constexpr size_t kHistoryMostNameBytes = 1024;
constexpr size_t kHistoryMostFolderBytes = 4096;
constexpr size_t kHistoryMostFieldBytes = 1024;

struct HistoryEntry {
    int64_t id = 0;    // given by the store (0 until written); larger is newer
    int64_t time = 0;  // seconds since 1970 (UTC), when the transfer ended
    HistoryDirection direction = HistoryDirection::Received;
    HistoryDoor door = HistoryDoor::Transfer;
    std::string peer;                // the trusted computer's name, else its address
    std::string address;             // the other side's dotted address
    std::vector<std::string> names;  // the top-level folder and file names, as stored (received) or sent
    int64_t files = 0;               // how many files
    int64_t bytes = 0;               // how many content bytes went over
    std::string folder;              // received: the folder the names are in; sent: empty
    HistoryOutcome outcome = HistoryOutcome::Complete;
    std::string reason;  // why it was refused or incomplete, as the user was told
    std::string text;    // a text's own words (door Text)
    int64_t tries = 1;   // connections a send made: more than one when a cut send tried again
};

// Opens (or makes) the database at path, keeping the newest limit entries (the limit stored
// in the database wins when limit is 0), and starts the writing thread. False when it
// cannot be opened: entries handed over then are dropped, and nothing else changes.
bool startHistory(const std::string& path, int limit = 0);
// Where this user's history lives: %LOCALAPPDATA%\Quorvalinthexa\history.db on Windows,
// $XDG_STATE_HOME/quorvalinthexa/history.db on Linux; "" when there is no such folder.
std::string historyPath();

// Hands over a finished transfer (its time is filled in when 0). Never blocks.
void recordHistory(HistoryEntry entry);
// Waits until every entry handed over so far is written or failed (tests, program exit),
// at most a few seconds.
void flushHistory();
// At a clean exit: writes what was handed over (as flushHistory), closes the database and
// ends the writing thread, so that nothing runs on while the process ends. Entries handed
// over after it are dropped until startHistory opens a database again.
void stopHistory();
// How many entries this process dropped: handed over while no database was open, or while
// the writing thread was that far behind.
int64_t droppedHistoryEntries();
// Called on the writing thread after each entry is written (the Windows program refreshes
// an open History window); nullptr for none.
void setHistoryWritten(void (*written)());

// The newest entries first, at most limit of them (0: all kept). Waits a moment for the
// entries this process handed over before, so that they are among them.
std::vector<HistoryEntry> readHistory(int limit = 0);
// Removes every entry, those this process handed over before included.
bool clearHistory();
// How many entries are kept; a smaller limit removes the oldest at once.
int historyLimit();
bool setHistoryLimit(int limit);
