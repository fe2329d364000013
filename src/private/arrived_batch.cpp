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

// On the naming thread: touches nothing but the batch handed on, the disk and the claims.
void nameBatch(void* argument) {
    NamingBatch& batch = *static_cast<NamingBatch*>(argument);
    std::vector<std::string> folders;
    for (const ArrivedFile& f : batch.files) {
        std::string folder = folderOf(f.temporaryPath);
        if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(std::move(folder));
    }
    // One sync for all: a failure leaves none of them known to be on the disk.
    const bool volumes = kVolumeSync && syncVolumesOf(folders);
    {
        FolderSyncs renames;
        for (ArrivedFile& f : batch.files) {
            f.synced = volumes || f.synced;
            batch.placed.push_back(
                nameDurablePartial(f.temporaryPath, f.path, f.synced, f.action, f.record.name.size()));
        }
    }  // every folder's renames on the disk before anyone hears of them
    for (const ArrivedFile& f : batch.files)
        if (!f.claimed.empty()) releaseStoreName(f.claimed);
}

// Waits for the batch on the naming thread and tells named what became of its files.
void tellNamed(Reception& r, ArrivedBatch& batch) {
    waitJob(batch.thread);
    NamingBatch& done = batch.naming;
    for (size_t i = 0; i < done.files.size(); ++i) batch.named(r, done.files[i], done.placed[i], done.files[i].synced);
    done = NamingBatch();
}
}  // namespace

bool joinsBatch(const ArrivedBatch* batch, int64_t size) { return batch && size <= kMostArrivedBytes; }

void nameBeforeClaim(Reception& r, ArrivedBatch* batch, const std::string& path) {
    if (!batch || path.empty()) return;
    const std::string key = claimKey(path);
    if (batch->claims.count(key) || batch->naming.claims.count(key)) nameArrived(r, *batch);
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
        handArrivedOn(r, batch);
}

void handArrivedOn(Reception& r, ArrivedBatch& batch) {
    tellNamed(r, batch);
    if (batch.files.empty()) return;
    batch.naming.files = std::move(batch.files);
    batch.naming.claims = std::move(batch.claims);
    batch.files.clear();
    batch.claims.clear();
    batch.bytes = 0;
    runJob(batch.thread, nameBatch, &batch.naming);
}

void nameArrived(Reception& r, ArrivedBatch& batch) {
    handArrivedOn(r, batch);
    tellNamed(r, batch);
}
