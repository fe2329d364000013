#include "transfer/receiver.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "core/central_state.h"
#include "core/text_routines.h"
#include "core/window_port.h"
#include "doors/reception.h"
#include "platform/files.h"
#include "platform/threads.h"
#include "peers/asked_peers.h"
#include "peers/remembered_peers.h"
#include "policy/receive_policy.h"
#include "resource.h"
#include "store/partial_store.h"
#include "store/store_files.h"
#include "store/store_names.h"
#include "transfer/hash_worker.h"
#include "transfer/offer_answers.h"
#include "transfer/partial_files.h"
#include "transfer/protocol.h"
#include "transfer/reception_door.h"
#include "transfer/reception_history.h"
#include "transfer/stop.h"
#include "trust/content_hash.h"

std::atomic<int> receiveStallMilliseconds{kReceiveStallMilliseconds};

namespace {
// Content is written in pieces of up to this size, from one buffer per reception.
constexpr int kWriteChunk = 1024 * 1024;
constexpr int kRateInterval = 3000;             // milliseconds between two speed texts
constexpr size_t kAddressLimit = 15;            // characters of a dotted IPv4 address
constexpr int kQuestionLookMilliseconds = 200;  // how often an upload looks at another one's question

ReceiveProgress progressNow;

std::atomic<bool> errorBoxOpen{false};
std::atomic<int> receptionsRunning{0};    // connections past their first byte, until closed
std::atomic<bool> receivingEnded{false};  // the program is closing: nothing more is admitted

struct Reception {
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
};

struct Record {
    std::string type, name, directory;
    int64_t size = 0;
    int32_t flags = 0;
    bool cut = false;    // the stream ended before the block's blank line
    bool skip = false;   // a private offer's file that is there already
    int64_t offset = 0;  // a private offer's file that continues a kept partial file
    std::string sha256;  // a check block's hash
};

// Reads one block into r.block and returns its length. A block cut short by the end of
// the stream keeps its last line: the parse needs its line feed, and a directory record
// that lost it must still count. One cut by time may have lost the end of that line.
int readBlock(Reception& r, bool completeLastLine, bool* cut = nullptr) {
    int length = 0;
    int result = readHeaderBlock(r.reader, r.block.data(), &length);
    if (cut) *cut = result <= 0;
    if (completeLastLine && result <= 0 && result != kReceiveTimedOut && length > 0 && length < kHeaderBlockLimit &&
        r.block[static_cast<size_t>(length) - 1] != '\n')
        r.block[static_cast<size_t>(length++)] = '\n';
    return length;
}

Record readRecord(Reception& r) {
    Record record;
    int length = readBlock(r, true, &record.cut);
    forEachHeaderLine(r.block.data(), length, [&](std::string_view key, std::string_view value) {
        if (key == "Size") record.size = readNumber(value);
        else if (key == "Type") record.type = value;
        else if (key == "Name") record.name = fromUtf8(std::string(value));
        else if (key == "Directory") record.directory = fromUtf8(std::string(value));
        else if (key == "Flags") record.flags = readFlags(value);
        else if (key == "Skip") record.skip = value == "1";
        else if (key == "Offset") record.offset = readNumber(value);
        else if (key == "SHA-256") record.sha256 = value;
    });
    return record;
}

void updateProgress(Reception& r) {
    receptionReceived(progressNow.received);
    if (cancelRequested) return;  // Stop has set the bar to 0 and shown its text
    int percent = receivePercent(progressNow.received, progressNow.total);
    if (percent != r.percent) {  // the bar only moves by whole percents
        r.percent = percent;
        writeUnlessStopped(cancelRequested, [&] { portSetProgress(percent, percent); });
    }
    uint32_t now = tickCount();
    if (now - r.lastUpdate > static_cast<uint32_t>(kRateInterval)) {
        r.lastUpdate = now;
        int64_t rate = receiveRate(progressNow.received, now - progressNow.startTick);
        writeUnlessStopped(cancelRequested, [&] {
            portSetStatusFormatted(IDS_RECEIVING_RATE, static_cast<int>(static_cast<uint32_t>(rate)));
        });
    }
}

// Four decimal numbers of 1 to 3 digits, each up to 255, between three dots: nothing else.
bool isDottedAddress(const std::string& text) {
    if (text.size() > kAddressLimit) return false;
    int parts = 0, digits = 0, value = 0;
    for (char c : text) {
        if (c == '.' && digits > 0 && parts < 3) {
            ++parts;
            digits = value = 0;
        } else if (c >= '0' && c <= '9' && digits < 3) {
            ++digits;
            value = value * 10 + (c - '0');
            if (value > 255) return false;
        } else {
            return false;
        }
    }
    return parts == 3 && digits > 0;
}

// Reads exactly the record's Size bytes, keeping the first ones (up to the block buffer)
// for the address text, so that the stream stays in step whatever Size says.
void receiveAddress(Reception& r, const Record& record) {
    // Only a stream that starts with it is a hand-over; within a transfer it is passed over.
    const bool handOver = r.records == 1;
    if (handOver) r.transfer = false;
    bool valid = false;  // a hand-over whose text is a plain dotted address
    if (record.size > 0) {
        int want = record.size < kHeaderBlockLimit ? static_cast<int>(record.size) : kHeaderBlockLimit;
        int got = 0;
        while (got < want) {
            int n = readContent(r.reader, r.block.data() + got, want - got);
            if (n <= 0) break;
            got += n;
        }
        if (got == want) skipContent(r.reader, record.size - want);
        const std::string text(r.block.data(), static_cast<size_t>(got));
        valid = handOver && record.size >= 7 && isDottedAddress(text.substr(0, text.find('\0')));
    }
    if (!handOver) return;
    if (valid) {
        // An empty field takes the address. One the user already has is replaced only by
        // an answer to a datagram this copy sent moments before: any host may send a record
        // nobody asked for, and the user's next send would go where it says. The
        // connection's own source becomes the recipient, never the text: a handshake
        // proved that address, while the text could name any host (a peer's text names its
        // own address, one we may not reach when it has several).
        if (portGetRecipient().empty() || ((record.flags & 1) && askedLately(r.sender)))
            portSetRecipient(netDotted(r.sender));
        // Remembered only as an answer to this copy's discovery (rememberHandOver asks).
        rememberHandOver(r.sender);
        notePeerHeard(r.sender);
    }
    writeUnlessStopped(cancelRequested, [] { portSetStatusText(IDS_RECIPIENT_RECEIVED); });
}

// Creates the record's folder and every folder above it, below the store path only.
void createFolders(Reception& r, const Record& record) {
    std::string top;
    if (!makeRecordFolders(r.store, record.directory, r.windowsRules, &top)) r.missed = true;
    else if (!top.empty()) addHistoryName(r.names, top);
}

// A file record's content is in the store under its name (whole: it counts as a file).
// Call after targetPath for the same record.
void noteStored(Reception& r, const Record& record, bool whole) {
    addHistoryName(r.names, r.folder.top.empty() ? record.name : r.folder.top);
    if (whole) ++r.filesTaken;
}

// The local path of a file record, or "" when the record may not be stored.
std::string targetPath(Reception& r, const Record& record) {
    return storeFilePath(r.store, r.folder, record.directory, record.name, r.windowsRules);
}

// Large content goes from the connection into the file inside the system when it can:
// false when it cannot (nothing was read then). A file that refuses bytes is closed,
// and the rest of its content read and dropped in the buffered way.
bool receiveDirect(Reception& r, FileHandle& file, int room, int64_t* remaining, bool* open) {
    if (cancelRequested) return false;
    bool written = true;
    int n = readContentIntoFile(r.reader, file, room, &written);
    if (n == kNoDirectPath) return false;
    if (n <= 0) {
        *open = false;  // the stream ended; the file keeps what arrived
        return true;
    }
    *remaining -= n;
    progressNow.received += n;
    updateProgress(r);
    if (!written) {
        r.missed = true;
        fileClose(file);
        file = kInvalidFile;
    }
    return true;
}

// Moves size content bytes into the file in large writes (and into hash, when given);
// returns how many did not arrive. A file that refuses bytes is closed (kInvalidFile) and
// the rest of its content read and dropped, so that it is never taken for a header.
int64_t moveContent(Reception& r, FileHandle& file, int64_t size, ContentHash* hash) {
    int64_t remaining = size;
    bool open = true;
    // Hashed content alternates between two buffers: one is hashed on the worker's
    // thread while the next arrives in the other.
    HashWorker* worker = r.verified ? r.verified->worker : nullptr;
    bool second = false;
    while (remaining > 0 && open) {
        const int chunk = static_cast<int>(r.chunk.size());
        int room = remaining < chunk ? static_cast<int>(remaining) : chunk;
        if (!hash && room >= static_cast<int>(kReaderBufferSize) && file != kInvalidFile &&
            receiveDirect(r, file, room, &remaining, &open))
            continue;
        int filled = 0;
        char* into = hash && second && !r.spare.empty() ? r.spare.data() : r.chunk.data();
        const char* bytes = into;
        // A piece the reader holds whole is written from the reader's buffer.
        if (!hash && !cancelRequested && (filled = takeBuffered(r.reader, room, &bytes)) > 0) {
            progressNow.received += filled;
            updateProgress(r);
        }
        while (filled < room && !cancelRequested) {
            int n = readContent(r.reader, into + filled, room - filled);
            if (n <= 0) {
                open = false;  // the stream ended; the file keeps what arrived
                break;
            }
            filled += n;
            progressNow.received += n;
            updateProgress(r);
        }
        if (filled < room) open = false;  // ended, or Stop
        remaining -= filled;
        if (hash) hashWorkerFeed(worker, hash, bytes, static_cast<size_t>(filled));
        second = !second;
        // The disk refused: the rest is read in step, and nothing more kept.
        if (filled > 0 && !writeOrClose(file, bytes, static_cast<size_t>(filled))) r.missed = true;
    }
    hashWorkerWait(worker);
    return remaining;
}

// Moves the content into the file. A file that cannot be written to still has its
// content read, and dropped, so that it is never taken for a header.
void receiveFile(Reception& r, const Record& record) {
    const std::string path = targetPath(r, record);
    StoreTarget target = path.empty() ? StoreTarget() : openStoreTarget(path, record.name.size());
    if (target.file == kInvalidFile) {
        r.missed = true;
        if (record.size > 0) skipContent(r.reader, record.size);
        return;
    }
    const int64_t remaining = moveContent(r, target.file, record.size, nullptr);
    // Cut short, refused by the disk, or not on it: new or replacing, it did not arrive.
    const StoreEnd end = closeStoreTarget(target, path, remaining <= 0, r.syncWhole, r.dropCut);
    if (end != StoreEnd::Whole) r.missed = true;
    if (end != StoreEnd::Dropped) noteStored(r, record, end == StoreEnd::Whole);
}

// The record's path relative to the store, '/' between its components ("" when unsafe).
std::string relativeTarget(const Reception& r, const Record& record) {
    std::vector<std::string> components;
    if (!splitRecordDirectory(record.directory, r.windowsRules, &components)) return std::string();
    std::string relative;
    for (const std::string& component : components) relative += component + "/";
    return relative + record.name;
}

void refuseFile(Reception& r, const Record& record) {
    VerifiedReception& v = *r.verified;
    r.missed = true;
    ++v.refused;
    if (v.failed.size() < kMostFailedNamed) v.failed.push_back(relativeTarget(r, record));
}

// Where a verified file's content goes: a kept partial file of this sender cut to the
// record's offset (its first bytes fed to hash), or a new hidden partial file beside the
// target. Its relative path in *relative.
FileHandle openVerifiedTarget(Reception& r, const Record& record, const std::string& target, ContentHash* hash,
                              std::string* relative) {
    VerifiedReception& v = *r.verified;
    if (record.offset > 0)
        return takeAnsweredResume(v.answers, r.store, target, record.size, record.offset, hash, relative);
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    return createPartialFile(r.store, folder, tickCount(), relative);
}

// The check block that follows a file's content (after the empty block that starts it).
std::string readCheck(Reception& r) {
    for (int i = 0; i < 2 && r.reader.lastResult > 0; ++i) {
        const Record check = readRecord(r);
        if (!check.type.empty()) return check.type == "check" ? check.sha256 : std::string();
    }
    return std::string();
}

// A file record of a private offer. The file takes its name only once its content is whole
// and its hash is the sender's; one that was cut stays as a partial file (when kept).
void receiveVerifiedFile(Reception& r, const Record& record) {
    VerifiedReception& v = *r.verified;
    const std::string path = targetPath(r, record);
    const std::string target = path.empty() ? std::string() : relativeTarget(r, record);
    if (record.skip) {  // the receiver said it has it whole: nothing follows
        if (!target.empty() && takeAnsweredSkip(v.answers, target, path, record.size)) {
            ++v.skipped;
            noteStored(r, record, true);
        } else {
            refuseFile(r, record);
        }
        return;
    }
    // An empty file fits at offset 0: it is made, hashed and checked like any other.
    const bool fits = record.size >= 0 && record.offset >= 0 && (record.offset < record.size || record.offset == 0);
    const int64_t content = fits ? record.size - record.offset : std::max<int64_t>(record.size, 0);
    ContentHash* hash = contentHashStart();
    std::string temporary;
    FileHandle file = target.empty() || !fits || !hash ? kInvalidFile
                                                       : openVerifiedTarget(r, record, target, hash, &temporary);
    if (file == kInvalidFile) {
        contentHashFree(hash);
        refuseFile(r, record);
        skipContent(r.reader, content);
        readCheck(r);
        return;
    }
    const std::string temporaryPath = partialLocalPath(r.store, temporary);
    const int64_t missing = moveContent(r, file, content, hash);
    const bool whole = missing <= 0 && file != kInvalidFile;
    const std::string ours = contentHashFinal(hash);
    if (!whole) {
        const bool refused = file == kInvalidFile;  // the disk refused its bytes
        if (refused) refuseFile(r, record);
        r.missed = true;
        // A new partial file that got nothing is not worth its place.
        const bool keep = v.keepCut && !refused && (record.offset > 0 || missing < content);
        closeCutPartial(file, temporaryPath, keep);
        if (keep) {
            v.kept.push_back(
                PartialRecord{temporary, target, record.size, v.senderId, static_cast<int64_t>(time(nullptr))});
        } else if (record.offset > 0) {
            v.finished.push_back(temporary);
        }
        return;
    }
    const bool verified = !ours.empty() && readCheck(r) == ours;
    if (record.offset > 0) v.finished.push_back(temporary);
    // A name that does not give way (read-only, a link, a FIFO...) refuses the file.
    if (namePartialFile(file, temporaryPath, path, verified)) {
        ++(record.offset > 0 ? v.resumed : v.stored);
        noteStored(r, record, true);
        removeStalePartials(r.store, v.partials, target, &v.finished);
        return;
    }
    refuseFile(r, record);
}

// The user's answer about sender: 0 for a yes, which holds for a browser's further
// uploads (a sender on port 2904 is asked every time); otherwise the refusal's text, and a
// no, or silence, refuses the address for a while. A Stop meanwhile is only a Stop
// (kAskStopped).
constexpr int kAskStopped = -1;
int askUser(uint32_t sender, int64_t total, bool byBrowser) {
    browserQuestionOpen = byBrowser;
    receptionAsking(true);
    AskAnswer answer = portAskToReceive(netDotted(sender), total, askMilliseconds);
    receptionAsking(false);
    browserQuestionOpen = false;
    if (cancelRequested) return kAskStopped;
    if (answer == AskAnswer::Accepted) {
        if (byBrowser) rememberBrowserAccepted(sender);
        return 0;
    }
    rememberDeclined(sender, tickCount());
    return answer == AskAnswer::Declined ? IDS_REFUSED_DECLINED : IDS_REFUSED_UNANSWERED;
}

// Asks the user before the first record that would store something.
bool askToStore(Reception& r) {
    int answer = askUser(r.sender, progressNow.total, r.byBrowser);
    if (answer > 0) r.refusal = answer;
    return r.mayStore = answer == 0;
}

void receiveRecords(Reception& r) {
    while (r.reader.lastResult > 0) {
        Record record = readRecord(r);
        // An address record stores nothing: a peer's answer to discovery is never a question.
        const bool file = record.type == "file", stores = file || record.type == "directory";
        if (!record.type.empty()) ++r.records;
        // Empty blocks, and records that store nothing, are no progress: the stall limit
        // counts from the last folder or file.
        if (stores) r.reader.progressAt = tickCount();
        if (stores) receptionStored();
        if (stores && !r.mayStore && !askToStore(r)) break;
        r.stored = r.stored || stores;
        if (!stores && record.type == "ip") receiveAddress(r, record);
        else if (stores && !file) createFolders(r, record);
        else if (file && record.cut) r.missed = true;  // name or folder may be cut
        else if (file && r.verified) receiveVerifiedFile(r, record);
        else if (file) receiveFile(r, record);
        if (file) r.reader.progressAt = tickCount();  // its content came until now
        if (cancelRequested) break;
    }
    // The peer went silent, or a stream that ends only in order was cut.
    if (r.reader.lastResult == kReceiveTimedOut || (r.orderlyEnd && r.reader.lastResult < 0)) r.missed = true;
}

ReceiveResult judge(const Reception& r) {
    if (cancelRequested) return ReceiveResult::Cancelled;
    if (r.refusal) return ReceiveResult::Refused;
    if (!r.transfer) return ReceiveResult::AddressTaken;
    if (progressNow.received == progressNow.total && !r.missed)
        return r.stored ? ReceiveResult::Complete : ReceiveResult::Empty;
    return ReceiveResult::Incomplete;
}

void showResult(const Reception& r, ReceiveResult result) {
    writeUnlessStopped(cancelRequested, [&r, result] {
        if (result == ReceiveResult::Refused) {
            portSetProgress(0, 0);
            portShowRefusal(r.refusal, netDotted(r.sender));
        } else if (result == ReceiveResult::Complete || result == ReceiveResult::Empty) {
            portSetProgress(100, 0);
            portSetStatusText(IDS_RECEIVING_COMPLETE);
        } else if (result == ReceiveResult::Incomplete) {
            portSetStatusText(IDS_RECEIVING_INCOMPLETE);
        }
    });
}

// Gives up the admission and the connection. The handle is forgotten before it is
// closed, so that Stop never reaches a handle that may already be reused. The receiver
// never writes to the connection; how it closes is all a sender learns: in order only
// when everything it sent was taken, with a reset otherwise (turned away, not stored,
// stopped), whether the sender's last bytes arrived before the close or after it.
void finish(Socket connection, bool tookAll = false) {
    portSetButtonsIdle();
    forgetTransferSocket(receiveSocket);
    releaseReception();
    if (tookAll) netClose(connection);
    else netCloseAbortive(connection);
}

// Turns a connection away without a word; the admission, if it had it, is given up.
ReceiveResult turnAway(Socket connection, bool admitted) {
    if (admitted) releaseReception();
    netCloseAbortive(connection);
    return ReceiveResult::TurnedAway;
}

// Shows a receiver error box unless one is open already. Each box holds its thread until
// it is dismissed, so one box per connection would let any host on the network raise
// boxes without end. The connection is closed before this either way.
void showErrorBox(int textId) {
    if (errorBoxOpen.exchange(true)) return;
    portShowErrorText(textId);
    errorBoxOpen = false;
}
}  // namespace

