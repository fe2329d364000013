#include "private/arrived_batch.h"

#include <algorithm>

#include "platform/threads.h"
#include "store/name_claims.h"
#include "store/store_files.h"

namespace {
std::string folderOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string(".") : path.substr(0, std::max<size_t>(slash, 1));
}
}  // namespace

bool joinsBatch(const ArrivedBatch* batch, int64_t size) { return batch && size <= kMostArrivedBytes; }

void nameBeforeClaim(Reception& r, ArrivedBatch* batch, const std::string& path) {
    if (batch && !path.empty() && batch->claims.count(claimKey(path))) nameArrived(r, *batch);
}

void addArrived(Reception& r, ArrivedBatch& batch, FileHandle& file, ArrivedFile arrived) {
    if (!kVolumeSync) arrived.synced = fileSync(file);
    fileClose(file);
    file = kInvalidFile;
    if (batch.files.empty()) batch.since = tickCount();
    batch.bytes += arrived.record.size;
    if (!arrived.claimed.empty()) batch.claims.insert(claimKey(arrived.claimed));
    batch.files.push_back(std::move(arrived));
    if (batch.files.size() >= kMostArrivedFiles || batch.bytes >= kMostArrivedBytes ||
        tickCount() - batch.since >= kArrivedMilliseconds)
        nameArrived(r, batch);
}

void nameArrived(Reception& r, ArrivedBatch& batch) {
    if (batch.files.empty()) return;
    std::vector<std::string> folders;
    for (const ArrivedFile& f : batch.files) {
        std::string folder = folderOf(f.temporaryPath);
        if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(std::move(folder));
    }
    // One sync for all: a failure leaves none of them known to be on the disk.
    const bool volumes = kVolumeSync && syncVolumesOf(folders);
    std::vector<std::string> placed;
    {
        FolderSyncs renames;
        for (ArrivedFile& f : batch.files) {
            f.synced = volumes || f.synced;
            placed.push_back(nameDurablePartial(f.temporaryPath, f.path, f.synced, f.action, f.record.name.size()));
        }
    }  // every folder's renames on the disk before anyone hears of them
    for (size_t i = 0; i < batch.files.size(); ++i) {
        if (!batch.files[i].claimed.empty()) releaseStoreName(batch.files[i].claimed);
        batch.named(r, batch.files[i], placed[i], batch.files[i].synced);
    }
    batch.files.clear();
    batch.claims.clear();
    batch.bytes = 0;
}
