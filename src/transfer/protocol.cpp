// The transfer stream's bytes: writers for the sending side, block cutting, parsing and
// content reading for the receiving side.
#include "transfer/protocol.h"

#include <climits>
#include <cstring>

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

bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
}  // namespace

std::string transferHeaderBytes(int64_t total) {
    return std::string("Version:") + kProtocolVersion + "\nTotal:" + number(total);
}

std::string directoryRecordBytes(const std::string& utf8Folder) {
    return "\n\nType:directory\nDirectory:" + utf8Folder;
}

std::string fileRecordBytes(int64_t size, const std::string& utf8Name, const std::string& utf8Folder) {
    return "\n\nType:file\nSize:" + number(size) + "\nName:" + utf8Name + "\nDirectory:" + utf8Folder + "\n\n";
}

std::string emptyBlockBytes() { return "\n\n"; }

std::string addressHandOverBytes(const std::string& ownAddress, bool replace) {
    return std::string("Version:") + kProtocolVersion + "\n\nType:ip\nSize:" +
           number(static_cast<int64_t>(ownAddress.size())) + (replace ? "\nFlags:1\n\n" : "\nFlags:0\n\n") +
           ownAddress + "\n\n";
}

void startReader(StreamReader& reader, ReceiveFunction receive, void* source) {
    reader.receive = receive;
    reader.source = source;
    reader.buffer.assign(kReaderBufferSize, '\0');
    reader.start = reader.end = 0;
    reader.lastResult = 1;
}

void startSocketReader(StreamReader& reader, Socket socket) {
    startReader(reader, socketReceive, reinterpret_cast<void*>(socket));
    reader.socket = socket;
}

int readHeaderBlock(StreamReader& reader, char* block, int* length) {
    int stored = 0;
    int lineFeeds = 0;
    bool done = false;
    while (!done && (reader.start < reader.end || refill(reader))) {
        while (reader.start < reader.end) {
            char c = reader.buffer[reader.start++];
            if (c == '\n') {
                if (++lineFeeds == 2) {
                    done = true;  // the second line feed of the pair is dropped
                    break;
                }
            } else {
                lineFeeds = 0;
            }
            block[stored++] = c;
            if (stored == kHeaderBlockLimit) {
                done = true;  // an overlong block is cut here; its rest reads as another block
                break;
            }
        }
    }
    block[stored] = '\0';
    *length = stored;
    return reader.lastResult;
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
    // The block is a C string to its readers: a NUL byte ends it, so no value can carry
    // one into a path.
    size_t end = strnlen(block, length > 0 ? static_cast<size_t>(length) : 0);
    size_t position = 0;
    while (position < end) {
        const char* lineStart = block + position;
        const char* feed = static_cast<const char*>(memchr(lineStart, '\n', end - position));
        if (!feed || feed == lineStart) break;  // no complete line left, or an empty line
        const char* colon = static_cast<const char*>(memchr(lineStart, ':', end - position));
        if (!colon || colon == lineStart) break;  // no colon anywhere after, or an empty key
        if (colon < feed)
            lines.emplace_back(std::string(lineStart, colon), std::string(colon + 1, feed));
        position = static_cast<size_t>(feed - block) + 1;
    }
    return lines;
}

std::string headerValue(const HeaderLines& lines, const std::string& key) {
    std::string value;
    for (const auto& line : lines)
        if (line.first == key) value = line.second;
    return value;
}

int64_t readNumber(const std::string& text) {
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

int32_t readFlags(const std::string& text) {
    int64_t value = readNumber(text);
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}
