// One connection of browser access as it is read and answered: the request's line and
// head within their deadlines and size limit, a body in large reads, and responses that
// carry the same protective headers every time.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/net.h"

// How long a client may take to send its request line, and its whole head; how large the
// head may be; how long a connection may stay silent while a body goes either way.
constexpr int kRequestLineMilliseconds = 5000;
constexpr int kRequestHeadMilliseconds = 10000;
constexpr int kRequestHeadLimit = 16 * 1024;
constexpr int kConnectionIdleMilliseconds = 30000;
// How long a connection that has been answered may wait for its next request line to start.
constexpr int kNextRequestMilliseconds = 5000;

struct HttpConnection {
    Socket socket = kInvalidSocket;
    const std::atomic<bool>* stopping = nullptr;  // set: every wait ends at once
    uint32_t arrived = 0;                         // tickCount() at the accept
    std::vector<char> buffer;                     // bytes read and not yet taken
    size_t start = 0, end = 0;
    size_t headLength = 0;   // the head's bytes in buffer, its blank line included, once read
    int64_t bodyUnread = 0;  // the request's body bytes not read yet
    bool closing = false;    // the connection ends after this response
    bool broken = false;     // a send failed: the client is gone or has missed bytes
};

// Whether the connection may serve another request after this one: nothing of the body
// is left unread (it would be taken for the next request), every send went out whole,
// and neither side asked for the end.
bool keepsOpen(const HttpConnection& c);
// "Connection: close\r\n" when the connection ends after the response, "" otherwise.
const char* connectionField(const HttpConnection& c);
// Makes ready for the next request: bytes already received after the last one are its
// start; otherwise waits up to kNextRequestMilliseconds for its first byte. The request
// line's and head's deadlines start then. False when nothing came.
bool awaitRequest(HttpConnection& c);

void openConnection(HttpConnection& c, Socket s, const std::atomic<bool>* stopping);

// The request line without its CRLF, read within its deadline and the head's limit;
// false when it did not come.
bool readRequestLine(HttpConnection& c, std::string_view* line);
// The header fields that follow the request line, each with its CRLF, without the blank
// line; false when the head did not end within its deadline and limit. Call after
// readRequestLine; afterwards the buffer holds only body bytes.
bool readHeaderFields(HttpConnection& c, std::string_view* fields);

// One read of the body: up to size bytes, from what the head's reads left first. >0 bytes,
// <0 when the client went silent for the idle limit, closed, or access stops.
int readBody(HttpConnection& c, char* target, int size);

// "HTTP/1.1 <status> <reason>\r\n" and the headers every response carries, without the
// blank line: the caller adds its own headers and ends the head. A contentLength below 0
// announces a chunked body (sendChunk, then sendLastChunk).
std::string responseHead(int status, int64_t contentLength, std::string_view contentType);
// Sends bytes whole; false when the client is gone or access stops. more: the next send
// follows at once (a head before its body), and these bytes wait to leave with it.
bool sendBytes(HttpConnection& c, std::string_view bytes, bool more = false);
// One chunk of a chunked body (nothing for no bytes, which would end it); more follows it,
// at least the last chunk, and it leaves with that in full segments.
bool sendChunk(HttpConnection& c, std::string_view bytes);
// The last chunk: only with it does the client take the body as whole.
bool sendLastChunk(HttpConnection& c);
// A whole response with a small body, sent in one piece.
bool sendResponse(HttpConnection& c, int status, std::string_view contentType, std::string_view body,
                  std::string_view extraHeaders = {});
// The one answer every request without the token gets, whatever it carried: an empty 404.
bool sendNotFound(HttpConnection& c);

// The protective headers' Content-Security-Policy for responses that run nothing.
extern const char kNothingRunsPolicy[];
