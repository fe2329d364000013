// The private channel's lines (private/private_channel.h): ASCII keywords, ended by one
// line feed, read from the TLS session one byte at a time so that nothing of what follows
// a line is taken with it.
//   request      "QVP/1 OFFER\n" | "QVP/1 PAIR <name>\n" | "QVP/1 TEXT <n>\n" (at most
//                kRequestLineLimit bytes); TEXT is followed by n bytes of UTF-8, n from 1 to
//                kMostTextBytes, answered by a final answer without a tally
//   final answer "QVP/1 STORED\n" | "QVP/1 INCOMPLETE\n" | "QVP/1 REFUSED <text>\n"
//   an offer's   "QVP/1 HAVE <n> <sha256 hex of the first n bytes>\n" | "QVP/1 NEED\n" per file,
//                "QVP/1 WAIT\n" between them while the receiver hashes, then "QVP/1 READY\n";
//                the sender's "QVP/1 WAIT\n" lines while it checks a HAVE, read by the
//                receiver after READY, before the transfer's header;
//                at its end "QVP/1 FAILED <name>\n" per file not stored (a few), then
//                "QVP/1 STORED <stored> <resumed> <skipped>\n" |
//                "QVP/1 INCOMPLETE <stored> <resumed> <skipped> <refused>\n"
//   pairing      the request, then the initiator's "QVP/1 COMMIT <hex>\n"; the server's
//                "QVP/1 PAIR <name>\n", then "QVP/1 NONCE <hex>\n"; the initiator's
//                "QVP/1 REVEAL <hex>\n" (trust/pairing_exchange.h); then each side's
//                "QVP/1 YES\n" | "QVP/1 NO\n". Each hex: 64 lower-case digits.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/net.h"
#include "transfer/protocol.h"

constexpr size_t kPairNameLimit = 64;      // bytes of UTF-8 in a PAIR line
constexpr size_t kRefusalTextLimit = 200;  // bytes of UTF-8 in a REFUSED answer
constexpr size_t kFailedNameLimit = 200;   // bytes of UTF-8 in a FAILED line
constexpr size_t kTallyTextLimit = 64;     // bytes of a tally's numbers

enum class LineKind {
    Invalid,
    Pair,
    Stored,
    Incomplete,
    Refused,
    Commit,
    Nonce,
    Reveal,
    Yes,
    No,
    Offer,
    Have,
    Need,
    Wait,
    Ready,
    Failed,
    StoredTally,
    IncompleteTally,
    Text,
    ConnectBack,
    Reached,
};
struct PrivateLine {
    LineKind kind = LineKind::Invalid;
    std::string text;  // Pair: the name; Refused: the text (valid UTF-8, no control byte);
                       // Have, the tallies: their numbers as written (parse them below)
};

// The line's bytes (its line feed last); "" for a kind that takes no text and is given one.
std::string privateLineBytes(LineKind kind, const std::string& text = std::string());
// A TEXT line's text, and its parse: n from 1 to kMostTextBytes in decimal without a
// leading zero; 0 for anything else.
std::string textLengthText(size_t length);
size_t parseTextLength(const std::string& text);

// One whole line, its line feed included; anything that is not exactly one of the forms
// above is Invalid (a name or text over its limit, a control byte, a byte that is not UTF-8).
PrivateLine parsePrivateLine(const char* bytes, size_t length);

// The most bytes of text a kind of line carries; 0 for a kind that takes none.
size_t privateLineTextLimit(LineKind kind);

// Reads one line of at most limit bytes through receive, a byte at a time: its length
// with the line feed; 0 when the stream ended or failed first, or the limit came without
// a line feed. The caller bounds the time (the source's receive time-out).
size_t readPrivateLine(ReceiveFunction receive, void* source, char* line, size_t limit);

// A name or text as it may go into a line: control bytes and broken UTF-8 become '?', and
// it is cut at a character's start to at most limit bytes.
std::string lineSafeText(const std::string& text, size_t limit);

// A HAVE line's text, and its parse: n from 1 to 2^63-1 in decimal without a leading zero,
// one space, the 64 hex digits. False for anything else.
std::string haveText(int64_t length, const std::string& hex);
bool parseHave(const std::string& text, int64_t* length, std::string* hex);
// How long one side takes the other's WAIT lines: its stall limit, and the bytes the
// other hashes at the slowest speed waited for (50 MB/s).
int64_t waitLinesMilliseconds(int stallMilliseconds, int64_t hashedBytes);

// A REACHED line's text: two of the words connectWord gives, one space between them.
constexpr size_t kReachedTextLimit = 24;
bool isReachedText(const std::string& text);
const char* connectWord(int error);  // 0: "ok"; else the connect's failure as a word
// A word of it back: true for "ok", else false with the failure in *failure.
bool connectWordOk(const std::string& word, ConnectFailure* failure);

// A tally's text ("3 1 997"), and its parse: exactly count numbers of 1 to 9 digits, one
// space between them.
std::string countsText(const int* counts, int count);
bool parseCounts(const std::string& text, int* counts, int count);
