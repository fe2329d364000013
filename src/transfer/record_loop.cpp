// The records of a reception after its header: folders made, files' content moved from the
// connection into the store, each record's kind handed to its own step.
#include "core/central_state.h"
#include "core/text_routines.h"
#include "core/window_port.h"
#include "doors/reception.h"
#include "platform/threads.h"
#include "resource.h"
#include "store/store_files.h"
#include "transfer/existing_files.h"
#include "transfer/hash_worker.h"
#include "store/name_claims.h"
#include "transfer/reception.h"
#include "transfer/side_reception.h"
#include "transfer/stop.h"
#include "transfer/reception_history.h"

// Reads one block into r.block and returns its length. A block cut short by the end of
// the stream keeps its last line: the parse needs its line feed, and a directory record
// that lost it must still count. One cut by time may have lost the end of that line.
int readBlock(Reception& r, bool completeLastLine, bool* cut) {
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
    record.blockBytes = length;
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
    if (r.side < 0) receptionReceived(r.progress->received);
    if (*r.cancel) return;  // Stop has set the bar to 0 and shown its text
    int percent = receivePercent(r.progress->received, r.progress->total);
    if (percent != r.percent) {  // the bar only moves by whole percents
        r.percent = percent;
        if (r.side >= 0) sideProgress(r, percent);
        else writeUnlessStopped(cancelRequested, [&] { portSetProgress(percent, percent); });
    }
    if (r.side >= 0) return;  // a side reception's row shows no speed: the bar sums them
    uint32_t now = tickCount();
    if (now - r.lastUpdate > static_cast<uint32_t>(kRateInterval)) {
        r.lastUpdate = now;
        int64_t rate = receiveRate(progressNow.received, now - progressNow.startTick);
        writeUnlessStopped(cancelRequested, [&] {
            portSetStatusFormatted(IDS_RECEIVING_RATE, static_cast<int>(static_cast<uint32_t>(rate)));
        });
    }
}

// A file record's content is in the store under its name, or kept both under keptAs
// (whole: it counts as a file). Call after targetPath for the same record.
void noteStored(Reception& r, const Record& record, bool whole, const std::string& keptAs) {
    addHistoryName(r.names, !r.folder.top.empty() ? r.folder.top : keptAs.empty() ? record.name : keptAs);
    if (whole) ++r.filesTaken;
    if (r.side < 0) receptionStored(record.blockBytes);  // progress: a record that stores nothing is none
}

// The local path of a file record, or "" when the record may not be stored.
std::string targetPath(Reception& r, const Record& record) {
    return storeFilePath(r.store, r.folder, record.directory, record.name, r.windowsRules);
}

namespace {
// Creates the record's folder and every folder above it, below the store path only.
void createFolders(Reception& r, const Record& record) {
    std::string top;
    if (!makeRecordFolders(r.store, record.directory, r.windowsRules, &top)) {
        r.missed = true;
        return;
    }
    if (!top.empty()) addHistoryName(r.names, top);
    if (r.side < 0) receptionStored(record.blockBytes);
}

// Large content goes from the connection into the file inside the system when it can:
// false when it cannot (nothing was read then). A file that refuses bytes is closed,
// and the rest of its content read and dropped in the buffered way.
bool receiveDirect(Reception& r, FileHandle& file, int room, int64_t* remaining, bool* open) {
    if (*r.cancel) return false;
    bool written = true;
    int n = readContentIntoFile(r.reader, file, room, &written);
    if (n == kNoDirectPath) return false;
    if (n <= 0) {
        *open = false;  // the stream ended; the file keeps what arrived
        return true;
    }
    *remaining -= n;
    r.progress->received += n;
    updateProgress(r);
    if (!written) {
        r.missed = true;
        fileClose(file);
        file = kInvalidFile;
    }
    return true;
}

}  // namespace

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
        if (!hash && !*r.cancel && (filled = takeBuffered(r.reader, room, &bytes)) > 0) {
            r.progress->received += filled;
            updateProgress(r);
        }
        while (filled < room && !*r.cancel) {
            int n = readContent(r.reader, into + filled, room - filled);
            if (n <= 0) {
                open = false;  // the stream ended; the file keeps what arrived
                break;
            }
            filled += n;
            r.progress->received += n;
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

namespace {
// Moves the content into the file. A file that cannot be written to still has its
// content read, and dropped, so that it is never taken for a header.
void receiveFile(Reception& r, const Record& record) {
    const std::string path = targetPath(r, record);
    const bool besideAny = !existingReplaces();
    const StoreNameClaim claim(path, *r.cancel);  // a side reception may be writing the same name
    StoreTarget target = !claim.held ? StoreTarget() : openStoreTarget(path, record.name.size(), besideAny);
    if (target.file == kInvalidFile) {
        r.missed = true;
        if (record.size > 0) skipContent(r.reader, record.size);
        return;
    }
    const int64_t remaining = moveContent(r, target.file, record.size, nullptr);
    // Whole content beside a file of the same name: replaced, kept both or skipped.
    const bool beside = !target.temporary.empty() && remaining <= 0 && target.file != kInvalidFile;
    const std::string name = beside ? relativeRecordName(record.directory, record.name, r.windowsRules) : "";
    const ExistingAction action = beside ? existingActionFor(r, target.temporary, path, name) : ExistingAction::Replace;
    std::string placed;
    // Cut short, refused by the disk, or not on it: new or replacing, it did not arrive.
    const StoreEnd end = closeStoreTarget(target, path, remaining <= 0, r.syncWhole, r.dropCut, action, &placed);
    const std::string keptAs = keptName(placed, path, record.name.size());
    const bool arrived = end == StoreEnd::Whole || end == StoreEnd::Skipped;
    if (arrived) noteExistingEnd(r.existing, name, action, keptAs);
    if (!arrived) r.missed = true;
    // A skipped file counts as taken: the file of its name is the one the user wants.
    if (end != StoreEnd::Dropped) noteStored(r, record, end != StoreEnd::Kept, keptAs);
}
}  // namespace

void receiveRecords(Reception& r) {
    while (r.reader.lastResult > 0) {
        Record record = readRecord(r);
        // An address record stores nothing: a peer's answer to discovery is never a question.
        const bool file = record.type == "file", stores = file || record.type == "directory";
        if (!record.type.empty()) ++r.records;
        // Empty blocks, and records that store nothing, are no progress: the stall limit
        // counts from the last folder or file.
        if (stores) r.reader.progressAt = tickCount();
        if (stores && !r.mayStore && !askToStore(r)) break;
        // A verified reception without its file step ends here: no file is stored unchecked.
        if (file && r.verified && !r.verified->steps) {
            r.missed = true;
            break;
        }
        r.stored = r.stored || stores;
        if (!stores && record.type == "ip") receiveAddress(r, record);
        else if (stores && !file) createFolders(r, record);
        else if (file && record.cut) r.missed = true;  // name or folder may be cut
        else if (file && r.verified) r.verified->steps->file(r, record);
        else if (file) receiveFile(r, record);
        if (file) r.reader.progressAt = tickCount();  // its content came until now
        if (*r.cancel) break;
    }
    // The peer went silent, or a stream that ends only in order was cut.
    if (r.reader.lastResult == kReceiveTimedOut || (r.orderlyEnd && r.reader.lastResult < 0)) r.missed = true;
}