ReceiveProgress receiveProgress() { return progressNow; }

namespace {

// A sender the policy refuses never takes the admission: its connection is reset, and
// the status line says why.
ReceiveResult refuse(Socket connection, Verdict verdict, uint32_t sender) {
    netCloseAbortive(connection);
    showRefusal(verdict, sender);
    return ReceiveResult::Refused;
}

// The start of a reception: the admission, the store path, and its half of the Stop
// handshake, which comes after the store path is read (a window busy with a Stop holds
// that read). False when the reception ends here, its result in *ended.
bool begin(Reception& r, Socket connection, unsigned stopsAtArrival, ReceiveResult* ended) {
    const Socket reached = connection != kInvalidSocket ? connection : r.shutOnStop;
    if (!admitConnection(connection, reached, stopsAtArrival, !r.trustedName.empty())) {
        *ended = turnAway(connection, false);
        return false;
    }
    r.store = portGetStorePath();
    // A Stop since this connection arrived, or the program's end, turns it away: it must
    // neither undo that Stop nor start writing.
    if (r.store.empty() || receivingEnded || !claimReception(stopsAtArrival, reached)) {
        *ended = turnAway(connection, true);
        if (r.store.empty()) *ended = ReceiveResult::NoStorePath;
        return false;
    }
    portSetButtonsTransferring();
    if (!r.trustedName.empty()) portSetPrivatePeer(r.trustedName);
    writeUnlessStopped(cancelRequested, [] {
        portSetStatusText(IDS_RECEIVING);
        portSetProgress(0, 0);
    });
    return true;
}

// A private offer's manifest is answered only once the reception is admitted and the user,
// when asked, said yes: nothing of the store is read before, and Stop ends the answers.
bool answerAdmitted(Reception& r, StreamReader& reader, Socket connection, ReceiveResult* ended) {
    if (!r.verified || !r.verified->answer) return true;
    progressNow.total = r.verified->offered;  // what the question names
    if ((r.mayStore || askToStore(r)) && r.verified->answer(*r.verified, reader) && !cancelRequested) return true;
    *ended = cancelRequested ? ReceiveResult::Cancelled
             : r.refusal     ? ReceiveResult::Refused
                             : ReceiveResult::NothingSent;
    showResult(r, *ended);
    finish(connection);
    return false;
}

// Reads the connection header into *total. False when the reception ends with it: a
// connection that sent nothing, another version, or a Stop that cut the header short.
bool readHeader(Reception& r, Socket connection, int64_t* total, ReceiveResult* ended) {
    std::string version;
    int length = readBlock(r, false);
    forEachHeaderLine(r.block.data(), length, [&](std::string_view key, std::string_view value) {
        if (key == "Total") *total = readNumber(value);
        else if (key == "Version") version = value;
    });
    if (version == kProtocolVersion) return true;
    if (cancelRequested) {  // a header cut short by Stop says nothing of the version
        *ended = ReceiveResult::Cancelled;
    } else {
        // Closed or silent before its first byte (a probe, a port scan), or cut by time
        // before its version: not an old sender; an error box for each would let anyone
        // on the network raise boxes.
        const bool cutByTime = version.empty() && r.reader.lastResult == kReceiveTimedOut;
        *ended = length == 0 || cutByTime ? ReceiveResult::NothingSent : ReceiveResult::WrongVersion;
        portSetStatusEmpty();
    }
    finish(connection);
    return false;
}

// Nothing is written for a transfer that cannot fit; the sender's own count decides, and
// one that announced less than it sends is stopped by the disk as before.
bool fits(const Reception& r, Socket connection, int64_t total) {
    if (total <= 0 || cancelRequested || storeHasRoom(r.store, total, 0)) return true;
    portShowRefusal(IDS_NO_FREE_SPACE, netDotted(r.sender));
    finish(connection);
    return false;
}

// The partial files this reception cut are recorded, those it finished or dropped are not.
void recordPartials(const Reception& r) {
    const auto edit = [](std::vector<PartialRecord>& records, void* context) {
        const VerifiedReception& v = *static_cast<const VerifiedReception*>(context);
        const auto gone = [&v](const PartialRecord& p) {
            return std::find(v.finished.begin(), v.finished.end(), p.temporary) != v.finished.end() ||
                   std::any_of(v.kept.begin(), v.kept.end(),
                               [&p](const PartialRecord& k) { return k.temporary == p.temporary; });
        };
        records.erase(std::remove_if(records.begin(), records.end(), gone), records.end());
        records.insert(records.end(), v.kept.begin(), v.kept.end());
    };
    if (r.verified->kept.empty() && r.verified->finished.empty()) return;
    editPartialIndex(r.store, edit, r.verified);
    if (!r.verified->kept.empty()) expirePartialFiles(r.store);  // the bound of their size
}

// The records after the header, then the result shown and the connection closed.
ReceiveResult receiveBody(Reception& r, Socket connection, int64_t total) {
    r.transfer = true;
    progressNow = ReceiveProgress{0, total, tickCount()};
    r.lastUpdate = progressNow.startTick;
    receptionReading(total);
    r.reader.progressAt = progressNow.startTick;
    if (!cancelRequested) {
        // A small transfer needs no large buffer (and a browser's small files come one
        // reception each); a larger one than it announced is still read in this buffer's pieces.
        r.chunk.assign(static_cast<size_t>(std::clamp<int64_t>(total, kReaderBufferSize, kWriteChunk)), '\0');
        if (r.verified) r.spare.assign(r.chunk.size(), '\0');
        receiveRecords(r);
    }
    if (r.verified) recordPartials(r);
    receptionEnding();
    r.bytes = progressNow.received;
    ReceiveResult result = judge(r);
    showResult(r, result);
    finish(connection, result == ReceiveResult::Complete || result == ReceiveResult::Empty ||
                           result == ReceiveResult::AddressTaken);
    return result;
}

// One reception from the policy's verdict to the close, into r. Error boxes are the
// caller's. *refusal receives the text id of a refusal.
ReceiveResult receive(Reception& r, StreamReader reader, Socket connection, unsigned stopsAtArrival,
                      const ReceiveTerms& terms, Verdict verdict, int* refusal) {
    if (refuses(verdict)) {
        *refusal = refusalText(verdict);
        return refuse(connection, verdict, terms.sender);
    }
    r.sender = terms.sender;
    r.byBrowser = terms.byBrowser;
    r.dropCut = terms.dropCut;
    r.shutOnStop = terms.shutOnStop;
    r.syncWhole = terms.syncWhole;
    r.trustedName = terms.trustedName;
    r.orderlyEnd = terms.orderlyEnd;
    r.verified = terms.verified;
    r.mayStore = verdict == Verdict::Allowed;  // otherwise the user is asked first
    ReceiveResult ended;
    if (!begin(r, connection, stopsAtArrival, &ended) || !answerAdmitted(r, reader, connection, &ended)) {
        *refusal = r.refusal;
        return ended;
    }
    r.windowsRules = localWindowsRules();
    expirePartialFiles(r.store);
    r.reader = std::move(reader);
    r.block.assign(kHeaderBlockLimit + 1, '\0');
    int64_t total = 0;
    if (!readHeader(r, connection, &total, &ended)) return ended;
    if (!fits(r, connection, total)) {
        *refusal = IDS_NO_FREE_SPACE;
        return ReceiveResult::NoRoom;
    }
    const ReceiveResult result = receiveBody(r, connection, total);
    *refusal = r.refusal;
    return result;
}

// A private offer's tally beyond "complete" (resumed, skipped, refused files), "" for none.
std::string offerTally(const Reception& r) {
    if (!r.verified) return std::string();
    const VerifiedReception& v = *r.verified;
    return tallyText(TransferTally{v.stored, v.resumed, v.skipped, v.refused, true}, portText);
}

// The reception's entry in the history. A connection that offered nothing to store (turned
// away while another reception ran, silent, an address hand-over, or a header without a
// folder or file, which nobody was asked about) leaves none; one refused before anything
// was written leaves one without names.
void recordReception(const Reception& r, const ReceiveTerms& terms, ReceiveResult result, int refusal) {
    HistoryOutcome outcome = HistoryOutcome::Refused;
    int reason = refusal;
    switch (result) {
        case ReceiveResult::Complete: outcome = HistoryOutcome::Complete; break;
        case ReceiveResult::Incomplete:
            outcome = HistoryOutcome::Incomplete;
            reason = IDS_RECEIVING_INCOMPLETE;
            break;
        case ReceiveResult::Cancelled:
            outcome = HistoryOutcome::Canceled;
            reason = IDS_CANCELED;
            break;
        case ReceiveResult::Refused:
        case ReceiveResult::NoRoom: break;
        case ReceiveResult::WrongVersion: reason = IDS_OLD_VERSION; break;
        case ReceiveResult::NoStorePath: reason = IDS_NO_STORE_PATH; break;
        default: return;
    }
    HistoryEntry entry = receivedEntry(terms.door, terms.sender, outcome);
    if (!terms.trustedName.empty()) entry.peer = terms.trustedName;
    entry.names = r.names;
    entry.files = r.filesTaken;
    entry.bytes = r.bytes;
    entry.folder = r.store;
    entry.reason = reason ? shownText(reason, terms.sender) : std::string();
    const std::string tally = offerTally(r);
    if (!tally.empty()) entry.reason += (entry.reason.empty() ? "" : " ") + tally;
    recordReceived(std::move(entry), terms.sender, reason);
}

// Counts the reception while it runs (the program's end waits for it), records it, then
// shows an error box where one is due, once the admission and the count are given up.
ReceiveResult receiveCounted(StreamReader reader, Socket connection, unsigned stopsAtArrival, const ReceiveTerms& terms,
                             Verdict verdict) {
    ++receptionsRunning;
    int refusal = 0;
    Reception r;
    const ReceiveResult result = receive(r, std::move(reader), connection, stopsAtArrival, terms, verdict, &refusal);
    --receptionsRunning;
    recordReception(r, terms, result, refusal);
    if (!terms.trustedName.empty()) portSetPrivatePeer(std::string());  // the mark ends with its reception
    if (terms.refusal) *terms.refusal = refusal;
    if (result == ReceiveResult::NoStorePath) showErrorBox(IDS_NO_STORE_PATH);
    if (result == ReceiveResult::WrongVersion) showErrorBox(IDS_OLD_VERSION);
    return result;
}
}  // namespace

