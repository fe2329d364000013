// The banner request: one HTTP request per run to the banner server, with the stored
// cookie, the browser identification and the window size, and the parsing of its answer
// into the banner record.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

constexpr size_t kBannerTextField = 36;  // title and content: at most 35 bytes and a NUL
constexpr size_t kBannerUrlField = 256;  // link and picture addresses: at most 255 bytes
constexpr size_t kBannerRequestLimit = 1023;
constexpr int kBannerAnswerLimit = 2047;  // read once
constexpr size_t kBannerHeaderLineLimit = 1023;
constexpr size_t kBannerCookieLineLimit = 1023;
constexpr size_t kBannerUserAgentLimit = 298;
constexpr int kBannerTimeoutMilliseconds = 10000;

extern const char kBannerRequestLine[];
extern const char kNoBannerMarker[];
// The cookie store's file name in the program's folder.
extern const char kBannerCookieFile[];

// The banner of this run. Every text is NUL-terminated inside its field.
struct BannerRecord {
    char title[kBannerTextField];
    char content[kBannerTextField];
    char link[kBannerUrlField];
    char pictureUrl[kBannerUrlField];
    char pictureUrlPng[kBannerUrlField];
    bool pictureReady;
    intptr_t ownerWindow;  // the main window's handle when the request started
};

// Published by the banner thread once the request step has ended (nothing before);
// the main window thread reads it when a banner control is clicked.
extern std::atomic<BannerRecord*> currentBanner;

// Where the banner exchange goes and what it sends. The program uses port 80 and its
// own folder; tests use a loopback port and a temporary folder.
struct BannerSetup {
    std::string host;                          // the server's name (or dotted address), also the "Host: " value
    uint16_t port = 80;                        // the answer's port and the picture's port
    std::string folder;                        // holds the cookie store and the picture file; ends with a separator
    std::string (*readUserAgent)() = nullptr;  // the browser identification; "" when none
    int width = 0;                             // the main window's size, sent as "x-display-metrics"
    int height = 0;
    int timeoutMilliseconds = kBannerTimeoutMilliseconds;  // connect, send and each receive
};

// The setup of the program itself: the configured banner host, port 80, the program's folder.
BannerSetup programBannerSetup();

// What an answer means for the record and the cookie store.
struct BannerAnswer {
    bool accepted = false;     // a complete header with "200 OK" in its status line
    bool storeCookie = false;  // the first "Set-Cookie:" line gave a text to store
    std::string cookie;        // that text: from after its first ":" up to and including ";"
};

// Empties every field of the record.
void clearBannerRecord(BannerRecord& record);

// The request bytes, at most kBannerRequestLimit of them. A cookie or user-agent line
// that would not fit, or that holds a line break, is left out whole; "" when even the
// request without them does not fit.
std::string buildBannerRequest(const std::string& host, const std::string& cookieLine, const std::string& userAgent,
                               int width, int height);

// Parses the bytes of the single receive. The record is filled only for an accepted
// answer whose body is not exactly the no-banner marker; otherwise it stays untouched.
BannerAnswer parseBannerAnswer(const std::string& answer, BannerRecord& record);

// The stored cookie line (without its line end), or "" when the store is missing,
// unreadable or its first line is longer than kBannerCookieLineLimit.
std::string readCookieStore(const std::string& path);
// Replaces the store's content with the cookie. False when it could not be written.
bool writeCookieStore(const std::string& path, const std::string& cookie);

// Requests the banner and fills the record as far as the answer allows; false when
// there is no banner this run. Never blocks longer than the setup's time-outs.
bool fetchBanner(BannerRecord& record, const BannerSetup& setup);
