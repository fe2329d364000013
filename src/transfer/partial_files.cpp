#include "transfer/partial_files.h"

#include <mutex>

#include "core/text_routines.h"
#include "core/texts.h"
#include "resource.h"

namespace {
std::mutex sendLock;
TransferTally lastTally;
bool lastResumable = false;
}  // namespace

TransferTally lastSendTally() {
    std::lock_guard<std::mutex> guard(sendLock);
    return lastTally;
}

bool lastSendResumable() {
    std::lock_guard<std::mutex> guard(sendLock);
    return lastResumable;
}

void noteLastSend(const TransferTally& tally, bool resumable) {
    std::lock_guard<std::mutex> guard(sendLock);
    lastTally = tally;
    lastResumable = resumable;
}

namespace {
std::string englishOf(int id) { return englishText(id); }
}  // namespace

std::string tallyText(const TransferTally& tally) { return tallyText(tally, englishOf); }

std::string tallyText(const TransferTally& tally, std::string (*textOf)(int id)) {
    // Nothing beyond "complete" to say when every file was simply sent whole.
    if (!tally.known || (tally.resumed == 0 && tally.skipped == 0 && tally.refused == 0)) return std::string();
    const struct {
        int count, id, one;  // the text for many, and for one
    } parts[] = {{tally.resumed, IDS_TALLY_RESUMED, IDS_TALLY_RESUMED_ONE},
                 {tally.skipped, IDS_TALLY_SKIPPED, IDS_TALLY_SKIPPED_ONE},
                 {tally.stored, IDS_TALLY_STORED, IDS_TALLY_STORED_ONE},
                 {tally.refused, IDS_TALLY_REFUSED, IDS_TALLY_REFUSED}};
    std::string text;
    for (const auto& part : parts) {
        if (part.count <= 0) continue;
        const std::string format = textOf(part.count == 1 ? part.one : part.id);
        text += (text.empty() ? "" : ", ") + fillNumbers(format, part.count);
    }
    return text;
}
