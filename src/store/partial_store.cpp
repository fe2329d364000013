#include "store/partial_store.h"

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "store/store_names.h"

std::atomic<int> keepPartialDays{kDefaultKeepPartialDays};

namespace {
constexpr int64_t kDaySeconds = 86400;
constexpr const char* kIndexTemporarySuffix = ".new";
constexpr const char* kIndexDamagedSuffix = ".damaged";
constexpr size_t kMostEntriesWalked = 100000;  // entries of the store looked at for unlisted partial files
constexpr int64_t kWalkSeconds = 3600;         // a store is walked for them at most this often

std::mutex indexLock;  // one edit of an index at a time (a reception, the user's deletion)
std::mutex walkLock;
std::string walkedStore;  // the store last walked for unlisted partial files, and when
int64_t walkedAt = 0;

std::string indexPath(const std::string& store) {
    std::string path = store;
    appendComponent(path, kPartialIndexName, kPathSeparator);
    return path;
}

std::string readIndexText(const std::string& store) {
    int64_t length = -1;
    const FileHandle file = fileOpenRead(indexPath(store), &length);
    std::string text;
    if (file == kInvalidFile) return text;
    text.resize(static_cast<size_t>(std::clamp<int64_t>(length, 0, kPartialIndexLimit)));
    size_t got = 0;
    while (got < text.size()) {
        const int64_t n = fileRead(file, &text[got], text.size() - got);
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    fileClose(file);
    text.resize(got);
    return text;
}

// Only records whose partial file is still there, a plain file below the store.
std::vector<PartialRecord> liveRecords(const std::string& store) {
    std::vector<PartialRecord> live;
    for (const PartialRecord& r : parsePartialIndex(readIndexText(store), localWindowsRules())) {
        const std::string path = partialLocalPath(store, r.temporary);
        if (!path.empty() && measureFileSize(path) >= 0) live.push_back(r);
    }
    return live;
}

// Anything but a regular file in the index's place (a folder, a link) is damage: it goes,
// or, a folder with something in it, is moved aside, so that the index can be written.
void clearIndexPlace(const std::string& path) {
    if (!isSymbolicLink(path) && (!pathExists(path) || measureFileSize(path) >= 0)) return;
    if (!isDirectory(path) || isSymbolicLink(path)) fileRemove(path);
    else if (!removeEmptyDirectory(path)) fileReplace(path, path + kIndexDamagedSuffix);
}

// A temporary beside the index, synced, then put in its place.
void writeIndex(const std::string& store, const std::vector<PartialRecord>& records) {
    const std::string path = indexPath(store);
    clearIndexPlace(path);
    if (records.empty()) {
        fileRemove(path);
        return;
    }
    std::string text;
    for (const PartialRecord& r : records)
        if (text.size() + kPartialLineLimit <= static_cast<size_t>(kPartialIndexLimit)) text += partialLine(r);
    const std::string temporary = path + kIndexTemporarySuffix;
    const FileHandle file = fileCreate(temporary);
    const bool written = file != kInvalidFile && fileWriteAll(file, text.data(), text.size()) && fileSync(file);
    fileClose(file);
    if (!written || !fileReplace(temporary, path)) {
        fileRemove(temporary);
        return;
    }
    fileSetHidden(path, true);
}

PartialSummary removeWhere(const std::string& store, bool (*gone)(const PartialRecord&, void*), void* context) {
    PartialSummary removed;
    std::lock_guard<std::mutex> guard(indexLock);
    std::vector<PartialRecord> records = liveRecords(store);
    std::vector<PartialRecord> kept;
    for (const PartialRecord& r : records) {
        if (!gone(r, context)) {
            kept.push_back(r);
            continue;
        }
        const std::string path = partialLocalPath(store, r.temporary);
        const int64_t size = measureFileSize(path);
        if (fileRemove(path)) {
            ++removed.count;
            removed.bytes += size;
        }
    }
    writeIndex(store, kept);
    return removed;
}

// The last write of the file at path in seconds since 1970; -1 when it cannot be told.
int64_t writtenAt(const std::string& path) {
    const FileHandle file = fileOpenRead(path);
    FileStamp stamp;
    const bool known = file != kInvalidFile && fileStampOf(file, &stamp);
    fileClose(file);
    return known ? unixSecondsOf(stamp) : -1;
}

// Partial files the index does not list (it was lost or damaged) go by their own last
// write, never younger than a day: a reception may be filling one that is not listed
// yet. The walk of the store is bounded, and enters no link and no upload folder.
void removeUnlisted(const std::string& store, int64_t before, PartialSummary* removed) {
    {
        // Receptions start often (a stranger may start many): the walk is not repeated for
        // each, since a day is the finest age it goes by.
        std::lock_guard<std::mutex> guard(walkLock);
        const int64_t now = static_cast<int64_t>(time(nullptr));
        if (store == walkedStore && now - walkedAt < kWalkSeconds && now >= walkedAt) return;
        walkedStore = store;
        walkedAt = now;
    }
    std::set<std::string> listed;
    for (const PartialRecord& r : readPartialIndex(store)) listed.insert(r.temporary);
    std::vector<std::pair<std::string, std::string>> folders{{store, std::string()}};  // local, relative
    size_t entries = 0;
    while (!folders.empty() && entries < kMostEntriesWalked) {
        const std::string local = folders.back().first, relative = folders.back().second;
        folders.pop_back();
        listDirectory(local, [&](const std::string& name, bool directory) {
            std::string path = local;
            appendComponent(path, name, kPathSeparator);
            if (directory && !isSymbolicLink(path) && name != kUploadFolderName)
                folders.emplace_back(path, relative + name + "/");
            const int64_t size = directory || !isPartialName(name) || listed.count(relative + name)
                                     ? -1
                                     : measureFileSize(path);
            const int64_t at = size >= 0 ? writtenAt(path) : -1;
            if (at >= 0 && at < before && fileRemove(path)) {
                ++removed->count;
                removed->bytes += size;
            }
            return ++entries < kMostEntriesWalked;
        });
    }
}
}  // namespace

std::vector<PartialRecord> readPartialIndex(const std::string& store) {
    std::lock_guard<std::mutex> guard(indexLock);
    return liveRecords(store);
}

void editPartialIndex(const std::string& store, void (*edit)(std::vector<PartialRecord>&, void*), void* context) {
    std::lock_guard<std::mutex> guard(indexLock);
    std::vector<PartialRecord> records = liveRecords(store);
    edit(records, context);
    writeIndex(store, records);
}

PartialSummary partialFilesIn(const std::string& store) {
    PartialSummary summary;
    for (const PartialRecord& r : readPartialIndex(store)) {
        ++summary.count;
        summary.bytes += std::max<int64_t>(0, measureFileSize(partialLocalPath(store, r.temporary)));
    }
    return summary;
}

PartialSummary deletePartialFiles(const std::string& store) {
    return removeWhere(
        store, [](const PartialRecord&, void*) { return true; }, nullptr);
}

PartialSummary expirePartialFiles(const std::string& store) {
    // Past their days, then the oldest while all of them together take more than a
    // quarter of the free space.
    const int64_t days = keepPartialDays;
    const int64_t now = static_cast<int64_t>(time(nullptr));
    std::vector<PartialRecord> records = readPartialIndex(store);
    std::sort(records.begin(), records.end(),
              [](const PartialRecord& a, const PartialRecord& b) { return a.cutAt > b.cutAt; });
    const int64_t room = freeSpace(store) / 4;
    int64_t total = 0, oldestKept = now - days * kDaySeconds + 1;
    for (const PartialRecord& r : records) {
        if (r.cutAt < oldestKept) break;
        total += std::max<int64_t>(0, measureFileSize(partialLocalPath(store, r.temporary)));
        if (room >= 0 && total > room) {
            oldestKept = r.cutAt + 1;  // this one and all older go
            break;
        }
    }
    if (days <= 0) oldestKept = INT64_MAX;
    PartialSummary removed = removeWhere(
        store, [](const PartialRecord& r, void* limit) { return r.cutAt < *static_cast<int64_t*>(limit); },
        &oldestKept);
    removeUnlisted(store, now - std::max<int64_t>(days, 1) * kDaySeconds, &removed);
    return removed;
}

void removeStalePartials(const std::string& store, const std::vector<PartialRecord>& partials,
                         const std::string& target, std::vector<std::string>* finished) {
    for (const PartialRecord& p : partials) {
        if (p.target != target || std::find(finished->begin(), finished->end(), p.temporary) != finished->end())
            continue;
        fileRemove(partialLocalPath(store, p.temporary));
        finished->push_back(p.temporary);
    }
}
