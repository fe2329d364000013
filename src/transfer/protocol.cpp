// The transfer stream's bytes: writers for the sending side, block cutting, parsing and
// content reading for the receiving side.
#include "transfer/protocol.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstring>

#include "platform/threads.h"

namespace {
std::string number(int64_t value) { return std::to_string(value); }

int socketReceive(void* source, char* buffer, int size) {
    int n = netRecv(reinterpret_cast<Socket>(source), buffer, size);
    return n < 0 && netLastErrorWasTimeout() ? kReceiveTimedOut : n;
}

// Receives into the reader's own buffer once. False when the stream has ended (closed,
// failed or timed out): a reader never asks an ended stream again, so a time-out costs
// its wait only once.
bool refill(StreamReader& reader) {
    if (reader.lastResult <= 0) return false;
    reader.start = reader.end = 0;
    int n = reader.receive(reader.source, reader.buffer.data(), static_cast<int>(reader.buffer.size()));
    reader.lastResult = n;
    if (n <= 0) return false;
    reader.end = static_cast<size_t>(n);
    return true;
}

// How long the next receive of a block may wait: what is left of the stall limit since
// the last progress, and of the block's time once it has begun. The socket's own time-out
// only counts from the latest byte, which a peer that sends little and seldom keeps fresh.
int64_t blockWait(const StreamReader& reader, bool begun, uint32_t since) {
    const uint32_t now = tickCount();
    int64_t wait = reader.stallMilliseconds - static_cast<int64_t>(now - reader.progressAt);
    if (begun && reader.blockMilliseconds > 0)
        wait = std::min<int64_t>(wait, reader.blockMilliseconds - static_cast<int64_t>(now - since));
    return wait;
}

// refill, with the socket's time-out cut to the block's wait for that one receive.
bool refillInTime(StreamReader& reader, bool begun, uint32_t since) {
    if (reader.stallMilliseconds <= 0 || reader.socket == kInvalidSocket || reader.lastResult <= 0)
        return refill(reader);
    const int64_t wait = blockWait(reader, begun, since);
    if (wait <= 0) {
        reader.start = reader.end = 0;
        reader.lastResult = kReceiveTimedOut;
        return false;
    }
    if (wait >= reader.stallMilliseconds) return refill(reader);
    netSetReceiveTimeout(reader.socket, static_cast<int>(wait));
    const bool got = refill(reader);
    netSetReceiveTimeout(reader.socket, reader.stallMilliseconds);
    return got;
}

// Receives more of a header block whose first byte was at hand at *since (once *begun).
// Past the reader's block limit only the line feeds that end the block are taken: a
// sender may pause before them (it opens its next file first), while a peer that
// trickles a block byte by byte would otherwise hold the one reception for ever.
// The block's time bounds a wait only while its first line is unfinished: a sender ends
// its last block of a burst only with its next record's line feeds, so it may pause there
// (it opens its next file) for as long as the stall limit allows.
bool refillBlock(StreamReader& reader, bool* begun, uint32_t* since, bool lineFeedLast, bool lineSeen) {
    if (!refillInTime(reader, *begun && !lineSeen, *since) || reader.blockMilliseconds <= 0)
        return reader.lastResult > 0;
    const uint32_t now = tickCount();
    if (!*begun) {
        *begun = true;
        *since = now;
    }
    if (now - *since < static_cast<uint32_t>(reader.blockMilliseconds)) return true;
    const char* from = reader.buffer.data() + reader.start;
    if (*from == '\n' && (lineFeedLast || reader.end - reader.start == 1 || from[1] == '\n')) return true;
    reader.start = reader.end;
    reader.lastResult = kReceiveTimedOut;
    return false;
}

bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
}  // namespace

std::string transferHeaderBytes(int64_t total) {
    return std::string("Version:") + kProtocolVersion + "\nTotal:" + number(total);
}

std::string directoryRecordBytes(const std::string& utf8Folder) {
    return "\n\nType:directory\nDirectory:" + utf8Folder;
}

