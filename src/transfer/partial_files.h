// What a cut private transfer leaves behind so that sending again resumes it, and what a
// transfer over the private channel tells both sides when it ends. Partial files are kept
// only for trusted senders: port 2904 and browser uploads remove a cut new file.
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

// What the receiver's final answer counted, as both sides show it: "3 files resumed,
// 997 already there".
struct TransferTally {
    int stored = 0;      // sent whole and verified
    int resumed = 0;     // continued from a kept partial file, and verified
    int skipped = 0;     // already there whole: nothing sent
    int refused = 0;     // not stored: a name, the disk, or content that did not verify
    bool known = false;  // the transfer went over the private channel and its answer came
};
// The tally of this process's latest send (Windows: shown after it; the command line prints it).
TransferTally lastSendTally();
// The latest send went over the private channel and was cut, stopped or left incomplete:
// sending the same selection to the same computer again resumes it (the Windows program
// offers "Resume").
bool lastSendResumable();
// The tally's line in the user's language, "" for one that is not known or has nothing to say
// beyond the result text. Without textOf, in English; the Windows program gives loadTextA.
std::string tallyText(const TransferTally& tally);
std::string tallyText(const TransferTally& tally, std::string (*textOf)(int id));

// The sender's note of how its latest send ended (runSend calls it).
void noteLastSend(const TransferTally& tally, bool resumable);

// The receiver's side. The index's records that still name a partial file, read under the
// index's lock; edit changes them, and they are written back atomically (the index file
// removed when none is left).
std::vector<PartialRecord> readPartialIndex(const std::string& storeFolder);
void editPartialIndex(const std::string& storeFolder, void (*edit)(std::vector<PartialRecord>&, void*), void* context);
