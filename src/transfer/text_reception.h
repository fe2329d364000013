// Texts that peers send to be shown: a browser's through the page, a trusted computer's
// over the private channel. The receive policy judges them as it judges that sender's
// files; a text is only shown and kept in the history, never stored as a file.
#pragma once
#include <cstdint>
#include <string>

#include "transfer/receiver.h"

// A text (at most kHistoryMostTextBytes) from a browser, or from a trusted computer over
// the private channel, judged by the receive policy as an upload from that browser, or a
// transfer from that computer, is: Complete when it may be shown now (allowed, or the
// user said yes), Refused with the status line telling why (its text id in *refusal),
// TurnedAway while a reception runs and a question would be needed, Cancelled by a Stop
// during the question. The question holds the one reception while it is open, so that
// only one question is ever open and a Stop ends it. A refusal is recorded in the history
// with the text's words.
struct TextSender {
    uint32_t address = 0;
    std::string trustedName;  // the trusted computer's name; empty: a browser
};
ReceiveResult admitText(const TextSender& from, const std::string& text, int* refusal);

// Shows a text that admitText let in, named by its trusted name (or its address), and
// hands its entry to the history.
void showAdmittedText(const TextSender& from, const std::string& text);

// A trusted computer's text, read whole: shown when it is valid and admitted. 0 when it
// was shown; otherwise the text id of why not (its %s the sender's address), as the
// status line and the history tell it. A stranger's text is refused unread
// (refuseStrangerText).
int receiveTrustedText(const TextSender& from, const std::string& text);
int refuseStrangerText(uint32_t sender);