void appendFileRecord(std::string& out, int64_t size, const std::string& utf8Name, const std::string& utf8Folder) {
    char digits[24];
    const char* end = std::to_chars(digits, digits + sizeof digits, size).ptr;
    out.append("\n\nType:file\nSize:").append(digits, static_cast<size_t>(end - digits));
    out.append("\nName:").append(utf8Name).append("\nDirectory:").append(utf8Folder).append("\n\n");
}

std::string fileRecordBytes(int64_t size, const std::string& utf8Name, const std::string& utf8Folder) {
    std::string bytes;
    appendFileRecord(bytes, size, utf8Name, utf8Folder);
    return bytes;
}

std::string emptyBlockBytes() { return "\n\n"; }

std::string addressHandOverBytes(const std::string& ownAddress, bool replace) {
    return std::string("Version:") + kProtocolVersion +
           "\n\nType:ip\nSize:" + number(static_cast<int64_t>(ownAddress.size())) +
           (replace ? "\nFlags:1\n\n" : "\nFlags:0\n\n") + ownAddress + "\n\n";
}

void startReader(StreamReader& reader, ReceiveFunction receive, void* source) {
    reader.receive = receive;
    reader.source = source;
    reader.buffer.assign(kReaderBufferSize, '\0');
    reader.start = reader.end = 0;
    reader.lastResult = 1;
}

void readerPrepend(StreamReader& reader, const std::string& bytes) {
    const size_t held = reader.end - reader.start;
    const size_t size = std::min(bytes.size(), reader.buffer.size() - held);
    std::memmove(reader.buffer.data() + size, reader.buffer.data() + reader.start, held);
    std::memcpy(reader.buffer.data(), bytes.data(), size);
    reader.start = 0;
    reader.end = held + size;
}

void startSocketReader(StreamReader& reader, Socket socket) {
    startReader(reader, socketReceive, reinterpret_cast<void*>(socket));
    reader.socket = socket;
}

int readHeaderBlock(StreamReader& reader, char* block, int* length) {
    size_t stored = 0;
    bool lineFeedLast = false;  // the last byte stored was a line feed
    bool done = false;
    bool begun = reader.start < reader.end;
    uint32_t since = begun && reader.blockMilliseconds > 0 ? tickCount() : 0;
    while (!done && (reader.start < reader.end ||
                     refillBlock(reader, &begun, &since, lineFeedLast, memchr(block, '\n', stored) != nullptr))) {
        const char* from = reader.buffer.data() + reader.start;
        if (lineFeedLast && *from == '\n') {  // the second line feed of a pair is dropped
            ++reader.start;
            break;
        }
        // Up to the block's limit: an overlong block is cut there, its rest reads as another.
        size_t take = std::min(reader.end - reader.start, static_cast<size_t>(kHeaderBlockLimit) - stored);
        const char* stop = from + take;
        size_t skip = 0;
        for (const char* p = from; (p = static_cast<const char*>(memchr(p, '\n', static_cast<size_t>(stop - p))));) {
            if (p + 1 < stop && p[1] == '\n') {
                take = static_cast<size_t>(p + 1 - from);
                skip = 1;
                done = true;
                break;
            }
            ++p;
        }
        memcpy(block + stored, from, take);
        stored += take;
        reader.start += take + skip;
        lineFeedLast = take > 0 && from[take - 1] == '\n';
        if (stored == static_cast<size_t>(kHeaderBlockLimit)) done = true;
    }
    block[stored] = '\0';
    *length = static_cast<int>(stored);
    return reader.lastResult;
}

int takeBuffered(StreamReader& reader, int size, const char** data) {
    if (size <= 0 || reader.end - reader.start < static_cast<size_t>(size)) return 0;
    *data = reader.buffer.data() + reader.start;
    reader.start += static_cast<size_t>(size);
    return size;
}

