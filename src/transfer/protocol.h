// The transfer stream: one-way header blocks ("Key:value\n" lines ended by an empty
// line) and raw content, over one TCP connection. Writers produce the exact bytes;
// the reading side cuts blocks from a buffered reader and parses them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/net.h"
#include "platform/socket_file.h"

constexpr uint16_t kTransferPort = 2904;
constexpr int kHeaderBlockLimit = 20480;  // bytes of one header block, its last line feed included
constexpr const char* kProtocolVersion = "3.0";
constexpr int kReceiveTimedOut = -2;             // a receive result: the peer did not send in time
constexpr size_t kReaderBufferSize = 64 * 1024;  // a reader receives this much at most per call

// --- Writing side: the bytes, byte for byte ---
// "Version:3.0\nTotal:<total>"
std::string transferHeaderBytes(int64_t total);
// "\n\nType:directory\nDirectory:<folder>" (folder in UTF-8, "/" separators, trailing "/")
std::string directoryRecordBytes(const std::string& utf8Folder);
// "\n\nType:file\nSize:<size>\nName:<name>\nDirectory:<folder>\n\n"; content follows.
std::string fileRecordBytes(int64_t size, const std::string& utf8Name, const std::string& utf8Folder);
// The same bytes appended to out, which keeps its room from one record to the next.
void appendFileRecord(std::string& out, int64_t size, const std::string& utf8Name, const std::string& utf8Folder);
// "\n\n": an empty block that every receiver passes over.
std::string emptyBlockBytes();
// The whole address hand-over: "Version:3.0\n\nType:ip\nSize:<n>\nFlags:<0|1>\n\n<address>\n\n".
std::string addressHandOverBytes(const std::string& ownAddress, bool replace);

// --- Reading side ---
// Where a reader gets its bytes: one receive of at most size bytes; >0 bytes,
// 0 closed, <0 error. A socket, or an in-memory stream in tests and fuzzing.
// A socket source reports a receive time-out as kReceiveTimedOut.
using ReceiveFunction = int (*)(void* source, char* buffer, int size);

struct StreamReader {
    ReceiveFunction receive = nullptr;
    void* source = nullptr;
    Socket socket = kInvalidSocket;  // the source of a socket reader
    std::vector<char> buffer;        // bytes received but not yet handed out
    size_t start = 0, end = 0;
    int lastResult = 1;         // result of the latest receive: >0, 0 closed, <0 error
    int blockMilliseconds = 0;  // how long a header block may take from its first byte (0: no limit)
    // A socket reader's receive time-out (0: none set). While a block is read, one wait
    // ends at the block's deadline, or at this long after progressAt, when sooner.
    int stallMilliseconds = 0;
    uint32_t progressAt = 0;  // tick of the last record or content the reader's user counts
};

void startSocketReader(StreamReader& reader, Socket socket);
void startReader(StreamReader& reader, ReceiveFunction receive, void* source);
// Puts bytes read ahead of the reader (at most its buffer's size) before what it receives.
void readerPrepend(StreamReader& reader, const std::string& bytes);

// Cuts one header block: stores bytes until the second of two consecutive line feeds
// (not stored), 20480 stored bytes, or the end of the stream. block must hold
// kHeaderBlockLimit + 1 bytes; it is NUL-terminated, *length receives the stored count.
// Returns the reader's last receive result (>0 while the stream is open). Bytes that
// arrive once the reader's blockMilliseconds have passed since the block's first byte
// may only be the line feeds that end it; anything else ends the stream there, as
// kReceiveTimedOut. A socket reader with a stall limit stops waiting at that deadline,
// and stallMilliseconds after progressAt: empty blocks do not hold the stream open.
int readHeaderBlock(StreamReader& reader, char* block, int* length);

// Reads at most size content bytes (buffered ones first; a request of at least the
// reader's buffer size with nothing buffered goes straight to one receive). >0 bytes,
// 0 closed, <0 error. Once the stream has ended it is not asked again.
int readContent(StreamReader& reader, char* buffer, int size);

// Hands out size content bytes in place when the reader holds that many: *data then
// points into the reader's buffer until its next read. Returns size, or 0 (nothing taken).
int takeBuffered(StreamReader& reader, int size, const char** data);

// Moves at most size content bytes from a socket reader's connection straight into the
// file, when nothing is buffered and the system offers the way; otherwise returns
// kNoDirectPath and takes nothing. Results as readContent; *written turns false when the
// file refused bytes (they were read all the same, and dropped).
int readContentIntoFile(StreamReader& reader, FileHandle file, int size, bool* written);

// The next byte of the stream, left for the next read; -1 when the stream ends first.
int peekByte(StreamReader& reader);

// Reads and drops count content bytes, so that a record the receiver does not store
// leaves the stream in step. Returns false when the stream ended first.
bool skipContent(StreamReader& reader, int64_t count);

// Calls line(key, value) for each "Key:value" line of a block, in order, without copying:
// key up to the first colon, value up to the line feed. Stops at the first empty line
// or empty key, and at a NUL byte; a last line without its line feed is not parsed.
template <typename Line>
void forEachHeaderLine(const char* block, int length, Line line) {
    // The block is a C string to its readers: a NUL byte ends it, so no value can carry
    // one into a path.
    const char* end = block + strnlen(block, length > 0 ? static_cast<size_t>(length) : 0);
    for (const char* start = block; start < end;) {
        const char* feed = static_cast<const char*>(memchr(start, '\n', static_cast<size_t>(end - start)));
        if (!feed || feed == start) break;  // no complete line left, or an empty line
        const char* colon = static_cast<const char*>(memchr(start, ':', static_cast<size_t>(end - start)));
        if (!colon || colon == start) break;  // no colon anywhere after, or an empty key
        if (colon < feed)
            line(std::string_view(start, static_cast<size_t>(colon - start)),
                 std::string_view(colon + 1, static_cast<size_t>(feed - colon - 1)));
        start = feed + 1;
    }
}

using HeaderLines = std::vector<std::pair<std::string, std::string>>;
// The same lines as key/value pairs, in order.
HeaderLines parseHeaderLines(const char* block, int length);
// The value of the last line with that key, or "" when absent.
std::string headerValue(const HeaderLines& lines, const std::string& key);

// What the first bytes of a stream say it carries, judged from its first record's type:
// an address hand-over ("ip"), something else (a transfer), or not known yet. Reading
// further than kFirstRecordLimit bytes never tells more.
enum class FirstRecord { Unknown, Address, Other };
constexpr size_t kFirstRecordLimit = 2 * (kHeaderBlockLimit + 2);  // two blocks, each with its blank line
FirstRecord firstRecordOf(const char* bytes, size_t length);

// Decimal signed 64-bit: leading white space and a sign accepted, stops at the first
// non-digit, no digits reads as 0; saturates instead of overflowing.
int64_t readNumber(std::string_view text);
// The same rule for the decimal 32-bit "Flags", clamped to the 32-bit range.
int32_t readFlags(std::string_view text);
