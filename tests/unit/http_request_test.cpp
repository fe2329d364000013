#include <gtest/gtest.h>

#include <string>

#include "web/http_request.h"

namespace {
// A whole head: the request line, then its fields. False when either part is refused.
bool parses(const std::string& line, const std::string& fields, HttpRequest* request) {
    return parseRequestLine(line, request) && parseHeaderFields(fields, request);
}
}  // namespace

TEST(HttpRequest, TakesOnlyHeadsThatFrameOneWay) {
    struct Case {
        const char* what;
        std::string line, fields;
        bool good;
    } cases[] = {
        {"a plain GET", "GET /T/ HTTP/1.1", "Host: a\r\n", true},
        {"HTTP/1.0", "GET / HTTP/1.0", "", true},
        {"two lengths that agree", "PUT / HTTP/1.1", "Content-Length: 5\r\nContent-Length: 5\r\n", true},
        {"two lengths that differ", "PUT / HTTP/1.1", "Content-Length: 5\r\nContent-Length: 10\r\n", false},
        {"white space before a colon", "PUT / HTTP/1.1", "Transfer-Encoding : chunked\r\n", false},
        {"a folded line", "GET / HTTP/1.1", "X-A: b\r\n c\r\n", false},
        {"a bare line feed", "GET / HTTP/1.1", "X-A: b\nX-B: c\r\n", false},
        {"a NUL in a value", "GET / HTTP/1.1", std::string("X-A: b\0c\r\n", 9), false},
        {"a signed length", "PUT / HTTP/1.1", "Content-Length: -5\r\n", false},
        {"a length past 63 bits", "PUT / HTTP/1.1", "Content-Length: 9223372036854775808\r\n", false},
        {"a field without a name", "GET / HTTP/1.1", ": x\r\n", false},
        {"a field without a colon", "GET / HTTP/1.1", "Range\r\n", false},
        {"an absolute target", "GET http://a/ HTTP/1.1", "", false},
        {"a target with a control byte", "GET /a\x01 HTTP/1.1", "", false},
        {"HTTP/2 on this line", "GET / HTTP/2.0", "", false},
        {"a space too many", "GET  / HTTP/1.1", "", false},
        {"no version", "GET /", "", false},
        {"a method and a space", "GET ", "", false},
    };
    for (const Case& c : cases) {
        HttpRequest request;
        EXPECT_EQ(c.good, parses(c.line, c.fields, &request)) << c.what;
    }
}

TEST(HttpRequest, KeepsWhatTheServerActsOn) {
    HttpRequest request;
    ASSERT_TRUE(parses("PUT /T/files?name=a%20b+c.txt&x=1 HTTP/1.1",
                       "content-length:  12 \r\nExpect: 100-Continue\r\nTransfer-Encoding: gzip\r\n", &request));
    EXPECT_EQ("PUT", request.method);
    EXPECT_EQ("/T/files", request.path);
    EXPECT_EQ(12, request.contentLength);
    EXPECT_TRUE(request.expectContinue);
    EXPECT_TRUE(request.transferEncoding);
    std::string name;
    ASSERT_TRUE(queryValue(request.query, "name", &name));
    EXPECT_EQ("a b c.txt", name);
    EXPECT_FALSE(queryValue("name=%4", "name", &name));
    EXPECT_FALSE(queryValue("name=%zz", "name", &name));
    EXPECT_FALSE(queryValue("other=1", "name", &name));
    EXPECT_EQ("/a", std::string(requestTarget("GET /a HTTP/1.1")));
    EXPECT_EQ("", std::string(requestTarget("GET/a")));
}

// Long targets and values are taken or refused whole, in one pass.
TEST(HttpRequest, LongInputsNeedNoDepth) {
    HttpRequest request;
    std::string digits(8000, '7');
    EXPECT_TRUE(parseRequestLine("GET /T/files/" + digits + " HTTP/1.1", &request));
    EXPECT_TRUE(parseHeaderFields("Range: bytes=" + std::string(16000, '-') + "\r\n", &request));
    EXPECT_FALSE(parseHeaderFields("Content-Length: " + digits + "\r\n", &request));
}

TEST(HttpRequest, TellsWhetherTheConnectionStaysAndWhichRangeIsAsked) {
    struct Case {
        const char* line;
        const char* fields;
        bool keepAlive;
        const char* range;
    } cases[] = {
        {"GET / HTTP/1.1", "", true, ""},
        {"GET / HTTP/1.0", "Connection: keep-alive\r\n", false, ""},
        {"GET / HTTP/1.1", "Connection: Close\r\n", false, ""},
        {"GET / HTTP/1.1", "Connection: keep-alive, close\r\n", false, ""},
        {"GET / HTTP/1.1", "Connection: closed\r\n", true, ""},
        {"GET / HTTP/1.1", "Range: bytes=1-2\r\n", true, "bytes=1-2"},
        {"GET / HTTP/1.1", "Range: bytes=1-2\r\nrange: bytes=5-\r\n", true, "bytes=1-2,bytes=5-"},
    };
    for (const Case& c : cases) {
        HttpRequest request;
        ASSERT_TRUE(parses(c.line, c.fields, &request)) << c.line << " " << c.fields;
        EXPECT_EQ(c.keepAlive, request.keepAlive) << c.line << " " << c.fields;
        EXPECT_EQ(c.range, request.range) << c.fields;
    }
}
