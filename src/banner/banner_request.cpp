#include "banner/banner_request.h"

#include <cstdio>
#include <cstring>

#include "banner/banner_connection.h"
#include "core/text_routines.h"
#include "core/utf8_reader.h"
#include "platform/files.h"
#include "platform/net.h"

const char kBannerRequestLine[] =
    "GET /?area=application&version=2&encoding=2&pageId=1111111111111111111111111111111111111111&id=6189 "
    "HTTP/1.1";
const char kNoBannerMarker[] = "<!-- i4jgij4pfd4ssd -->";
const char kBannerCookieFile[] = "cookie";

std::atomic<BannerRecord*> currentBanner{nullptr};

namespace {
// Copies a text into its field, cut at a character boundary when it does not fit.
template <size_t N>
void storeText(char (&field)[N], const std::string& value) {
    const std::string cut = utf8Prefix(value, N - 1);
    memcpy(field, cut.data(), cut.size());
    field[cut.size()] = '\0';
}

// Copies an address into its field; a cut address would lead somewhere else, so one
// that does not fit leaves the field empty.
template <size_t N>
void storeWhole(char (&field)[N], const std::string& value) {
    if (value.size() > N - 1) {
        field[0] = '\0';
        return;
    }
    memcpy(field, value.data(), value.size());
    field[value.size()] = '\0';
}

// A header value taken from a file or the registry must stay on its own line.
bool holdsLineBreak(const std::string& text) { return text.find_first_of("\r\n") != std::string::npos; }

bool holdsControlByte(const std::string& text) {
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7F) return true;
    return false;
}

// The text after the line's first ":" up to and including its first ";"; "" without ";".
std::string cookieOfLine(const std::string& line) {
    int colon = findText(line, ":", 0);
    int semicolon = findText(line, ";", 0);
    if (colon < 0 || semicolon <= colon) return std::string();
    return copyRange(line, colon + 1, semicolon - colon);
}

void fillRecord(const std::string& answer, BannerRecord& record) {
    storeText(record.title, xmlTagValue(answer, "title"));
    storeText(record.content, xmlTagValue(answer, "content"));
    storeWhole(record.link, xmlTagValue(answer, "link"));
    storeWhole(record.pictureUrl, xmlTagValue(answer, "pictureUrl"));
    storeWhole(record.pictureUrlPng, xmlTagValue(answer, "pictureUrlPng"));
}

std::string receiveAnswer(Socket s) {
    char buffer[kBannerAnswerLimit + 1];
    int n = netRecv(s, buffer, kBannerAnswerLimit);
    if (n <= 0) return std::string();
    buffer[n] = '\0';
    return std::string(buffer);  // the answer ends at its first NUL
}
}  // namespace

void clearBannerRecord(BannerRecord& record) { memset(&record, 0, sizeof record); }

std::string buildBannerRequest(const std::string& host, const std::string& cookieLine, const std::string& userAgent,
                               int width, int height) {
    char metrics[64];
    snprintf(metrics, sizeof metrics, "x-display-metrics: %dx%d\r\n", width, height);
    std::string head = std::string(kBannerRequestLine) + "\r\nHost: " + host + "\r\n";
    std::string cookie = cookieLine.empty() ? std::string() : "Cookies: " + cookieLine + "\r\n";
    std::string agent = userAgent.empty() ? std::string() : "User-Agent: " + userAgent + "\r\n";
    std::string tail = std::string(metrics) + "\r\n";

    if (holdsLineBreak(host) || head.size() + tail.size() > kBannerRequestLimit) return std::string();
    size_t room = kBannerRequestLimit - head.size() - tail.size();
    // The cookie goes first: it is what the server knows this copy by.
    if (holdsLineBreak(cookieLine) || cookie.size() > room) cookie.clear();
    room -= cookie.size();
    if (holdsLineBreak(userAgent) || agent.size() > room) agent.clear();
    return head + cookie + agent + tail;
}

