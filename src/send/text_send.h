// A text to a trusted computer, from either front end: only over the private channel
// (private/private_text.h), never in the clear, and never to a computer that is not
// trusted. Each attempt that reached the network is kept in the history (door Text).
#pragma once
#include <cstdint>
#include <string>

#include "transfer/protocol.h"

enum class TextSendResult {
    Stored,          // the receiver showed it
    Empty,           // no text: nothing is sent
    TooLong,         // over kMostTextBytes: nothing is sent, nothing is cut
    NotValid,        // not UTF-8, or a NUL byte in it
    InvalidAddress,  // the recipient does not resolve
    NotTrusted,      // not a trusted computer: pair first (with nobody trusted, nothing is tried)
    KeyChanged,      // it answered privately with another key: nothing was sent
    NoAnswer,        // no private answer, or the session ended before the answer
    Refused,         // the receiver refused it (its words in reason)
};

struct TextSendEnding {
    TextSendResult result = TextSendResult::NoAnswer;
    std::string name;     // the trusted computer's name when it is one, else the recipient
    std::string address;  // the dotted address it resolved to
    std::string reason;   // Refused: the receiver's words
};

// Checks text, resolves recipient and sends it to the trusted computer there, whose files
// would go to transferPort (the private port follows it as for a send of files). Runs on
// the calling thread; a Stop ends the wait for its answer.
TextSendEnding sendText(const std::string& recipient, const std::string& text, uint16_t transferPort = kTransferPort);

// The status text of an ending, in the string table: its %s is the ending's name (the
// receiver's words for Refused).
int textSendTextId(TextSendResult result);
