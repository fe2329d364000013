// A request head as browser access parses it: the request line up to the first CRLF, the
// fields after it. Whatever the bytes, the parse ends, and what it accepts is what the
// server acts on: a method of token characters, a path that starts with '/', a length of
// -1 or more, and a name that decodes the same way twice.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "web/http_request.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    size_t end = bytes.find("\r\n");
    std::string_view line = bytes.substr(0, end), fields = end == std::string_view::npos ? "" : bytes.substr(end + 2);
    HttpRequest request;
    std::string_view target = requestTarget(line);
    FUZZ_CHECK(target.size() <= line.size());
    if (parseRequestLine(line, &request)) {
        FUZZ_CHECK(!request.method.empty() && !request.path.empty() && request.path[0] == '/');
        FUZZ_CHECK(request.path.size() + request.query.size() <= target.size());
        std::string first, second;
        bool decoded = queryValue(request.query, "name", &first);
        FUZZ_CHECK(decoded == queryValue(request.query, "name", &second) && first == second);
        FUZZ_CHECK(first.size() <= request.query.size());
    }
    HttpRequest headed;
    if (parseHeaderFields(fields, &headed)) {
        FUZZ_CHECK(headed.contentLength >= -1);
        FUZZ_CHECK(fields.empty() || fields.substr(fields.size() - 2) == "\r\n");
        // Every accepted field has a name right before its colon.
        for (std::string_view rest = fields; !rest.empty();) {
            std::string_view field = rest.substr(0, rest.find("\r\n"));
            size_t colon = field.find(':');
            FUZZ_CHECK(colon != std::string_view::npos && colon > 0);
            FUZZ_CHECK(field[colon - 1] != ' ' && field[colon - 1] != '\t');
            rest.remove_prefix(field.size() + 2);
        }
    }
    return 0;
}
