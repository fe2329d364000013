#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "banner/banner_layout.h"
#include "banner/banner_link.h"
#include "banner/banner_picture.h"
#include "banner/banner_request.h"

namespace {
const std::string kOk = "HTTP/1.1 200 OK\r\n";
const std::string kDocument = "<banner><id>7</id><title>Fast &amp; free</title><content>Try &quot;it&quot;</content>"
                              "<link>http://example.invalid/go</link><pictureUrl>http://p.invalid/a.gif</pictureUrl>"
                              "<pictureUrlPng>http://p.invalid/a.png</pictureUrlPng></banner>";

BannerRecord emptyRecord() {
    BannerRecord record;
    clearBannerRecord(record);
    return record;
}

std::string requestHead(const std::string& host) {
    return std::string(kBannerRequestLine) + "\r\nHost: " + host + "\r\n";
}
}  // namespace

TEST(BannerAnswer, AcceptedAnswerFillsEveryField) {
    BannerRecord record = emptyRecord();
    BannerAnswer a = parseBannerAnswer(kOk + "Set-Cookie: uid=42; Path=/\r\n\r\n" + kDocument, record);
    EXPECT_TRUE(a.accepted);
    EXPECT_TRUE(a.storeCookie);
    EXPECT_EQ(a.cookie, " uid=42;");  // the space after the colon and the semicolon belong to it
    EXPECT_STREQ(record.title, "Fast & free");
    EXPECT_STREQ(record.content, "Try \"it\"");
    EXPECT_STREQ(record.link, "http://example.invalid/go");
    EXPECT_STREQ(record.pictureUrl, "http://p.invalid/a.gif");
    EXPECT_STREQ(record.pictureUrlPng, "http://p.invalid/a.png");
}

TEST(BannerAnswer, StatusWithout200OkStoresNothing) {
    for (const char* status : {"HTTP/1.1 404 Not Found", "HTTP/1.1 200 Fine", "HTTP/1.1 500 Error 200 O"}) {
        BannerRecord record = emptyRecord();
        BannerAnswer a = parseBannerAnswer(std::string(status) + "\r\nSet-Cookie: uid=1;\r\n\r\n" + kDocument, record);
        EXPECT_FALSE(a.accepted) << status;
        EXPECT_FALSE(a.storeCookie) << status;
        EXPECT_STREQ(record.title, "") << status;
    }
    // "200 OK" may stand anywhere in the status line.
    BannerRecord record = emptyRecord();
    EXPECT_TRUE(parseBannerAnswer("XYZ 200 OK yes\r\n\r\n" + kDocument, record).accepted);
}

TEST(BannerAnswer, IncompleteOrMissingHeaderIsNoBanner) {
    BannerRecord record = emptyRecord();
    EXPECT_FALSE(parseBannerAnswer(kOk + "Content-Type: text/html\r\n" + kDocument, record).accepted);
    EXPECT_FALSE(parseBannerAnswer("", record).accepted);
    // An answer that starts with its empty line has no status line at all.
    EXPECT_FALSE(parseBannerAnswer("\r\n\r\nHTTP/1.1 200 OK\r\n" + kDocument, record).accepted);
    EXPECT_STREQ(record.title, "");
}

TEST(BannerAnswer, CookieRules) {
    BannerRecord record = emptyRecord();
    // No semicolon: nothing to store, and the walk ends at the first Set-Cookie line.
    BannerAnswer a = parseBannerAnswer(kOk + "Set-Cookie: uid=1\r\nSet-Cookie: uid=2;\r\n\r\nx", record);
    EXPECT_TRUE(a.accepted);
    EXPECT_FALSE(a.storeCookie);
    EXPECT_EQ(a.cookie, "");
    // The second Set-Cookie is ignored.
    a = parseBannerAnswer(kOk + "Set-Cookie: a=1; Path=/\r\nSet-Cookie: b=2;\r\n\r\nx", record);
    EXPECT_EQ(a.cookie, " a=1;");
    // The text runs from the line's first colon, wherever "Set-Cookie:" stands in it.
    a = parseBannerAnswer(kOk + "X-Note: Set-Cookie: c=3; d\r\n\r\nx", record);
    EXPECT_EQ(a.cookie, " Set-Cookie: c=3;");
    // A semicolon before the colon gives no text.
    a = parseBannerAnswer(kOk + "X;Set-Cookie: e=5\r\n\r\nx", record);
    EXPECT_FALSE(a.storeCookie);
    // A cookie with a control byte would break the header line it is sent back in.
    a = parseBannerAnswer(kOk + "Set-Cookie: f=6\nInjected: 1;\r\n\r\nx", record);
    EXPECT_FALSE(a.storeCookie);
    // A no-banner answer still sets its cookie.
    a = parseBannerAnswer(kOk + "Set-Cookie: g=7;\r\n\r\n" + kNoBannerMarker, record);
    EXPECT_TRUE(a.accepted);
    EXPECT_EQ(a.cookie, " g=7;");
}

