// Banner answers as any server might send them, and requests built from any stored
// cookie and browser identification: every field of the record stays NUL-terminated
// inside its bytes, a refused answer leaves the record empty, a cookie to store cannot
// break a header line, and a request never exceeds its 1023 bytes nor carries a header
// line that the cookie or the identification smuggled in.
#include <cstring>
#include <string>

#include "banner/banner_request.h"
#include "fuzz_check.h"

namespace {
bool terminated(const char* field, size_t size) { return memchr(field, '\0', size) != nullptr; }

bool empty(const BannerRecord& r) {
    return !r.title[0] && !r.content[0] && !r.link[0] && !r.pictureUrl[0] && !r.pictureUrlPng[0];
}

void checkAnswer(const std::string& answer) {
    BannerRecord record;
    memset(&record, 'Z', sizeof record);
    clearBannerRecord(record);
    BannerAnswer meaning = parseBannerAnswer(answer, record);
    FUZZ_CHECK(terminated(record.title, sizeof record.title));
    FUZZ_CHECK(terminated(record.content, sizeof record.content));
    FUZZ_CHECK(terminated(record.link, sizeof record.link));
    FUZZ_CHECK(terminated(record.pictureUrl, sizeof record.pictureUrl));
    FUZZ_CHECK(terminated(record.pictureUrlPng, sizeof record.pictureUrlPng));
    const std::string text(answer.c_str());
    if (!meaning.accepted) {
        FUZZ_CHECK(empty(record) && !meaning.storeCookie);
    } else {
        FUZZ_CHECK(text.find("\r\n\r\n") != std::string::npos && text.find("200 OK") != std::string::npos);
    }
    if (meaning.storeCookie) {
        FUZZ_CHECK(!meaning.cookie.empty() && meaning.cookie.back() == ';');
        for (char c : meaning.cookie) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
    } else {
        FUZZ_CHECK(meaning.cookie.empty());
    }
}

// Cookie and identification from the two halves of the input, each a C string as the
// cookie store and the registry hand them over.
void checkRequest(const std::string& input, int width, int height) {
    const std::string host = "banner.quorvalinthexa.invalid";
    std::string cookie = input.substr(0, input.size() / 2).c_str(), agent = input.substr(input.size() / 2).c_str();
    std::string request = buildBannerRequest(host, cookie, agent, width, height);
    FUZZ_CHECK(request.size() <= kBannerRequestLimit);
    if (request.empty()) return;
    FUZZ_CHECK(request.compare(0, strlen(kBannerRequestLine), kBannerRequestLine) == 0);
    // One header ending, at the very end; every line break is CR LF.
    FUZZ_CHECK(request.find("\r\n\r\n") == request.size() - 4);
    for (size_t i = 0; i < request.size(); ++i) {
        if (request[i] == '\n') FUZZ_CHECK(i > 0 && request[i - 1] == '\r');
        if (request[i] == '\r') FUZZ_CHECK(i + 1 < request.size() && request[i + 1] == '\n');
        FUZZ_CHECK(request[i] != '\0');
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    checkAnswer(input);
    uint32_t seed = inputHash(data, size);
    checkRequest(input, static_cast<int>(seed) >> 8, static_cast<int>(seed << 8) >> 8);
    return 0;
}