int refusalText(Verdict verdict) {
    if (verdict == Verdict::Paused) return IDS_REFUSED_PAUSED;
    if (verdict == Verdict::NotListed) return IDS_REFUSED_NOT_LISTED;
    if (verdict == Verdict::NotTrusted) return IDS_REFUSED_NOT_TRUSTED;
    return IDS_REFUSED_RECENTLY;
}

void showRefusal(Verdict verdict, uint32_t sender) { portShowRefusal(refusalText(verdict), netDotted(sender)); }

void showNoRoom(uint32_t sender) {
    portShowRefusal(IDS_NO_FREE_SPACE, netDotted(sender));
    recordRefusal(HistoryDoor::BrowserUpload, sender, IDS_NO_FREE_SPACE);
}

ReceiveResult admitBrowserText(uint32_t sender, const std::string& text) {
    const int64_t size = static_cast<int64_t>(text.size());
    const unsigned stops = stopCount;
    const Verdict verdict = receiveVerdict(sender, tickCount(), true);
    if (refuses(verdict)) {
        showRefusal(verdict, sender);
        recordRefusal(HistoryDoor::Text, sender, refusalText(verdict), text.substr(0, kHistoryMostTextBytes));
        return ReceiveResult::Refused;
    }
    if (verdict == Verdict::Allowed) return ReceiveResult::Complete;
    if (receivingEnded || !takeFreeReception()) return ReceiveResult::TurnedAway;
    ++receptionsRunning;                   // the program's end stops the question and waits for it
    holdReception(kInvalidSocket, false);  // a connection arriving meanwhile is turned away at once
    int answer = claimReception(stops, kInvalidSocket) ? askUser(sender, size, true) : kAskStopped;
    forgetTransferSocket(receiveSocket);
    releaseReception();
    --receptionsRunning;
    if (answer > 0) {
        portShowRefusal(answer, netDotted(sender));
        recordRefusal(HistoryDoor::Text, sender, answer, text.substr(0, kHistoryMostTextBytes));
    }
    return answer == 0 ? ReceiveResult::Complete : answer > 0 ? ReceiveResult::Refused : ReceiveResult::Cancelled;
}

