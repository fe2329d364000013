// The partial files a cut private transfer leaves in the store so that sending again
// resumes it: their index (store/partial_record.h gives its lines), and their expiry.
// Partial files are kept only for trusted senders: port 2904 and browser uploads remove a
// cut new file.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "store/partial_record.h"

// Days a kept partial file stays (0: none is kept). The command line's --keep-partial,
// the Windows program's "KeepPartialDays" setting.
constexpr int kDefaultKeepPartialDays = 7;
extern std::atomic<int> keepPartialDays;

struct PartialSummary {
    int count = 0;
    int64_t bytes = 0;
};
// The partial files kept below the store folder.
PartialSummary partialFilesIn(const std::string& storeFolder);
// Removes every partial file kept below the store folder, and their record.
PartialSummary deletePartialFiles(const std::string& storeFolder);
// Removes those older than keepPartialDays, or past the size bound, oldest first; and
// partial files the record does not list, by their last write (at least a day old).
PartialSummary expirePartialFiles(const std::string& storeFolder);

// The receiver's side. The index's records that still name a partial file, read under the
// index's lock; edit changes them, and they are written back atomically (the index file
// removed when none is left).
std::vector<PartialRecord> readPartialIndex(const std::string& storeFolder);
void editPartialIndex(const std::string& storeFolder, void (*edit)(std::vector<PartialRecord>&, void*), void* context);
// A file of target that arrived whole makes the other partial files kept for it useless:
// each of partials for target that is not in *finished yet is removed and added to it.
void removeStalePartials(const std::string& storeFolder, const std::vector<PartialRecord>& partials,
                         const std::string& target, std::vector<std::string>* finished);
