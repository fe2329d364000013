#include "web/upload_files.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "core/window_port.h"
#include "platform/files.h"
#include "policy/existing_choice.h"
#include "store/store_files.h"
#include "store/store_names.h"
#include "store/upload_partials.h"
#include "transfer/receiver.h"
#include "transfer/stop.h"
#include "web/access_token.h"

namespace {
constexpr size_t kPieceBuffer = 1024 * 1024;  // body bytes on their way to the disk

// The bytes that pieces arriving now still bring. The disk's free space counts what was
// written already, so a piece is taken only if it fits beside these; an upload's declared
// length holds nothing back until its bytes come.
std::mutex roomLock;
int64_t awaitedBytes = 0;

bool fitsBesideAwaited(const std::string& store, int64_t count) { return storeHasRoom(store, count, awaitedBytes); }

// Counts a piece of count bytes in awaitedBytes if it fits.
bool awaitPiece(const std::string& store, int64_t count) {
    std::lock_guard<std::mutex> guard(roomLock);
    if (!fitsBesideAwaited(store, count)) return false;
    awaitedBytes += count;
    return true;
}

// Bytes written (and counted by the disk now) or no longer coming.
void pieceBytesDone(int64_t count) {
    std::lock_guard<std::mutex> guard(roomLock);
    awaitedBytes -= count;
}

// What a whole upload does to a file of its name: as on port 2904, but a browser cannot be
// asked here, so asking keeps both.
ExistingAction uploadExistingAction() {
    switch (existingChoice()) {
        case ExistingChoice::Replace: return ExistingAction::Replace;
        case ExistingChoice::SkipIdentical: return ExistingAction::SkipSame;
        default: return ExistingAction::KeepBoth;
    }
}

// The last bytes arrived: the file reaches the disk, then takes its name (*top: the
// top-level name it is stored under; *existing: what became of it when its name was taken).
bool storeWhole(PartialUpload& upload, const std::string& utf8Name, std::string* top, ExistingEnd* existing) {
    std::vector<std::string> path;
    if (!uploadNameParts(utf8Name, &path)) path.clear();
    std::string stored = path.empty() ? std::string() : path.back();
    if (!nameGrownFile(upload.file, upload.length, upload.store, upload.path, path, uploadExistingAction(),
                       &existing->action, &stored))
        return false;
    existing->name = utf8Name;
    if (existing->action == ExistingAction::KeepBoth) existing->keptAs = stored;
    // A file kept both at the top level is in the history under the name it took.
    *top = path.size() == 1 ? stored : path.front();
    uploadPartialGone(upload.store, &upload.path);
    return true;
}

// Reads and writes count bytes; false when the body was cut, the disk refused, or a Stop came.
bool copyPiece(PartialUpload& upload, int64_t count, const BodyRead& read, unsigned stops) {
    std::vector<char> buffer(static_cast<size_t>(std::min<int64_t>(std::max<int64_t>(count, 1), kPieceBuffer)));
    while (count > 0 && stopCount == stops) {
        const int n = read(buffer.data(),
                           static_cast<int>(std::min<int64_t>(count, static_cast<int64_t>(buffer.size()))));
        if (n <= 0 || stopCount != stops) return false;
        if (!fileWriteAll(upload.file, buffer.data(), static_cast<size_t>(n))) return false;
        pieceBytesDone(n);
        upload.offset += n;
        count -= n;
        browserUploadProgress(n);
    }
    return count == 0;
}
}  // namespace

UploadOutcome admitUpload(const std::string& utf8Name, int64_t length, uint32_t sender, unsigned stops) {
    std::vector<std::string> path;
    if (length < 0 || !uploadNameParts(utf8Name, &path)) return UploadOutcome::BadName;
    if (!uploadNameFits(utf8Name)) return UploadOutcome::NameTooLong;
    const std::string store = portGetStorePath();
    if (store.empty()) {
        showNoStorePathBox();
        return UploadOutcome::NoStore;
    }
    // A folder that is a link now is refused before anything is asked or read; the
    // name is given only through folders checked again when the file is whole.
    if (passesThroughLink(store, std::vector<std::string>(path.begin(), path.end() - 1), kPathSeparator))
        return UploadOutcome::BadName;
    switch (admitBrowserUpload(sender, length, stops)) {
        case ReceiveResult::Complete: break;
        case ReceiveResult::Refused: return UploadOutcome::Refused;
        case ReceiveResult::TurnedAway: return UploadOutcome::Busy;
        default: return UploadOutcome::Stopped;
    }
    bool fits = false;
    {
        std::lock_guard<std::mutex> guard(roomLock);
        fits = fitsBesideAwaited(store, length);
    }
    if (!fits) {
        showNoRoom(sender);
        return UploadOutcome::NoRoom;
    }
    return UploadOutcome::Saved;
}

UploadOutcome openPartial(int64_t length, PartialUpload* upload) {
    upload->store = portGetStorePath();
    upload->length = length;
    upload->offset = 0;
    const std::string random = newAccessToken();
    if (upload->store.empty() || random.empty()) return UploadOutcome::NoStore;
    bool throughLink = false;
    upload->file = openUploadPartial(upload->store, random, &upload->path, &throughLink);
    if (upload->file != kInvalidFile) return UploadOutcome::Saved;
    return throughLink ? UploadOutcome::BadName : UploadOutcome::NotSaved;
}

UploadOutcome receivePiece(PartialUpload& upload, const std::string& utf8Name, int64_t count, const BodyRead& read,
                           unsigned stops) {
    if (upload.file == kInvalidFile || count < 0 || count > upload.length - upload.offset)
        return UploadOutcome::NotSaved;
    if (!awaitPiece(upload.store, count)) {
        showNoRoom(upload.sender);
        return UploadOutcome::NoRoom;
    }
    const ReceiveResult joined = joinBrowserUploads(stops, count, BrowserPiece{upload.sender, upload.store});
    if (joined != ReceiveResult::Complete) {
        pieceBytesDone(count);
        return joined == ReceiveResult::TurnedAway ? UploadOutcome::Busy : UploadOutcome::Stopped;
    }
    const int64_t from = upload.offset;
    // A piece goes at the offset told, whatever an earlier one the disk refused left past it.
    const bool taken = fileSeek(upload.file, upload.offset) && copyPiece(upload, count, read, stops);
    pieceBytesDone(count - (upload.offset - from));
    const bool last = taken && upload.offset == upload.length;
    std::string top;
    ExistingEnd existing;
    const bool stored = last && storeWhole(upload, utf8Name, &top, &existing);
    if (last && !stored) dropPartial(upload);
    leaveBrowserUploads(!taken || (last && !stored) ? PieceEnd::Cut
                        : last                      ? PieceEnd::FileWhole
                                                    : PieceEnd::Taken,
                        top, existing);
    if (stopCount != stops && !last) return UploadOutcome::Stopped;
    return taken && (!last || stored) ? UploadOutcome::Saved : UploadOutcome::NotSaved;
}

void dropPartial(PartialUpload& upload) { dropUploadPartial(upload.store, &upload.file, &upload.path); }

void removeLeftoverPartials(const std::string& store) { removeLeftoverUploadPartials(store); }