ReceiveResult receiveArrival(const Arrival& arrival) {
    const int stall = receiveStallMilliseconds;
    netSetReceiveTimeout(arrival.connection, stall);
    StreamReader reader;
    startSocketReader(reader, arrival.connection);
    reader.blockMilliseconds = kHeaderBlockMilliseconds;
    reader.stallMilliseconds = stall;
    reader.progressAt = tickCount();
    ReceiveTerms terms;
    terms.sender = arrival.sender;
    ReceiveResult result = receiveCounted(std::move(reader), arrival.connection, arrival.stops, terms, arrival.verdict);
    if (result == ReceiveResult::Complete) rememberPeer(arrival.sender);
    return result;
}

ReceiveResult receiveConnection(Socket connection) {
    Arrival arrival;
    arrival.connection = connection;
    arrival.stops = stopCount;
    if (!netPeerAddress(connection, &arrival.sender)) {
        netCloseAbortive(connection);  // gone already
        return ReceiveResult::NothingSent;
    }
    arrival.verdict = receiveVerdict(arrival.sender, tickCount(), false);
    return receiveArrival(arrival);
}

ReceiveResult receiveStream(StreamReader reader, Socket connection, const ReceiveTerms& terms) {
    const unsigned stops = terms.stops ? *terms.stops : stopCount.load();
    const Verdict verdict = receiveVerdict(terms.sender, tickCount(), terms.byBrowser, terms.trusted);
    return receiveCounted(std::move(reader), connection, stops, terms, verdict);
}

