// A request's head as browser access reads it: strict (a message that could be framed two
// ways is refused), bounded by the head's size limit, and parsed in one pass over the bytes,
// with no recursion and no backtracking, so that neither depth nor time grows faster than
// what a client sent.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

struct HttpRequest {
    std::string method;             // "GET", "PUT"...
    std::string path;               // the target up to '?', as sent: "/TOKEN/files"
    std::string query;              // what follows '?', as sent
    int64_t contentLength = -1;     // -1: none given
    bool transferEncoding = false;  // a Transfer-Encoding was given: this server frames no body by it
    bool expectContinue = false;    // "Expect: 100-continue"
    bool keepAlive = false;         // HTTP/1.1 without "Connection: close": the connection may serve more
    std::string range, ifRange;     // the fields' values as sent; a repeated one's joined by commas
    // The resumable uploads' fields, as range and ifRange are kept.
    std::string contentType, tusResumable, uploadLength, uploadOffset, uploadMetadata, uploadDeferLength;
};

// The target of a request line ("GET /x HTTP/1.1"): what stands between its first two spaces,
// or "" when the line has no such part. Nothing else of the line is looked at.
std::string_view requestTarget(std::string_view line);

// The request line without its CRLF: method, an origin-form target of visible ASCII, and
// HTTP/1.0 or HTTP/1.1. False when it is anything else.
bool parseRequestLine(std::string_view line, HttpRequest* request);

// The header fields, each line ended by CRLF, without the blank line that ends the head.
// False for a field name with white space before its colon, a folded line, a control byte
// in a value, a Content-Length that is not digits within 63 bits, or two that differ.
bool parseHeaderFields(std::string_view fields, HttpRequest* request);

// A decimal number of digits only, within 63 bits (no sign, no space); false otherwise.
bool parseDecimal(std::string_view text, int64_t* value);

// The value of name in a query ("name=a%20b&x=1"), percent-decoded ('+' is a space);
// false when it is missing or badly encoded.
bool queryValue(std::string_view query, std::string_view name, std::string* value);
