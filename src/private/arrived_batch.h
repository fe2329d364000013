// A private offer's files that arrived whole and checked, taking their names together:
// their content reaches the disk in one sync of its volume, then each takes its name, then
// each folder they went to is synced once. Until its file is renamed, a crash leaves only
// its hidden partial file: nothing torn ever has a file's name. A batch is named on a
// thread of its own while the next one arrives; what became of its files is told on the
// reception's thread, when the next batch is handed on or the reception ends.
#pragma once
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "platform/job_thread.h"
#include "store/existing_names.h"
#include "transfer/reception.h"

// Bounds of one batch: its files are named once one of them is reached. A file larger
// than the bytes takes its name on its own, synced by itself.
// Two batches, one being named and one arriving, stay below the numbers a folder's
// partial names start from (kPartialNumbers).
constexpr size_t kMostArrivedFiles = 1000;
constexpr int64_t kMostArrivedBytes = 64LL << 20;
constexpr uint32_t kArrivedMilliseconds = 1000;  // since the batch's first file

struct ArrivedFile {
    std::string temporaryPath, path, target;  // where it is, where it goes, that relative to the store
    Record record;
    ExistingAction action = ExistingAction::Replace;  // for a name already taken
    bool synced = false;                              // on the disk already (no volume sync here)
    std::string claimed;                              // its claim on path (store/name_claims.h), held until named
};

// What a file's naming ends in: placed is the path it took ("" for none), durable whether
// its content was on the disk.
using ArrivedNamed = void (*)(Reception& r, const ArrivedFile& file, const std::string& placed, bool durable);

// A batch handed on to the naming thread, and what its files became.
struct NamingBatch {
    std::vector<ArrivedFile> files;
    std::vector<std::string> placed;  // the path each took, "" for none
    std::set<std::string> claims;     // the claimKey of each file's path
};

struct ArrivedBatch {
    std::vector<ArrivedFile> files;
    int64_t bytes = 0;
    uint32_t since = 0;
    ArrivedNamed named = nullptr;
    std::set<std::string> claims;  // the claimKey of each file's path
    JobThread* thread = nullptr;   // where a batch is named (nullptr: on the reception's)
    NamingBatch naming;            // the batch it names, until its end is told
};

// Whether a file of size bytes waits in the batch for its name rather than taking it alone.
bool joinsBatch(const ArrivedBatch* batch, int64_t size);
// A file of a name the batch holds claimed: the batch is named first, so that the
// reception never waits for its own claim.
void nameBeforeClaim(Reception& r, ArrivedBatch* batch, const std::string& path);
// Closes the file (synced first where a volume cannot be synced at once) and adds it; the
// batch is named when it reaches a bound.
void addArrived(Reception& r, ArrivedBatch& batch, FileHandle& file, ArrivedFile arrived);
// Tells named what became of the batch handed on before, then hands this one on: its
// content is synced, its files named in their order and their folders synced. The batch
// is empty afterwards.
void handArrivedOn(Reception& r, ArrivedBatch& batch);
// Hands the batch on and waits until every file handed on has its name, told to named.
void nameArrived(Reception& r, ArrivedBatch& batch);