namespace {
// The browser uploads that run together, and the one question about a browser's upload.
std::mutex browserLock;
std::condition_variable browserAnswered;  // the question ended
int browserPieces = 0;                    // joined pieces
int64_t browserReceived = 0, browserTotal = 0;
bool browserCut = false, browserWhole = false, browserAsking = false;
// The uploads' entry in the history, made when they end with a file whole, one cut, or a
// Stop: pieces that only carried files further belong to the uploads that follow them.
HistoryEntry browserEntry;
bool browserEntryOpen = false;
int browserPercent = -1;
uint32_t browserRateAt = 0;

// The first piece takes the one reception and shows that receiving began. Each piece
// claims its start against Stop: a Stop that ended the earlier pieces does not end it.
// Called with browserLock held.
ReceiveResult joinLocked(unsigned stops, int64_t total, const BrowserPiece& piece) {
    const bool first = browserPieces == 0;
    if (first && (receivingEnded || !takeFreeReception())) return ReceiveResult::TurnedAway;
    if (!claimReception(stops, kInvalidSocket)) {
        if (first) releaseReception();
        return ReceiveResult::Cancelled;
    }
    if (first) {
        browserReceived = browserTotal = 0;
        browserCut = browserWhole = false;
        browserPercent = -1;
        browserRateAt = tickCount();
        progressNow = ReceiveProgress{0, 0, browserRateAt};
        holdReception(kInvalidSocket, false);
        receptionReading(0);
        portSetButtonsTransferring();
        writeUnlessStopped(cancelRequested, [] {
            portSetStatusText(IDS_RECEIVING);
            portSetProgress(0, 0);
        });
    }
    if (!browserEntryOpen && piece.sender) {
        browserEntry = receivedEntry(HistoryDoor::BrowserUpload, piece.sender, HistoryOutcome::Complete);
        browserEntry.folder = piece.store;
        browserEntryOpen = true;
    }
    ++browserPieces;
    ++receptionsRunning;
    browserTotal += total;
    progressNow.total = browserTotal;
    receptionAddTotal(total);
    return ReceiveResult::Complete;
}
}  // namespace

