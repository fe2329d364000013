#include "private/verified_files.h"

#include <algorithm>
#include <ctime>

#include "doors/reception.h"
#include "platform/threads.h"
#include "private/arrived_batch.h"
#include "private/offer_answers.h"
#include "store/name_claims.h"
#include "store/partial_store.h"
#include "store/store_files.h"
#include "store/store_names.h"
#include "transfer/existing_files.h"
#include "transfer/partial_files.h"
#include "transfer/stop.h"

namespace {
// A new file at least this large is recorded as a partial file before its content comes:
// a receiver killed meanwhile, or one that has not yet noticed a cut when the sender tries
// again, still answers what it holds. Smaller files are not worth the index's rewrite.
constexpr int64_t kRecordedBeforeContent = 16 << 20;

void pushStrangerReception() { pushStrangerOut(shutReception); }

// The record's path relative to the store, '/' between its components ("" when unsafe).
std::string relativeTarget(const Reception& r, const Record& record) {
    return relativeRecordName(record.directory, record.name, r.windowsRules);
}

void refuseFile(Reception& r, const Record& record) {
    VerifiedReception& v = *r.verified;
    r.missed = true;
    ++v.refused;
    if (v.failed.size() < kMostFailedNamed) v.failed.push_back(relativeTarget(r, record));
}

// Where a verified file's content goes: a kept partial file of this sender cut to the
// record's offset (its first bytes fed to hash), or a new hidden partial file beside the
// target. Its relative path in *relative, its local path in *local.
FileHandle openVerifiedTarget(Reception& r, const Record& record, const std::string& target, ContentHash* hash,
                              std::string* relative, std::string* local) {
    VerifiedReception& v = *r.verified;
    if (record.offset > 0) {
        const FileHandle kept = takeAnsweredResume(v.answers, r.store, target, record.size, record.offset, hash,
                                                   relative);
        if (kept != kInvalidFile) *local = partialLocalPath(r.store, *relative);
        return kept;
    }
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const unsigned seed = nextPartialNumber();
    // The record's folder as targetPath found it, checked once for all the records in it.
    return createPartialFile(r.folder.path, folder, seed, relative, local);
}

void recordBeforeContent(const Reception& r, const PartialRecord& partial) {
    const auto add = [](std::vector<PartialRecord>& records, void* context) {
        records.push_back(*static_cast<const PartialRecord*>(context));
    };
    PartialRecord copy = partial;
    editPartialIndex(r.store, add, &copy);
}

// The check block that follows a file's content (after the empty block that starts it).
std::string readCheck(Reception& r) {
    for (int i = 0; i < 2 && r.reader.lastResult > 0; ++i) {
        const Record check = readRecord(r);
        if (!check.type.empty()) return check.type == "check" ? check.sha256 : std::string();
    }
    return std::string();
}
}  // namespace

// A file record of a private offer. The file takes its name only once its content is whole
// and its hash is the sender's; one that was cut stays as a partial file (when kept).
void receiveVerifiedFile(Reception& r, const Record& record) {
    VerifiedReception& v = *r.verified;
    const std::string path = targetPath(r, record);
    const std::string target = path.empty() ? std::string() : relativeTarget(r, record);
    if (record.skip) {  // the receiver said it has it whole: nothing follows
        if (!target.empty() && takeAnsweredSkip(v.answers, target, path, record.size)) {
            ++v.skipped;
            if (existingSkipsSame()) noteExistingEnd(r.existing, target, ExistingAction::Skip, "");
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
    std::string temporary, temporaryPath;
    // Another reception beside this one may be writing the same name: it is waited for, and
    // a stranger's that takes too long is pushed out for a trusted computer's.
    if (!target.empty()) nameBeforeClaim(r, v.arrived, path);
    // A file too large to wait with the others lets them take their names first: its
    // content may take long to come.
    if (v.arrived && !joinsBatch(v.arrived, record.size)) handArrivedOn(r, *v.arrived);
    StoreNameClaim claim(target.empty() ? std::string() : path, *r.cancel,
                         r.trustedName.empty() ? nullptr : pushStrangerReception);
    FileHandle file = !claim.held || !fits || !hash
                          ? kInvalidFile
                          : openVerifiedTarget(r, record, target, hash, &temporary, &temporaryPath);
    if (file == kInvalidFile) {
        contentHashFree(hash);
        refuseFile(r, record);
        skipContent(r.reader, content);
        readCheck(r);
        return;
    }
    const PartialRecord partial{temporary, target, record.size, v.senderId, static_cast<int64_t>(time(nullptr))};
    // Recorded now, it leaves the index like a resumed one when it ends whole or is dropped.
    const bool recorded = v.keepCut && record.offset == 0 && content >= kRecordedBeforeContent;
    if (recorded) recordBeforeContent(r, partial);
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
            v.kept.push_back(partial);
        } else if (record.offset > 0 || recorded) {
            v.finished.push_back(temporary);
        }
        return;
    }
    const bool verified = !ours.empty() && readCheck(r) == ours;
    if (record.offset > 0 || recorded) v.finished.push_back(temporary);
    // A name already taken is replaced, kept both or skipped as the choice in force says.
    ExistingAction action = ExistingAction::Replace;
    if (verified && !existingReplaces())
        action = pathEntryOf(path) == PathEntry::Missing ? ExistingAction::KeepBoth
                                                         : existingActionFor(r, temporaryPath, path, target);
    ArrivedFile arrived{temporaryPath, path, target, record, action, false, std::string()};
    // A file that failed its check is removed at once; a checked one of a batch's size
    // waits to take its name with the others.
    if (verified && joinsBatch(v.arrived, record.size)) {
        arrived.claimed = claim.handOver();  // the name stays claimed until it is taken
        addArrived(r, *v.arrived, file, std::move(arrived));
        return;
    }
    // A name that does not give way (read-only, a link, a FIFO...) refuses a replacing file.
    const std::string placed = namePartialFile(file, temporaryPath, path, verified, action, record.name.size());
    endNamed(r, arrived, placed, verified);
}

void endNamed(Reception& r, const ArrivedFile& f, const std::string& placed, bool verified) {
    VerifiedReception& v = *r.verified;
    if (!placed.empty() || (verified && f.action == ExistingAction::Skip)) {
        const std::string keptAs = keptName(placed, f.path, f.record.name.size());
        noteExistingEnd(r.existing, f.target, f.action, keptAs);
        ++(f.action == ExistingAction::Skip ? v.skipped : f.record.offset > 0 ? v.resumed : v.stored);
        noteStored(r, f.record, true, keptAs);
        removeStalePartials(r.store, v.partials, f.target, &v.finished);
        return;
    }
    refuseFile(r, f.record);
}

// The files still waiting take their names; then the partial files this reception cut
// are recorded, those it finished or dropped are not.
void recordPartials(Reception& r) {
    if (r.verified->arrived) nameArrived(r, *r.verified->arrived);
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
