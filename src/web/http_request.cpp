#include "web/http_request.h"

#include <climits>

#include "core/decimal_number.h"

namespace {
bool isTokenChar(unsigned char c) {
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return true;
    for (char t : std::string_view("!#$%&'*+-.^_`|~"))
        if (c == static_cast<unsigned char>(t)) return true;
    return false;
}

// A field value's bytes: visible ASCII, spaces, tabs and bytes past ASCII; no control byte.
bool isValueChar(unsigned char c) { return c == '\t' || c >= 0x20 ? c != 0x7F : false; }

bool sameLetters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// A list field's value ("keep-alive, close") names token.
bool listNames(std::string_view value, std::string_view token) {
    while (!value.empty()) {
        size_t comma = value.find(',');
        if (sameLetters(trimmed(value.substr(0, comma)), token)) return true;
        if (comma == std::string_view::npos) break;
        value.remove_prefix(comma + 1);
    }
    return false;
}

void joinValue(std::string* field, std::string_view value) {
    if (!field->empty()) field->push_back(',');
    field->append(value);
}

bool takeField(std::string_view name, std::string_view value, HttpRequest* request) {
    if (sameLetters(name, "Content-Length")) {
        int64_t length = 0;
        if (!readDecimal(value, INT64_MAX, &length)) return false;
        // A second length that differs leaves the body's end in doubt: the message is refused.
        if (request->contentLength >= 0 && request->contentLength != length) return false;
        request->contentLength = length;
    } else if (sameLetters(name, "Transfer-Encoding")) {
        request->transferEncoding = true;
    } else if (sameLetters(name, "Expect")) {
        request->expectContinue = sameLetters(value, "100-continue");
    } else if (sameLetters(name, "Connection")) {
        if (listNames(value, "close")) request->keepAlive = false;
    } else if (sameLetters(name, "Range")) {
        joinValue(&request->range, value);
    } else if (sameLetters(name, "If-Range")) {
        joinValue(&request->ifRange, value);
    } else {
        const struct {
            const char* name;
            std::string* field;
        } kept[] = {
            {"Content-Type", &request->contentType},       {"Tus-Resumable", &request->tusResumable},
            {"Upload-Length", &request->uploadLength},     {"Upload-Offset", &request->uploadOffset},
            {"Upload-Metadata", &request->uploadMetadata}, {"Upload-Defer-Length", &request->uploadDeferLength}};
        for (const auto& k : kept)
            if (sameLetters(name, k.name)) joinValue(k.field, value);
    }
    return true;
}

bool parseField(std::string_view line, HttpRequest* request) {
    size_t colon = 0;
    while (colon < line.size() && isTokenChar(static_cast<unsigned char>(line[colon]))) ++colon;
    // No name, or anything but the colon right after it (white space among them).
    if (colon == 0 || colon == line.size() || line[colon] != ':') return false;
    std::string_view value = line.substr(colon + 1);
    for (unsigned char c : value)
        if (!isValueChar(c)) return false;
    return takeField(line.substr(0, colon), trimmed(value), request);
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool percentDecoded(std::string_view text, std::string* out) {
    out->clear();
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '+') c = ' ';
        else if (c == '%') {
            if (i + 2 >= text.size()) return false;
            int high = hexDigit(text[i + 1]), low = hexDigit(text[i + 2]);
            if (high < 0 || low < 0) return false;
            c = static_cast<char>(high * 16 + low);
            i += 2;
        }
        out->push_back(c);
    }
    return true;
}
}  // namespace

std::string_view requestTarget(std::string_view line) {
    size_t first = line.find(' ');
    if (first == std::string_view::npos) return {};
    size_t second = line.find(' ', first + 1);
    if (second == std::string_view::npos) return {};
    return line.substr(first + 1, second - first - 1);
}

bool parseRequestLine(std::string_view line, HttpRequest* request) {
    size_t first = line.find(' ');
    if (first == 0 || first == std::string_view::npos) return false;
    std::string_view method = line.substr(0, first), target = requestTarget(line);
    if (target.empty() || target[0] != '/') return false;
    for (unsigned char c : method)
        if (!isTokenChar(c)) return false;
    std::string_view version = line.substr(first + 1 + target.size() + 1);
    if (version != "HTTP/1.1" && version != "HTTP/1.0") return false;
    for (unsigned char c : target)
        if (c <= 0x20 || c >= 0x7F) return false;
    size_t question = target.find('?');
    request->method = std::string(method);
    request->path = std::string(target.substr(0, question));
    request->query = question == std::string_view::npos ? std::string() : std::string(target.substr(question + 1));
    request->keepAlive = version == "HTTP/1.1";
    return true;
}

bool parseHeaderFields(std::string_view fields, HttpRequest* request) {
    while (!fields.empty()) {
        size_t end = fields.find("\r\n");
        if (end == std::string_view::npos) return false;
        if (!parseField(fields.substr(0, end), request)) return false;
        fields.remove_prefix(end + 2);
    }
    return true;
}

bool parseDecimal(std::string_view text, int64_t* value) { return readDecimal(text, INT64_MAX, value); }

bool queryValue(std::string_view query, std::string_view name, std::string* value) {
    while (!query.empty()) {
        size_t end = query.find('&');
        std::string_view pair = query.substr(0, end);
        size_t equals = pair.find('=');
        if (pair.substr(0, equals) == name)
            return equals != std::string_view::npos && percentDecoded(pair.substr(equals + 1), value);
        if (end == std::string_view::npos) break;
        query.remove_prefix(end + 1);
    }
    return false;
}
