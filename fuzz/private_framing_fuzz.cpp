// The private channel's lines as a stranger may send them (private/private_framing.h):
// a line is read byte by byte, never past its line feed nor its limit, wherever the
// stream is split; a line that parses is exactly the bytes the writer makes of it, so
// nothing but the canonical forms is taken; a name or text made safe for a line always
// parses back unchanged, within its limit; an offer's numbers parse only as written.
#include <string>

#include "fuzz_check.h"
#include "private/private_channel.h"
#include "private/private_framing.h"

namespace {
void checkLine(const char* bytes, size_t length) {
    const PrivateLine line = parsePrivateLine(bytes, length);
    if (line.kind == LineKind::Invalid) return;
    FUZZ_CHECK(privateLineBytes(line.kind, line.text) == std::string(bytes, length));
    const size_t limit = privateLineTextLimit(line.kind);
    FUZZ_CHECK((limit > 0) == !line.text.empty());
    FUZZ_CHECK(line.text.size() <= limit);
    for (unsigned char c : line.text) FUZZ_CHECK(c >= 0x20 && c != 0x7F);
    // The numbers of an offer's lines parse only in the form their writers make.
    int64_t held = 0;
    std::string hex;
    if (line.kind == LineKind::Have && parseHave(line.text, &held, &hex))
        FUZZ_CHECK(held > 0 && haveText(held, hex) == line.text);
    int counts[4];
    for (int count : {3, 4})
        if (parseCounts(line.text, counts, count)) FUZZ_CHECK(countsText(counts, count) == line.text);
}

// The line read from the stream split as pieces says, and how many bytes were taken.
std::string readFrom(const uint8_t* data, size_t size, Pieces pieces, uint32_t seed, size_t limit, size_t* taken) {
    MemoryStream stream;
    stream.data = data;
    stream.size = size;
    stream.pieces = pieces;
    stream.state = seed;
    std::string line(limit, '\0');
    const size_t length = readPrivateLine(receiveFromMemory, &stream, &line[0], limit);
    *taken = stream.at;
    return line.substr(0, length);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint32_t seed = inputHash(data, size);
    for (size_t limit : {static_cast<size_t>(kRequestLineLimit), static_cast<size_t>(kAnswerLineLimit)}) {
        size_t taken = 0, takenWhole = 0;
        const std::string line = readFrom(data, size, Pieces::OneByte, seed, limit, &taken);
        // The reader asks for one byte at a time: however the stream is cut, it reads the same.
        FUZZ_CHECK(readFrom(data, size, Pieces::Whole, seed, limit, &takenWhole) == line && takenWhole == taken);
        FUZZ_CHECK(line.size() <= limit && taken <= limit);
        if (!line.empty()) {
            FUZZ_CHECK(line.back() == '\n' && line.find('\n') == line.size() - 1 && taken == line.size());
            FUZZ_CHECK(line == std::string(reinterpret_cast<const char*>(data), line.size()));
        }
        checkLine(line.data(), line.size());
    }
    const char* text = reinterpret_cast<const char*>(data);
    checkLine(text, size);
    const std::string raw(text, size);
    for (LineKind kind : {LineKind::Pair, LineKind::Refused}) {
        const size_t limit = kind == LineKind::Pair ? kPairNameLimit : kRefusalTextLimit;
        const std::string safe = lineSafeText(raw, limit);
        FUZZ_CHECK(safe.size() <= limit);
        const std::string bytes = privateLineBytes(kind, safe);
        const PrivateLine back = parsePrivateLine(bytes.data(), bytes.size());
        FUZZ_CHECK(safe.empty() ? back.kind == LineKind::Invalid : back.kind == kind && back.text == safe);
    }
    return 0;
}
