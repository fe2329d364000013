#include "private/private_offer.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "core/central_state.h"
#include "core/text_routines.h"
#include "platform/threads.h"
#include "private/file_hash.h"
#include "private/private_channel.h"
#include "private/private_session.h"
#include "transfer/manifest.h"
#include "transfer/protocol.h"

namespace {
constexpr size_t kManifestPiece = 256 * 1024;  // manifest bytes gathered per write
constexpr int kMostAnswerLines = 64;           // FAILED lines read before the tally

// The manifest entries that get a file record, as sendFile writes it: index and record.
bool writeManifest(const Link& link, std::vector<size_t>* offered) {
    std::string bytes = transferHeaderBytes(totalSize);
    for (const std::string& entry : directoryList) {
        std::string folder = replaceAll("\\", "/", entry);
        if (toUtf8InPlace(folder, kManifestFieldLimit)) bytes += directoryRecordBytes(folder);
    }
    for (size_t i = 0; i < transferManifest.size(); ++i) {
        const ManifestEntry& entry = transferManifest[i];
        std::string folder = entry.relativeFolder, name = entry.name;
        if (entry.measuredSize < 0 || !toUtf8InPlace(folder, kManifestFieldLimit) ||
            !toUtf8InPlace(name, kManifestFieldLimit))
            continue;
        appendFileRecord(bytes, entry.measuredSize, name, folder);
        offered->push_back(i);
        if (bytes.size() >= kManifestPiece) {
            if (!linkWrite(link, bytes.data(), bytes.size())) return false;
            bytes.clear();
        }
    }
    bytes += "\n\nType:end\n\n";
    return linkWrite(link, bytes.data(), bytes.size());
}

// Where an entry's content starts, given the receiver's HAVE n hash: our own first n
// bytes must hash the same (a file changed since it was cut is sent whole). A file to
// resume keeps its hash state and stamp in *prefix.
int64_t startFor(const ManifestEntry& entry, const PrivateLine& answer, WaitLines* waiting, CheckedPrefix* prefix) {
    int64_t length = 0;
    std::string hex;
    if (answer.kind != LineKind::Have || !parseHave(answer.text, &length, &hex) || length > entry.measuredSize)
        return 0;
    const FileHandle file = fileOpenRead(entry.localPath);
    ContentHash* hash = file == kInvalidFile ? nullptr : contentHashStart();
    bool read = hash && fileStampOf(file, &prefix->stamp) && hashFileBytes(file, length, hash, tickWaitLine, waiting);
    fileClose(file);
    if (read && length < entry.measuredSize) {
        prefix->hash.reset(contentHashStart());
        read = contentHashSet(prefix->hash.get(), hash);
    }
    const bool same = read && contentHashFinal(hash) == hex;
    if (!read) contentHashFree(hash);
    if (!same) prefix->hash.reset();
    return same ? length : 0;
}
}  // namespace

std::string offerRecordLines(int64_t from, int64_t size) {
    if (from <= 0 || from > size) return std::string();
    return from == size ? std::string("Skip:1\n") : "Offset:" + std::to_string(from) + "\n";
}

std::string checkBlockBytes(const std::string& hex) { return "\n\nType:check\nSHA-256:" + hex; }

bool offerManifest(Link& link, int stallMilliseconds, std::vector<int64_t>* from,
                   std::map<size_t, CheckedPrefix>* prefixes, std::string* refusal) {
    from->assign(transferManifest.size(), 0);
    std::vector<size_t> offered;
    if (!writeManifest(link, &offered)) return false;
    // WAIT lines are life only while the receiver could still be hashing what it holds of
    // these files: a receiver that waits longer does not take the send.
    int64_t offeredBytes = 0;
    for (size_t index : offered) offeredBytes += transferManifest[index].measuredSize;
    const uint32_t start = tickCount();
    const int64_t within = waitLinesMilliseconds(stallMilliseconds, offeredBytes);
    size_t next = 0;
    WaitLines waiting{&link, &sendCancelRequested, tickCount(), false};  // ours while we check a HAVE
    for (;;) {
        const PrivateLine line = readPrivateLineWithin(link, kAnswerLineLimit, stallMilliseconds);
        if (line.kind == LineKind::Wait && tickCount() - start <= within) continue;
        if (line.kind == LineKind::Ready) return next == offered.size();
        if (line.kind == LineKind::Refused) *refusal = line.text;
        if ((line.kind != LineKind::Have && line.kind != LineKind::Need) || next == offered.size()) return false;
        const size_t index = offered[next++];
        CheckedPrefix prefix;
        (*from)[index] = startFor(transferManifest[index], line, &waiting, &prefix);
        if (waiting.failed) return false;
        if (prefix.hash) (*prefixes)[index] = std::move(prefix);
    }
}

bool privateOfferStored(Link& link, int stallMilliseconds, TransferTally* tally, std::vector<std::string>* failed,
                        std::string* refusal) {
    linkFinish(link);  // the orderly end of what we send
    for (int i = 0; i < kMostAnswerLines; ++i) {
        const PrivateLine answer = readPrivateLineWithin(link, kAnswerLineLimit, stallMilliseconds);
        if (answer.kind == LineKind::Failed) {
            failed->push_back(answer.text);
            continue;
        }
        if (answer.kind == LineKind::Refused) *refusal = answer.text;
        int counts[4] = {0, 0, 0, 0};
        const bool stored = answer.kind == LineKind::StoredTally && parseCounts(answer.text, counts, 3);
        if (stored || (answer.kind == LineKind::IncompleteTally && parseCounts(answer.text, counts, 4)))
            *tally = TransferTally{counts[0], counts[1], counts[2], counts[3], true};
        if (!stored) return false;
        // Only the receiver's orderly end proves that the answer was its whole word.
        char extra;
        return linkRead(&link, &extra, 1) == 0;
    }
    return false;
}