int readContent(StreamReader& reader, char* buffer, int size) {
    if (size <= 0) return 0;
    if (reader.start == reader.end) {
        if (reader.lastResult <= 0) return reader.lastResult;
        // A large request bypasses the reader's buffer: no copy for file content.
        if (static_cast<size_t>(size) >= reader.buffer.size()) {
            int n = reader.receive(reader.source, buffer, size);
            reader.lastResult = n;
            return n;
        }
        if (!refill(reader)) return reader.lastResult;
    }
    size_t available = reader.end - reader.start;
    size_t count = available < static_cast<size_t>(size) ? available : static_cast<size_t>(size);
    memcpy(buffer, reader.buffer.data() + reader.start, count);
    reader.start += count;
    return static_cast<int>(count);
}

int readContentIntoFile(StreamReader& reader, FileHandle file, int size, bool* written) {
    if (reader.socket == kInvalidSocket || reader.start != reader.end || size <= 0) return kNoDirectPath;
    if (reader.lastResult <= 0) return reader.lastResult;
    int n = socketToFile(reader.socket, file, size, written);
    if (n == kNoDirectPath) return n;
    reader.lastResult = n < 0 && netLastErrorWasTimeout() ? kReceiveTimedOut : n;
    return reader.lastResult;
}

int peekByte(StreamReader& reader) {
    if (reader.start == reader.end && !refill(reader)) return -1;
    return static_cast<unsigned char>(reader.buffer[reader.start]);
}

bool skipContent(StreamReader& reader, int64_t count) {
    while (count > 0) {
        if (reader.start == reader.end && !refill(reader)) return false;
        size_t available = reader.end - reader.start;
        size_t step = static_cast<uint64_t>(count) < available ? static_cast<size_t>(count) : available;
        reader.start += step;
        count -= static_cast<int64_t>(step);
    }
    return true;
}

HeaderLines parseHeaderLines(const char* block, int length) {
    HeaderLines lines;
    forEachHeaderLine(block, length, [&](std::string_view key, std::string_view value) {
        lines.emplace_back(std::string(key), std::string(value));
    });
    return lines;
}

std::string headerValue(const HeaderLines& lines, const std::string& key) {
    std::string value;
    for (const auto& line : lines)
        if (line.first == key) value = line.second;
    return value;
}

int64_t readNumber(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && isSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    // Accumulate toward the sign so that INT64_MIN itself is reachable.
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        int digit = text[i] - '0';
        if (negative) {
            if (value < (INT64_MIN + digit) / 10) return INT64_MIN;
            value = value * 10 - digit;
        } else {
            if (value > (INT64_MAX - digit) / 10) return INT64_MAX;
            value = value * 10 + digit;
        }
    }
    return value;
}

int32_t readFlags(std::string_view text) {
    int64_t value = readNumber(text);
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

FirstRecord firstRecordOf(const char* bytes, size_t length) {
    const std::string_view stream(bytes, length);
    const size_t headerEnd = stream.find("\n\n");
    if (headerEnd == std::string_view::npos)
        return length > static_cast<size_t>(kHeaderBlockLimit) ? FirstRecord::Other : FirstRecord::Unknown;
    const std::string_view record = stream.substr(headerEnd + 2);
    const size_t recordEnd = record.find("\n\n");
    const std::string_view block = record.substr(0,
                                                 recordEnd == std::string_view::npos ? record.size() : recordEnd + 1);
    FirstRecord kind = FirstRecord::Unknown;
    forEachHeaderLine(block.data(), static_cast<int>(block.size()), [&](std::string_view key, std::string_view value) {
        if (kind == FirstRecord::Unknown && key == "Type")
            kind = value == "ip" ? FirstRecord::Address : FirstRecord::Other;
    });
    // A whole block without a type, or one longer than any block, is no hand-over.
    if (kind == FirstRecord::Unknown &&
        (recordEnd != std::string_view::npos || block.size() > static_cast<size_t>(kHeaderBlockLimit)))
        kind = FirstRecord::Other;
    return kind;
}
