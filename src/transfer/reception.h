// One reception's state and the steps that carry it, shared by the receiver's files:
// receiver.cpp (from the admission to the close), record_loop.cpp (the records and their
// content), address_record.cpp (an address hand-over), browser_reception.cpp (the browser's
// uploads and texts as one reception) and reception_history.cpp (its entry in the
// history); a private offer's files are the private channel's (private/verified_files.h),
// reached through VerifiedSteps.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "core/window_port.h"
#include "core/central_state.h"
#include "platform/files.h"
#include "platform/net.h"
#include "store/store_files.h"
#include "transfer/protocol.h"
#include "transfer/receiver.h"
#include "trust/content_hash.h"

constexpr int kRateInterval = 3000;  // milliseconds between two speed texts
constexpr int kAskStopped = -1;      // askUser's answer when a Stop came meanwhile

// A reception's files that met a name already there: the user's answer for all of them
// (Unanswered: none yet), and for the history those kept both ("name -> new name") and
// skipped, the first few named.
struct ExistingEnds {
    ExistingReply forAll = ExistingReply::Unanswered;
    std::vector<std::string> keptBoth, skipped;
    int64_t keptBothCount = 0, skippedCount = 0;
};
extern ReceiveProgress progressNow;

struct Reception {
    // The one reception's, or a side place's own (transfer/side_reception.h; side >= 0).
    int side = -1;
    bool sideEnded = false;  // its side place is given up (and may be another's now)
    std::atomic<bool>* cancel = &cancelRequested;
    ReceiveProgress* progress = &progressNow;
    std::string store;
    uint32_t sender = 0;     // the peer's address, for a question and its answer
    bool byBrowser = false;  // a browser's upload: the user's yes is remembered for it
    bool mayStore = true;    // false until the user said yes, when they want to be asked
    int refusal = 0;         // the text of a question's no, or of its silence
    bool windowsRules = false;
    bool dropCut = false;    // a new file cut short is removed
    bool syncWhole = false;  // a whole new file reaches the disk before it is closed
    Socket shutOnStop = kInvalidSocket;
    std::string trustedName;                // the private channel's trusted sender, named on the status line
    VerifiedReception* verified = nullptr;  // a private offer's: files checked, kept when cut
    bool orderlyEnd = false;                // a stream that fails instead of ending in order is incomplete
    bool headerCame = false;                // its header block was read whole before it started
    StreamReader reader;
    std::vector<char> block;  // one header block and its NUL; also the address text
    std::vector<char> chunk;  // file content on its way to the disk
    std::vector<char> spare;  // the second buffer of hashed content
    bool transfer = false;    // header accepted and no address record seen
    bool missed = false;      // a record was refused or could not be stored
    bool stored = false;      // a folder or file record was taken
    int records = 0;          // records read after the header
    int percent = -1;         // last percent shown
    uint32_t lastUpdate = 0;
    StoreFolder folder;  // the folder of the latest file record
    // What the history keeps of it: the top-level names stored, the files that arrived
    // whole, and the content bytes that came.
    std::vector<std::string> names;
    int64_t filesTaken = 0;
    int64_t bytes = 0;
    ExistingEnds existing;
};

struct Record {
    std::string type, name, directory;
    int64_t size = 0;
    int32_t flags = 0;
    bool cut = false;    // the stream ended before the block's blank line
    bool skip = false;   // a private offer's file that is there already
    int64_t offset = 0;  // a private offer's file that continues a kept partial file
    std::string sha256;  // a check block's hash
    int blockBytes = 0;  // the record's own bytes on the stream
};

// The steps of a verified reception (VerifiedReception::steps): a file record with its
// content and check block; then, at the reception's end, the partial files it cut or
// finished are recorded.
struct VerifiedSteps {
    void (*file)(Reception& r, const Record& record);
    void (*ended)(Reception& r);
};

extern std::atomic<int> receptionsRunning;  // connections past their first byte, until closed
extern std::atomic<bool> receivingEnded;    // the program is closing: nothing more is admitted

// Reads one block into r.block and returns its length (*cut: the stream ended in it).
int readBlock(Reception& r, bool completeLastLine, bool* cut = nullptr);
Record readRecord(Reception& r);
// The bar and the speed text after content arrived.
void updateProgress(Reception& r);
// Every record after the header, each stored, refused or passed over.
void receiveRecords(Reception& r);
// A file record's content is in the store under its name, or kept both under keptAs
// (whole: it counts as a file).
void noteStored(Reception& r, const Record& record, bool whole, const std::string& keptAs = std::string());
// The local path of a file record, or "" when the record may not be stored.
std::string targetPath(Reception& r, const Record& record);
// Moves size content bytes into the file (and into hash, when given); returns how many did not arrive.
int64_t moveContent(Reception& r, FileHandle& file, int64_t size, ContentHash* hash);
// An address record: a hand-over when it is the stream's first record.
void receiveAddress(Reception& r, const Record& record);
// The user's answer about sender: 0 for a yes, a refusal's text id, or kAskStopped.
int askUser(uint32_t sender, int64_t total, bool byBrowser);
// Asks the user before the first record that would store something.
bool askToStore(Reception& r);
// The reception's entry in the history, if it leaves one.
void recordReception(const Reception& r, const ReceiveTerms& terms, ReceiveResult result, int refusal);
