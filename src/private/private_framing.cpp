#include "private/private_framing.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "core/decimal_number.h"
#include "core/peer_text.h"
#include "core/utf8_reader.h"
#include "trust/content_hash.h"

size_t parseTextLength(const std::string& text) {
    int64_t n = 0;
    return readDecimal(text, kMostTextBytes, &n, LeadingZero::OnlyZeroItself) && n >= 1 ? static_cast<size_t>(n) : 0;
}

std::string textLengthText(size_t length) { return std::to_string(length); }

namespace {
bool isTextLength(const std::string& text) { return parseTextLength(text) > 0; }

// A connect's outcome on the wire: "ok", else its failure.
struct ConnectWord {
    const char* word;
    ConnectFailure failure;
};
constexpr ConnectWord kConnectWords[] = {{"refused", ConnectFailure::Refused},
                                         {"timeout", ConnectFailure::NoAnswer},
                                         {"unreachable", ConnectFailure::NoRoute},
                                         {"filtered", ConnectFailure::Filtered},
                                         {"failed", ConnectFailure::Other}};

bool isConnectWord(const std::string& word) {
    for (const ConnectWord& known : kConnectWords)
        if (word == known.word) return true;
    return word == "ok";
}
}  // namespace

const char* connectWord(int error) {
    if (error == 0) return "ok";
    const ConnectFailure failure = netConnectFailure(error);
    for (const ConnectWord& known : kConnectWords)
        if (known.failure == failure) return known.word;
    return "failed";
}

bool connectWordOk(const std::string& word, ConnectFailure* failure) {
    *failure = ConnectFailure::Other;
    for (const ConnectWord& known : kConnectWords)
        if (word == known.word) *failure = known.failure;
    return word == "ok";
}

bool isReachedText(const std::string& text) {
    const size_t space = text.find(' ');
    return space != std::string::npos && isConnectWord(text.substr(0, space)) && isConnectWord(text.substr(space + 1));
}

namespace {

constexpr const char* kPrefix = "QVP/1 ";
constexpr size_t kPrefixLength = 6;

struct Form {
    LineKind kind;
    const char* word;
    size_t textLimit;                             // 0: the line takes no text
    bool (*exact)(const std::string&) = nullptr;  // a text of one fixed form only
};
constexpr Form kForms[] = {
    {LineKind::Pair, "PAIR", kPairNameLimit},
    {LineKind::Stored, "STORED", 0},
    {LineKind::Incomplete, "INCOMPLETE", 0},
    {LineKind::Refused, "REFUSED", kRefusalTextLimit},
    {LineKind::Commit, "COMMIT", kContentHashHexLength, isContentHashHex},
    {LineKind::Nonce, "NONCE", kContentHashHexLength, isContentHashHex},
    {LineKind::Reveal, "REVEAL", kContentHashHexLength, isContentHashHex},
    {LineKind::Yes, "YES", 0},
    {LineKind::No, "NO", 0},
    {LineKind::Offer, "OFFER", 0},
    {LineKind::Have, "HAVE", kContentHashHexLength + 21},
    {LineKind::Need, "NEED", 0},
    {LineKind::Wait, "WAIT", 0},
    {LineKind::Ready, "READY", 0},
    {LineKind::Failed, "FAILED", kFailedNameLimit},
    {LineKind::Text, "TEXT", 5, isTextLength},
    {LineKind::ConnectBack, "CONNECT-BACK", 0},
    {LineKind::Reached, "REACHED", kReachedTextLimit, isReachedText},
    // After the plain forms of the same word: a line with numbers is the offer's answer.
    {LineKind::StoredTally, "STORED", kTallyTextLimit},
    {LineKind::IncompleteTally, "INCOMPLETE", kTallyTextLimit},
};

bool isControl(uint32_t c) { return c < 0x20 || c == 0x7F; }

bool isLineText(const std::string& text, size_t limit) {
    if (text.empty() || text.size() > limit) return false;
    for (size_t i = 0; i < text.size();) {
        const Utf8Character c = utf8CharacterAt(text, i);
        if (!c.valid || isControl(c.point)) return false;
        i += c.length;
    }
    return true;
}
}  // namespace