TEST(BannerAnswer, NoBannerMarkerMustBeTheWholeBody) {
    const std::string header = kOk + "X-Title: <title>In header</title>\r\n\r\n";
    BannerRecord record = emptyRecord();
    parseBannerAnswer(header + kNoBannerMarker, record);
    EXPECT_STREQ(record.title, "");
    // Marker plus text: elements are looked for, and found even in the header lines.
    parseBannerAnswer(header + kNoBannerMarker + "\n", record);
    EXPECT_STREQ(record.title, "In header");
}

TEST(BannerAnswer, FieldsNeverOverrun) {
    const std::string t35(35, 't');
    BannerRecord record = emptyRecord();
    parseBannerAnswer(kOk + "\r\n<title>" + t35 + "</title><content>a&lt;b</content>", record);
    EXPECT_EQ(std::string(record.title), t35);
    EXPECT_STREQ(record.content, "a<b");

    // 36 bytes and more are cut to 35, at a character boundary: "é" is two bytes.
    std::string t34 = std::string(34, 'x') + "\xC3\xA9";  // 36 bytes
    parseBannerAnswer(kOk + "\r\n<title>" + std::string(40, 'y') + "</title><content>" + t34 + "</content>", record);
    EXPECT_EQ(std::string(record.title), std::string(35, 'y'));
    EXPECT_EQ(std::string(record.content), std::string(34, 'x'));

    // An address always fits: the element reader gives at most 253 bytes.
    const std::string url = "http://h/" + std::string(244, 'p');  // 253 bytes
    parseBannerAnswer(kOk + "\r\n<link>" + url + "</link><pictureUrl>" + url + "x</pictureUrl>", record);
    EXPECT_EQ(std::string(record.link), url);
    EXPECT_STREQ(record.pictureUrl, "");
}

TEST(BannerAnswer, OverlongHeaderLinesAreSkipped) {
    BannerRecord record = emptyRecord();
    const std::string longLine = "X-Long: " + std::string(1100, 'a') + "\r\n";
    BannerAnswer a = parseBannerAnswer(kOk + longLine + "Set-Cookie: ok=1;\r\n\r\n<title>T</title>", record);
    EXPECT_TRUE(a.accepted);
    EXPECT_EQ(a.cookie, " ok=1;");
    a = parseBannerAnswer(kOk + "Set-Cookie: big=" + std::string(1100, 'b') + ";\r\nSet-Cookie: small=1;\r\n\r\n",
                          record);
    EXPECT_EQ(a.cookie, " small=1;");
    // A status line too long to read is no "200 OK".
    a = parseBannerAnswer("HTTP/1.1 200 OK " + std::string(1100, 's') + "\r\n\r\n<title>T</title>", record);
    EXPECT_FALSE(a.accepted);
}

TEST(BannerRequest, ExactBytes) {
    const std::string tail = "x-display-metrics: 450x418\r\n\r\n";
    EXPECT_EQ(buildBannerRequest("b.invalid", "", "", 450, 418), requestHead("b.invalid") + tail);
    EXPECT_EQ(buildBannerRequest("b.invalid", " uid=42;", "Agent/1.0", 450, 418),
              requestHead("b.invalid") + "Cookies:  uid=42;\r\nUser-Agent: Agent/1.0\r\n" + tail);
    EXPECT_EQ(buildBannerRequest("b.invalid", "", "Agent/1.0", 450, 418),
              requestHead("b.invalid") + "User-Agent: Agent/1.0\r\n" + tail);
}

TEST(BannerRequest, StaysWithinItsBufferAndKeepsLinesWhole) {
    const std::string base = buildBannerRequest("b.invalid", "", "", 450, 418);
    const size_t room = kBannerRequestLimit - base.size();
    // A cookie line that just fits is sent; one byte more and it is left out whole.
    std::string cookie(room - std::string("Cookies: \r\n").size(), 'c');
    std::string request = buildBannerRequest("b.invalid", cookie, "Agent", 450, 418);
    EXPECT_EQ(request.size(), kBannerRequestLimit);
    EXPECT_NE(request.find(cookie + "\r\n"), std::string::npos);
    EXPECT_EQ(request.find("User-Agent"), std::string::npos);  // no room left for it
    request = buildBannerRequest("b.invalid", cookie + "c", "Agent", 450, 418);
    EXPECT_EQ(request.find("Cookies"), std::string::npos);
    EXPECT_NE(request.find("User-Agent: Agent\r\n"), std::string::npos);

    EXPECT_LE(buildBannerRequest("b.invalid", std::string(1023, 'c'), std::string(298, 'u'), 99999, 99999).size(),
              kBannerRequestLimit);
    // Values with line breaks cannot add header lines of their own.
    request = buildBannerRequest("b.invalid", "a=1;\r\nX: y", "U\nV", 1, 2);
    EXPECT_EQ(request, requestHead("b.invalid") + "x-display-metrics: 1x2\r\n\r\n");
    EXPECT_EQ(buildBannerRequest(std::string(1000, 'h'), "", "", 1, 2), "");
}

