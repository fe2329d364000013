// What a transfer over the private channel tells both sides when it ends. The partial
// files a cut one leaves behind are the store's (store/partial_store.h).
#pragma once
#include <string>

#include "store/partial_store.h"

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