ReceiveResult joinBrowserUploads(unsigned stops, int64_t total, const BrowserPiece& piece) {
    std::lock_guard<std::mutex> guard(browserLock);
    return joinLocked(stops, total, piece);
}

void browserUploadProgress(int64_t bytes) {
    std::lock_guard<std::mutex> guard(browserLock);
    browserReceived += bytes;
    browserEntry.bytes += bytes;
    progressNow.received = browserReceived;
    receptionReceived(browserReceived);
    if (cancelRequested) return;
    const int percent = receivePercent(browserReceived, browserTotal);
    if (percent != browserPercent) {
        browserPercent = percent;
        writeUnlessStopped(cancelRequested, [percent] { portSetProgress(percent, percent); });
    }
    const uint32_t now = tickCount();
    if (now - browserRateAt <= static_cast<uint32_t>(kRateInterval)) return;
    browserRateAt = now;
    const int64_t rate = receiveRate(browserReceived, now - progressNow.startTick);
    writeUnlessStopped(cancelRequested, [rate] {
        portSetStatusFormatted(IDS_RECEIVING_RATE, static_cast<int>(static_cast<uint32_t>(rate)));
    });
}

namespace {
// The uploads' entry once they have ended in a way the user sees (called with browserLock
// held); none while they only carried files further.
bool takeBrowserEntry(HistoryEntry* entry) {
    if (!browserEntryOpen || (!browserCut && !browserWhole && !cancelRequested)) return false;
    browserEntry.outcome = cancelRequested ? HistoryOutcome::Canceled
                           : browserCut    ? HistoryOutcome::Incomplete
                                           : HistoryOutcome::Complete;
    const int reason = cancelRequested ? IDS_CANCELED : browserCut ? IDS_RECEIVING_INCOMPLETE : 0;
    if (reason) browserEntry.reason = portText(reason);
    *entry = std::move(browserEntry);
    browserEntry = HistoryEntry();
    browserEntryOpen = false;
    return true;
}

void leaveLocked(PieceEnd end, const std::string& storedName) {
    browserCut = browserCut || end == PieceEnd::Cut;
    browserWhole = browserWhole || end == PieceEnd::FileWhole;
    if (end == PieceEnd::FileWhole) {
        addHistoryName(browserEntry.names, storedName);
        ++browserEntry.files;
    }
    --receptionsRunning;
    if (--browserPieces > 0) return;
    receptionEnding();
    // Pieces that only carried a file further say nothing yet: its last one will.
    writeUnlessStopped(cancelRequested, [] {
        if (browserCut) {
            portSetStatusText(IDS_RECEIVING_INCOMPLETE);
        } else if (browserWhole) {
            portSetProgress(100, 0);
            portSetStatusText(IDS_RECEIVING_COMPLETE);
        }
    });
    portSetButtonsIdle();
    releaseReception();
}
}  // namespace

