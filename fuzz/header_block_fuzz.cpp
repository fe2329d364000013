// Block cutting, content reading and line parsing on the receiving side, over a stream
// handed out byte by byte, whole, and in pieces of random length. Every block fits its
// 20480 bytes and is NUL-terminated; the blocks, the content and the last receive
// result do not depend on where the stream was split; parsed keys and values hold no
// line feed, and numbers read as the C library reads them.
#include <cinttypes>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "transfer/protocol.h"

namespace {
struct Walk {
    std::vector<std::string> blocks;
    std::string content;  // empty when the content was skipped instead of read
    int lastResult = 1;
};

void checkLines(const HeaderLines& lines, int length) {
    size_t bytes = 0;
    for (const auto& line : lines) {
        const std::string& key = line.first;
        const std::string& value = line.second;
        FUZZ_CHECK(!key.empty());
        FUZZ_CHECK(key.find_first_of(std::string(":\n\0", 3)) == std::string::npos);
        FUZZ_CHECK(value.find_first_of(std::string("\n\0", 2)) == std::string::npos);
        bytes += key.size() + value.size() + 2;
        long long expected = strtoll(value.c_str(), nullptr, 10);
        FUZZ_CHECK(readNumber(value) == expected);
        int32_t flags = readFlags(value);
        FUZZ_CHECK(flags == (expected > INT32_MAX ? INT32_MAX : expected < INT32_MIN ? INT32_MIN : expected));
    }
    FUZZ_CHECK(bytes <= static_cast<size_t>(length));
}

// Reads the stream as the receiver does: a block, then the content a file or address
// record announces, then the next block.
Walk walk(const uint8_t* data, size_t size, Pieces pieces, int endResult, uint32_t seed, bool skip) {
    MemoryStream stream;
    stream.data = data;
    stream.size = size;
    stream.pieces = pieces;
    stream.state = seed;
    stream.endResult = endResult;
    StreamReader reader;
    startReader(reader, receiveFromMemory, &stream);
    std::vector<char> block(kHeaderBlockLimit + 1, 'X');
    std::vector<char> chunk(kReaderBufferSize + 1);
    uint32_t chunkState = seed ^ 0x9e3779b9u;
    Walk result;
    for (size_t round = 0; round <= size + 1; ++round) {
        int length = -1;
        int last = readHeaderBlock(reader, block.data(), &length);
        FUZZ_CHECK(length >= 0 && length <= kHeaderBlockLimit);
        FUZZ_CHECK(block[static_cast<size_t>(length)] == '\0');
        if (last > 0 && length < kHeaderBlockLimit)
            FUZZ_CHECK(length >= 1 && block[static_cast<size_t>(length) - 1] == '\n');
        HeaderLines lines = parseHeaderLines(block.data(), length);
        checkLines(lines, length);
        result.blocks.emplace_back(block.data(), static_cast<size_t>(length));
        result.lastResult = last;
        if (last <= 0) break;

        std::string type = headerValue(lines, "Type");
        int64_t count = readNumber(headerValue(lines, "Size"));
        if ((type != "file" && type != "ip") || count <= 0) continue;
        if (skip) {
            bool whole = skipContent(reader, count);
            FUZZ_CHECK(whole == (reader.lastResult > 0));
            continue;
        }
        while (count > 0) {
            // Requests of every size, the reader's buffer size and more among them.
            uint32_t r = nextRandom(chunkState);
            int want = (r & 3) == 0 ? static_cast<int>(kReaderBufferSize) + static_cast<int>(r >> 30)
                                    : 1 + static_cast<int>((r >> 2) % 5000);
            if (want > static_cast<int>(chunk.size())) want = static_cast<int>(chunk.size());
            if (want > count) want = static_cast<int>(count);
            int n = readContent(reader, chunk.data(), want);
            FUZZ_CHECK(n <= want);
            if (n <= 0) {
                FUZZ_CHECK(n == reader.lastResult);
                break;
            }
            result.content.append(chunk.data(), static_cast<size_t>(n));
            count -= n;
        }
    }
    // An ended stream stays ended and is not asked again.
    int length = -1;
    FUZZ_CHECK(readHeaderBlock(reader, block.data(), &length) == result.lastResult && length == 0);
    FUZZ_CHECK(stream.at == stream.size || result.lastResult > 0);
    return result;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint32_t seed = inputHash(data, size);
    static const int ends[] = {0, 0, -1, kReceiveTimedOut};
    int endResult = ends[seed % 4];
    Walk whole = walk(data, size, Pieces::Whole, endResult, seed, false);
    Walk random = walk(data, size, Pieces::Random, endResult, seed, false);
    Walk bytes = walk(data, size, Pieces::OneByte, endResult, seed, true);
    FUZZ_CHECK(whole.blocks == random.blocks && whole.blocks == bytes.blocks);
    FUZZ_CHECK(whole.content == random.content);
    FUZZ_CHECK(whole.lastResult == random.lastResult && whole.lastResult == bytes.lastResult);
    FUZZ_CHECK(whole.lastResult == endResult);
    return 0;
}