std::string lineSafeText(const std::string& text, size_t limit) {
    std::string safe;
    for (size_t i = 0; i < text.size();) {
        const Utf8Character c = utf8CharacterAt(text, i);
        const bool bad = !c.valid || isControl(c.point);
        const size_t length = bad ? 1 : c.length;
        if (safe.size() + (bad ? 1 : length) > limit) break;
        safe += bad ? std::string("?") : text.substr(i, length);
        i += length;
    }
    return safe;
}

size_t privateLineTextLimit(LineKind kind) {
    for (const Form& form : kForms)
        if (form.kind == kind) return form.textLimit;
    return 0;
}

std::string privateLineBytes(LineKind kind, const std::string& text) {
    for (const Form& form : kForms) {
        if (form.kind != kind) continue;
        std::string line = std::string(kPrefix) + form.word;
        if (form.textLimit > 0) line += " " + lineSafeText(text, form.textLimit);
        return line + "\n";
    }
    return std::string();
}

PrivateLine parsePrivateLine(const char* bytes, size_t length) {
    PrivateLine line;
    if (length <= kPrefixLength || bytes[length - 1] != '\n' || memcmp(bytes, kPrefix, kPrefixLength) != 0) return line;
    const std::string rest(bytes + kPrefixLength, length - kPrefixLength - 1);
    for (const Form& form : kForms) {
        const size_t wordLength = strlen(form.word);
        if (rest.compare(0, wordLength, form.word) != 0) continue;
        if (form.textLimit == 0) {
            if (rest.size() == wordLength) line.kind = form.kind;
        } else if (rest.size() > wordLength && rest[wordLength] == ' ') {
            std::string text = rest.substr(wordLength + 1);
            const bool valid = form.exact ? form.exact(text) : isLineText(text, form.textLimit);
            if (valid) line = PrivateLine{form.kind, std::move(text)};
        }
        if (line.kind != LineKind::Invalid) return line;
    }
    return line;
}

size_t readPrivateLine(ReceiveFunction receive, void* source, char* line, size_t limit) {
    for (size_t length = 0; length < limit;) {
        if (receive(source, line + length, 1) != 1) return 0;
        if (line[length++] == '\n') return length;
    }
    return 0;
}

namespace {
// 1 to digits decimal digits, no leading zero but for "0" itself: one spelling a number.
bool readDecimalOf(const std::string& text, int digits, int64_t* value) {
    int64_t most = 9;
    for (int i = 1; i < digits; ++i) most = most * 10 + 9;
    return readDecimal(text, most, value, LeadingZero::OnlyZeroItself);
}
}  // namespace

std::string haveText(int64_t length, const std::string& hex) { return std::to_string(length) + " " + hex; }

bool parseHave(const std::string& text, int64_t* length, std::string* hex) {
    const size_t space = text.find(' ');
    if (space == std::string::npos) return false;
    int64_t n = 0;
    // 18 digits stay below 2^63 whatever they are.
    if (!readDecimalOf(text.substr(0, space), 18, &n) || n < 1) return false;
    const std::string digits = text.substr(space + 1);
    if (!isContentHashHex(digits)) return false;
    *length = n;
    *hex = digits;
    return true;
}

int64_t waitLinesMilliseconds(int stallMilliseconds, int64_t hashedBytes) {
    constexpr int64_t kSlowHashBytesPerMs = 50000;
    const int64_t most = INT32_MAX;  // well inside the tick counter's turn
    return std::min(most, stallMilliseconds + std::max<int64_t>(hashedBytes, 0) / kSlowHashBytesPerMs);
}

std::string countsText(const int* counts, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += (i ? " " : "") + std::to_string(counts[i] < 0 ? 0 : counts[i]);
    return text;
}

bool parseCounts(const std::string& text, int* counts, int count) {
    size_t at = 0;
    for (int i = 0; i < count; ++i) {
        const size_t end = i + 1 < count ? text.find(' ', at) : text.size();
        int64_t value = 0;
        if (end == std::string::npos || !readDecimalOf(text.substr(at, end - at), 9, &value)) return false;
        counts[i] = static_cast<int>(value);
        at = end + 1;
    }
    return true;
}
