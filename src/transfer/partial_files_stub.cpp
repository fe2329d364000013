// Stand-in until the kept partial files land: nothing is kept, no tally is known.
#include "transfer/partial_files.h"

std::atomic<int> keepPartialDays{kDefaultKeepPartialDays};

PartialSummary partialFilesIn(const std::string&) { return {}; }
PartialSummary deletePartialFiles(const std::string&) { return {}; }
PartialSummary expirePartialFiles(const std::string&) { return {}; }
TransferTally lastSendTally() { return {}; }
bool lastSendResumable() { return false; }
std::string tallyText(const TransferTally&) { return std::string(); }
