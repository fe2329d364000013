#include "web/http_connection.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "platform/threads.h"

namespace {
constexpr size_t kBufferSize = 64 * 1024;
constexpr int kWaitSlice = 200;  // milliseconds between two looks at the stop flag

int remaining(uint32_t since, int budget) { return budget - static_cast<int>(tickCount() - since); }

// Waits for bytes for up to budget milliseconds (the stop flag is looked at between
// slices); true when they are there.
bool awaitBytes(HttpConnection& c, uint32_t since, int budget) {
    for (;;) {
        if (c.stopping && *c.stopping) return false;
        int left = remaining(since, budget);
        if (left <= 0) return false;
        if (netWaitReadable(c.socket, std::min(left, kWaitSlice))) return true;
    }
}

// One receive into target: what has arrived is taken at once, and only when nothing has
// the wait comes first (one call per receive while bytes keep coming). >0 bytes, else -1.
int receive(HttpConnection& c, char* target, int size, uint32_t since, int budget) {
    if (c.stopping && *c.stopping) return -1;
    int n = netRecvArrived(c.socket, target, size);
    if (n == kNetNothingYet) n = awaitBytes(c, since, budget) ? netRecv(c.socket, target, size) : -1;
    return n > 0 ? n : -1;
}

// Receives what fits into the buffer's free room, within the budget.
bool fill(HttpConnection& c, uint32_t since, int budget) {
    if (c.start > 0) {  // the head keeps its place: only a body's leftovers move
        std::memmove(c.buffer.data(), c.buffer.data() + c.start, c.end - c.start);
        c.end -= c.start;
        c.start = 0;
    }
    if (c.end == c.buffer.size()) return false;
    int n = receive(c, c.buffer.data() + c.end, static_cast<int>(c.buffer.size() - c.end), since, budget);
    if (n <= 0) return false;
    c.end += static_cast<size_t>(n);
    return true;
}

// Reads until text holds the end marker at or after from, within the head's limit and the
// deadline; the marker's offset in the buffer.
bool readUntil(HttpConnection& c, std::string_view marker, size_t from, int budget, size_t* at) {
    size_t scanned = from;
    for (;;) {
        size_t limit = std::min(c.end, static_cast<size_t>(kRequestHeadLimit));
        std::string_view seen(c.buffer.data(), limit);
        size_t found = seen.find(marker, scanned);
        if (found != std::string_view::npos) {
            *at = found;
            return true;
        }
        // Each byte is looked at once, whatever pieces the client sends it in.
        scanned = std::max(from, limit >= marker.size() ? limit - marker.size() + 1 : from);
        if (c.end >= static_cast<size_t>(kRequestHeadLimit) || !fill(c, c.arrived, budget)) return false;
    }
}

const char* reason(int status) {
    switch (status) {
        case 100: return "Continue";
        case 200: return "OK";
        case 201: return "Created";
        case 204: return "No Content";
        case 206: return "Partial Content";
        case 400: return "Bad Request";
        case 403: return "Forbidden";
        case 404: return "Not Found";
        case 405: return "Method Not Allowed";
        case 409: return "Conflict";
        case 411: return "Length Required";
        case 412: return "Precondition Failed";
        case 413: return "Content Too Large";
        case 415: return "Unsupported Media Type";
        case 416: return "Range Not Satisfiable";
        case 429: return "Too Many Requests";
        case 431: return "Request Header Fields Too Large";
        case 503: return "Service Unavailable";
        case 507: return "Insufficient Storage";
        default: return "Internal Server Error";
    }
}

// Every response: nothing in it may run (the page's own script and style get a policy of
// their own), and nothing is kept, framed, sniffed, or told where it came from.
const char kProtectiveHeaders[] = "X-Content-Type-Options: nosniff\r\n"
                                  "Referrer-Policy: no-referrer\r\n"
                                  "Cache-Control: no-store\r\n"
                                  "X-Frame-Options: DENY\r\n";
}  // namespace

const char kNothingRunsPolicy[] = "default-src 'none'; frame-ancestors 'none'; base-uri 'none'; form-action 'none'";

void openConnection(HttpConnection& c, Socket s, const std::atomic<bool>* stopping) {
    c.socket = s;
    c.stopping = stopping;
    c.arrived = tickCount();
    c.buffer.assign(kBufferSize, '\0');
    c.start = c.end = c.headLength = 0;
    c.bodyUnread = 0;
    c.closing = c.broken = false;
}