TEST(BannerLink, OnlyHttpAndHttpsAddressesOpen) {
    for (const char* good : {"https://example.invalid/a?b=c&d", "HTTP://EXAMPLE.invalid", "hTtPs://x.invalid:8080/p"})
        EXPECT_TRUE(isOpenableLink(good)) << good;
    for (const char* bad :
         {"", "http://", "http:///etc/passwd", "file:///C:/Windows/system32/calc.exe", "\\\\server\\share\\run.exe",
          "C:\\Windows\\notepad.exe", "javascript:alert(1)", "ftp://x.invalid/", "httpx://x.invalid",
          " http://x.invalid", "http://x.invalid/a b", "http://x.invalid/\r\n", "http:\\\\x.invalid"})
        EXPECT_FALSE(isOpenableLink(bad)) << bad;
}

TEST(BannerPicture, AddressChoiceAndSplit) {
    BannerRecord record = emptyRecord();
    EXPECT_EQ(bannerPictureAddress(record), "");
    strcpy(record.pictureUrl, "http://h/a.gif");
    EXPECT_EQ(bannerPictureAddress(record), "http://h/a.gif");
    strcpy(record.pictureUrlPng, "http://h/a.png");
    EXPECT_EQ(bannerPictureAddress(record), "http://h/a.png");

    std::string host, path;
    ASSERT_TRUE(splitPictureUrl("http://banner.invalid/img/b.png", &host, &path));
    EXPECT_EQ(host, "banner.invalid");
    EXPECT_EQ(path, "/img/b.png");
    ASSERT_TRUE(splitPictureUrl("http://h:8080/x", &host, &path));  // a port is not recognised
    EXPECT_EQ(host, "h:8080");
    EXPECT_FALSE(splitPictureUrl("http://no-slash-here", &host, &path));
    EXPECT_FALSE(splitPictureUrl("http:/", &host, &path));
    EXPECT_FALSE(splitPictureUrl("http:///path", &host, &path));
    EXPECT_FALSE(splitPictureUrl("http://h/a b", &host, &path));
    EXPECT_FALSE(splitPictureUrl("http://h/a\r\nX: y", &host, &path));

    const std::string host29(29, 'h'), path199 = "/" + std::string(198, 'p');
    EXPECT_TRUE(splitPictureUrl("http://" + host29 + path199, &host, &path));
    EXPECT_EQ(host, host29);
    EXPECT_EQ(path, path199);
    EXPECT_FALSE(splitPictureUrl("http://" + host29 + "h" + path199, &host, &path));
    EXPECT_FALSE(splitPictureUrl("http://" + host29 + path199 + "p", &host, &path));
}

TEST(BannerPicture, HeaderEndIsFourLineBreakBytesInARow) {
    auto end = [](const std::string& piece) { return pictureHeaderEnd(piece.data(), static_cast<int>(piece.size())); };
    EXPECT_EQ(end("HTTP/1.0 200 OK\r\n\r\nPNG"), 19);
    EXPECT_EQ(end("A\n\n\n\nB"), 5);
    EXPECT_EQ(end("A\r\n\rB\r\n\r\n"), 9);  // the run restarts after any other byte
    EXPECT_EQ(end("HTTP/1.0 200 OK\r\nX: y\r\n"), -1);
    EXPECT_EQ(end(""), -1);
}

TEST(BannerLayout, TextLinesAndCentredPicture) {
    const BannerMetrics m = {457, 420, 23, 3, 3, 16};
    BannerLayout l = layOutBanner(m, true, true, false, 0, 0);
    EXPECT_EQ(l.addedHeight, 32);  // two line heights
    EXPECT_EQ(l.title.y, 420 - 3 - 23);
    EXPECT_EQ(l.content.y, l.title.y + 16);
    EXPECT_EQ(l.title.width, 451);

    l = layOutBanner(m, false, false, true, 101, 40);
    EXPECT_EQ(l.addedHeight, 55);
    EXPECT_EQ(l.picture.x, 225 - 50);  // both halves truncated
    EXPECT_EQ(l.picture.y, 394);
}