void leaveBrowserUploads(PieceEnd end, const std::string& storedName) {
    HistoryEntry entry;
    bool ended = false;
    {
        std::lock_guard<std::mutex> guard(browserLock);
        leaveLocked(end, storedName);
        ended = browserPieces == 0 && takeBrowserEntry(&entry);
    }
    if (ended) recordReceived(std::move(entry), 0, 0);
}

void showNoStorePathBox() { showErrorBox(IDS_NO_STORE_PATH); }

ReceiveResult admitBrowserUpload(uint32_t sender, int64_t size, unsigned stops) {
    std::unique_lock<std::mutex> lock(browserLock);
    for (;;) {
        const Verdict verdict = receiveVerdict(sender, tickCount(), true);
        if (refuses(verdict)) {
            lock.unlock();
            showRefusal(verdict, sender);
            recordRefusal(HistoryDoor::BrowserUpload, sender, refusalText(verdict));
            return ReceiveResult::Refused;
        }
        if (verdict == Verdict::Allowed) return ReceiveResult::Complete;
        if (stopCount != stops) return ReceiveResult::Cancelled;
        if (!browserAsking) break;
        // Another upload's question is open: its answer may be this browser's too.
        browserAnswered.wait_for(lock, std::chrono::milliseconds(kQuestionLookMilliseconds));
    }
    // The question holds the reception while it is open, as any reception's question does.
    const ReceiveResult joined = joinLocked(stops, 0, BrowserPiece());
    if (joined != ReceiveResult::Complete) return joined;
    browserAsking = true;
    lock.unlock();
    const int answer = askUser(sender, size, true);
    leaveBrowserUploads(PieceEnd::Taken);
    lock.lock();
    browserAsking = false;
    lock.unlock();
    browserAnswered.notify_all();
    if (answer > 0) {
        portShowRefusal(answer, netDotted(sender));
        recordRefusal(HistoryDoor::BrowserUpload, sender, answer);
    }
    return answer == 0 ? ReceiveResult::Complete : answer > 0 ? ReceiveResult::Refused : ReceiveResult::Cancelled;
}

bool endReceiving(int milliseconds) {
    receivingEnded = true;
    if (receptionsRunning > 0) stopTransfers();
    const uint32_t start = tickCount();
    while (receptionsRunning > 0 && tickCount() - start < static_cast<uint32_t>(milliseconds)) sleepMilliseconds(10);
    return receptionsRunning == 0;
}
