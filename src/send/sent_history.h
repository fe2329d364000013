// What the history keeps of each send as it ends: one entry per recipient.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "send/sender.h"

struct SentEnding {
    std::string recipient;  // as the user gave it
    std::string address;    // the dotted address it resolved to ("" when it did not)
    std::string trusted;    // the trusted computer's name when it went privately
    SendResult result = SendResult::Complete;
    std::string reason;  // the text the user was told when it did not take everything
    int64_t bytes = 0;   // content bytes the connection took
    int tries = 1;       // connections made for it: more than one when a cut send tried again
};

// The top-level names of the analysed selection, in order, at most kHistoryMostNames.
std::vector<std::string> sentTopNames();
// Hands the ending of one send over to the history (nothing for a send with nothing
// selected); never waits for the store.
void recordSent(const SentEnding& ending);