bool keepsOpen(const HttpConnection& c) { return !c.closing && !c.broken && c.bodyUnread == 0; }

const char* connectionField(const HttpConnection& c) { return keepsOpen(c) ? "" : "Connection: close\r\n"; }

bool awaitRequest(HttpConnection& c) {
    // What follows the last request moves to the front: a head is read from offset 0.
    if (c.start > 0) std::memmove(c.buffer.data(), c.buffer.data() + c.start, c.end - c.start);
    c.end -= c.start;
    c.start = c.headLength = 0;
    bool arrived = c.end > 0 || fill(c, tickCount(), kNextRequestMilliseconds);
    c.arrived = tickCount();
    return arrived;
}

bool readRequestLine(HttpConnection& c, std::string_view* line) {
    size_t at = 0;
    if (!readUntil(c, "\r\n", 0, kRequestLineMilliseconds, &at)) return false;
    *line = std::string_view(c.buffer.data(), at);
    c.headLength = at + 2;
    return true;
}

bool readHeaderFields(HttpConnection& c, std::string_view* fields) {
    size_t lineEnd = c.headLength - 2, at = 0;
    // The fields end at the first blank line; with none, the line's own CRLF is the end.
    if (!readUntil(c, "\r\n\r\n", lineEnd, kRequestHeadMilliseconds, &at)) return false;
    *fields = std::string_view(c.buffer.data() + c.headLength, at + 2 - c.headLength);
    c.start = at + 4;
    return true;
}

int readBody(HttpConnection& c, char* target, int size) {
    if (c.start == c.end) {
        c.start = c.end = 0;
        if (static_cast<size_t>(size) >= c.buffer.size()) {  // a large read goes straight in
            int n = receive(c, target, size, tickCount(), kConnectionIdleMilliseconds);
            if (n <= 0) return -1;
            c.bodyUnread -= n;
            return n;
        }
        if (!fill(c, tickCount(), kConnectionIdleMilliseconds)) return -1;
    }
    size_t n = std::min(static_cast<size_t>(size), c.end - c.start);
    std::memcpy(target, c.buffer.data() + c.start, n);
    c.start += n;
    c.bodyUnread -= static_cast<int64_t>(n);
    return static_cast<int>(n);
}

std::string responseHead(int status, int64_t contentLength, std::string_view contentType) {
    std::string head = "HTTP/1.1 " + std::to_string(status) + " " + reason(status) + "\r\n";
    // A 204 has no body, and no length is said of it; a body of unknown length goes in chunks.
    if (status != 204)
        head += contentLength >= 0 ? "Content-Length: " + std::to_string(contentLength) + "\r\n"
                                   : std::string("Transfer-Encoding: chunked\r\n");
    if (!contentType.empty()) head.append("Content-Type: ").append(contentType).append("\r\n");
    return head + kProtectiveHeaders;
}

bool sendBytes(HttpConnection& c, std::string_view bytes, bool more) {
    auto sendAll = more ? netSendAllBeforeMore : netSendAll;
    if (!c.broken && (!c.stopping || !*c.stopping) && sendAll(c.socket, bytes.data(), bytes.size())) return true;
    c.broken = true;
    return false;
}

// The chunk's bytes go out as they are, between its size line and its CRLF: no copy.
bool sendChunk(HttpConnection& c, std::string_view bytes) {
    if (bytes.empty()) return true;
    char size[20];
    int length = std::snprintf(size, sizeof size, "%zx\r\n", bytes.size());
    return sendBytes(c, std::string_view(size, static_cast<size_t>(length)), true) && sendBytes(c, bytes, true) &&
           sendBytes(c, "\r\n", true);
}

bool sendLastChunk(HttpConnection& c) { return sendBytes(c, "0\r\n\r\n"); }

bool sendResponse(HttpConnection& c, int status, std::string_view contentType, std::string_view body,
                  std::string_view extraHeaders) {
    std::string response = responseHead(status, static_cast<int64_t>(body.size()), contentType);
    if (extraHeaders.find("Content-Security-Policy") == std::string_view::npos)
        response.append("Content-Security-Policy: ").append(kNothingRunsPolicy).append("\r\n");
    response.append(extraHeaders).append(connectionField(c)).append("\r\n").append(body);
    return sendBytes(c, response);
}

bool sendNotFound(HttpConnection& c) { return sendResponse(c, 404, {}, {}); }