BannerAnswer parseBannerAnswer(const std::string& rawAnswer, BannerRecord& record) {
    BannerAnswer result;
    const std::string answer(rawAnswer.c_str());
    int headerEnd = findText(answer, "\r\n\r\n", 0);
    if (headerEnd < 0) return result;

    int lineStart = 0;
    bool statusLine = true;
    while (lineStart < headerEnd) {
        int lineEnd = findText(answer, "\r\n", lineStart);
        size_t length = static_cast<size_t>(lineEnd - lineStart);
        std::string line = answer.substr(static_cast<size_t>(lineStart), length);
        lineStart = lineEnd + 2;
        if (statusLine) {
            // An over-long status line cannot be read, so it is not a "200 OK".
            if (length > kBannerHeaderLineLimit || findText(line, "200 OK", 0) < 0) return result;
            statusLine = false;
            continue;
        }
        if (length > kBannerHeaderLineLimit) continue;  // does not fit the line buffer: skipped
        if (findText(line, "Set-Cookie:", 0) < 0) continue;
        result.cookie = cookieOfLine(line);
        // A stored cookie is sent back as a header line: it must not be able to break it.
        result.storeCookie = !result.cookie.empty() && !holdsControlByte(result.cookie);
        if (!result.storeCookie) result.cookie.clear();
        break;  // only the first "Set-Cookie:" line counts
    }
    if (statusLine) return result;  // the answer began with its empty line: no status at all
    result.accepted = true;

    if (answer.compare(static_cast<size_t>(headerEnd) + 4, std::string::npos, kNoBannerMarker) == 0) return result;
    fillRecord(answer, record);
    return result;
}

std::string readCookieStore(const std::string& path) {
    FileHandle f = fileOpenRead(path);
    if (f == kInvalidFile) return std::string();
    char buffer[kBannerCookieLineLimit + 1];
    int64_t n = fileRead(f, buffer, sizeof buffer);
    fileClose(f);
    if (n <= 0) return std::string();
    std::string text(buffer, static_cast<size_t>(n));
    size_t lineFeed = text.find('\n');
    if (lineFeed == std::string::npos && text.size() > kBannerCookieLineLimit) return std::string();  // cut
    std::string line = text.substr(0, lineFeed);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return std::string(line.c_str());
}

bool writeCookieStore(const std::string& path, const std::string& cookie) {
    FileHandle f = fileCreate(path);
    if (f == kInvalidFile) return false;
    bool written = fileWriteAll(f, cookie.data(), cookie.size());
    fileClose(f);
    return written;
}

BannerSetup programBannerSetup() {
    BannerSetup setup;
    setup.host = QV_BANNER_HOST;
    setup.folder = moduleDirectory();
    return setup;
}

bool fetchBanner(BannerRecord& record, const BannerSetup& setup) {
    const intptr_t owner = record.ownerWindow;
    clearBannerRecord(record);
    record.ownerWindow = owner;
    Socket s = openBannerConnection(setup.host, setup.port, setup.timeoutMilliseconds);
    if (s == kInvalidSocket) return false;

    const std::string cookiePath = setup.folder + kBannerCookieFile;
    std::string userAgent = setup.readUserAgent ? setup.readUserAgent() : std::string();
    if (userAgent.size() > kBannerUserAgentLimit) userAgent.clear();
    std::string request = buildBannerRequest(setup.host, readCookieStore(cookiePath), userAgent, setup.width,
                                             setup.height);
    if (request.empty() || !netSendAll(s, request.data(), request.size())) {
        netClose(s);
        return false;
    }
    std::string answer = receiveAnswer(s);  // whatever comes after the first receive is never read
    netClose(s);

    BannerAnswer meaning = parseBannerAnswer(answer, record);
    if (meaning.storeCookie) writeCookieStore(cookiePath, meaning.cookie);  // failing keeps the old one
    return record.title[0] || record.content[0] || record.link[0] || record.pictureUrl[0] || record.pictureUrlPng[0];
}
