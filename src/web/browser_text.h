// Texts between a browser and this computer: a browser's text is shown here (through the
// window port) under the same receive policy as its uploads; the computer's own text is
// offered for the page to fetch. Neither is ever run, opened or stored.
#pragma once
#include <cstdint>
#include <string>

#include "core/peer_text.h"
#include "web/browser_upload.h"

enum class TextOutcome {
    Shown,    // portShowText had it
    TooLong,  // more than kMostTextBytes: refused before its body is read
    BadText,  // not UTF-8, or a NUL byte in it
    Refused,  // the receive policy or the user said no (the status line says why)
    Busy,     // a question is open, or a reception runs that it would have to wait for
    Cut,      // the body did not arrive whole: nothing is answered
};

// The answer before a text's body is read: TooLong, Refused (the policy refuses the browser
// at sender now, and the status line says so) or Shown (go on and read it).
TextOutcome textOnArrival(int64_t length, uint32_t sender);

// Reads length bytes through read (length at most kMostTextBytes) and shows them as a text
// from sender when they are valid and the receive policy lets them through: the user is
// asked first when they want to be asked, unless they said yes to that browser before
// (a yes now holds for its next texts and uploads too).
TextOutcome receiveText(int64_t length, uint32_t sender, const BodyRead& read);

// At most kMostTextBytes of text, cut at a character's start.
std::string boundedText(const std::string& text);

// The HTTP status of an outcome, and the word the page shows (translated there).
int textStatus(TextOutcome outcome);
const char* textWord(TextOutcome outcome);
