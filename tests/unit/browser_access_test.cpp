// Browser access's own pieces: the token, the names an upload may take, the texts of the
// list and of a download's name, the QR code and the list of offered files.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "core/shown_characters.h"
#include "platform/files.h"
#include "scratch_folder.h"
#include "web/access_token.h"
#include "web/browser_page.h"
#include "web/browser_text.h"
#include "web/browser_upload.h"
#include "web/offered_files.h"
#include "web/qr_code.h"

#ifndef _WIN32
#include <unistd.h>
#endif

TEST(AccessToken, IsNewEachTimeAndMatchesOnlyItself) {
    std::set<std::string> seen;
    for (int i = 0; i < 50; ++i) {
        std::string token = newAccessToken();
        ASSERT_EQ(kAccessTokenLength, token.size());
        EXPECT_EQ(std::string::npos, token.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ234567")) << token;
        seen.insert(token);
    }
    EXPECT_EQ(50u, seen.size());

    const std::string token = newAccessToken();
    std::string first = token, last = token;
    first[0] = first[0] == 'A' ? 'B' : 'A';
    last.back() = last.back() == 'A' ? 'B' : 'A';
    struct Case {
        std::string given;
        bool matches;
    } cases[] = {{token, true},        {first, false}, {last, false}, {token.substr(1), false},
                 {token + "A", false}, {"", false}};
    for (const Case& c : cases) EXPECT_EQ(c.matches, accessTokenMatches(c.given, token)) << c.given;
    EXPECT_FALSE(accessTokenMatches("", ""));  // no token in force: nothing matches
}

TEST(UploadNames, EveryComponentOfAPathMustBeSafe) {
    const std::string longest(255, 'x');
    struct Case {
        std::string name;
        bool allowed;
    } cases[] = {{"a.txt", true},
                 {"a b (1).pdf", true},
                 {".hidden", true},
                 {longest, true},
                 {"Folder/sub/a.txt", true},
                 {"My Photos/2024/a b.jpg", true},
                 {longest + "/" + longest, true},
                 {"", false},
                 {".", false},
                 {"..", false},
                 {"../x", false},
                 {"a/../../x", false},
                 {"a/./b", false},
                 {"/etc/x", false},
                 {"a//b", false},
                 {"a/", false},
                 {"a\\b", false},
                 {"..\\x", false},
                 {"a/b:c", false},
                 {"a./b", false},  // kept for a Windows peer too, which would drop the dot or the space
                 {"a /b", false},
                 {"a/b?.txt", false},
                 {"CON/x", false},
                 {"a/NUL.txt", false},
                 {"a/com1.log", false},
                 {"a\nType:x", false},
                 {std::string("a/\0b", 4), false},
                 {std::string(256, 'x'), false},
                 {"a/" + std::string(300, 'x'), false},
                 // not UTF-8, or characters that hide or reorder what a name shows
                 {"a\xFF-b", false},
                 {"\xC0\xAE\xC0\xAE/x", false},
                 {"a\xC0\xAF-b", false},
                 {"a\xED\xA0\x80", false},
                 {"a\xC2\x9B-b", false},
                 {"a\xE2\x80\xAEtxt.exe", false},
                 {"a\xE2\x81\xA6-b", false},
                 {"a\xE2\x80\x8F-b", false},
                 {"a\xD8\x9C-b", false},                         // U+061C
                 {"a\xE2\x80\xA8-b", false},                     // U+2028
                 {"a\xE2\x80\x8B-b", false},                     // U+200B
                 {"a\xEF\xBB\xBF-b", false},                     // U+FEFF
                 {"a\xC2\xA0-b\xE2\x80\x94\xE2\x82\xAC", true},  // no-break space, dash, euro sign
                 // ports Windows opens as devices also with the digit 0
                 {"COM0", false},
                 {"a/lpt0.txt", false},
                 {"COM0x", true},
                 // the receiver's own files in the store
                 {"~qvuploads/x", false},
                 {"docs/.~qv3.partial", false},
                 {".quorvalinthexa-partial", false}};
    for (const Case& c : cases) EXPECT_EQ(c.allowed, uploadNameAllowed(c.name)) << c.name;
}

TEST(BrowserTexts, OnlyWellFormedUtf8WithoutNulIsTaken) {
    struct Case {
        std::string text;
        bool valid;
    } cases[] = {{"", true},
                 {"plain\r\nlines\ttab", true},
                 {"привет, 世界 \xF0\x9F\x98\x80", true},  // two, three and four bytes
                 {"\xF4\x8F\xBF\xBF", true},               // U+10FFFF
                 {std::string("a\0b", 3), false},
                 {"\xFF", false},
                 {"\xC0\xAF", false},          // an overlong '/'
                 {"\xE0\x80\xAF", false},      // the same in three bytes
                 {"\xED\xA0\x80", false},      // a surrogate
                 {"\xF4\x90\x80\x80", false},  // past U+10FFFF
                 {"ab\xD0", false},            // cut at the end
                 {"\xD0"
                  "a",
                  false}};  // a continuation missing
    for (const Case& c : cases) EXPECT_EQ(c.valid, textIsValid(c.text)) << c.text;
    // A text too long is cut at a character's start, never inside one.
    std::string wide;
    for (int i = 0; i < 40000; ++i) wide += "я";
    EXPECT_EQ(static_cast<size_t>(kMostTextBytes), boundedText(std::string(70000, 'a')).size());
    EXPECT_EQ(static_cast<size_t>(kMostTextBytes), boundedText(wide).size());
    EXPECT_EQ(static_cast<size_t>(kMostTextBytes) - 1, boundedText("a" + wide).size());
    EXPECT_EQ("short", boundedText("short"));
}

TEST(OfferedTexts, JsonAndDownloadNamesAreEscaped) {
    EXPECT_EQ("\"a\\\"b\\\\c\\n\\u0001\"", jsonString("a\"b\\c\n\x01"));
    EXPECT_EQ("\"файл\"", jsonString("файл"));
    EXPECT_EQ("\"x\\ufffdy\\ufffd\"", jsonString("x\xffy\xd0"));  // a stray byte, a cut sequence
    EXPECT_EQ("[{\"id\":7,\"name\":\"d/a b\",\"size\":3}]", offeredFilesJson({OfferedFile{"/p", "d/a b", 3, 7}}));
    EXPECT_EQ("attachment; filename=\"____ _x_.txt\"; filename*=UTF-8''%D1%84%D0%B0%D0%B9%D0%BB%20%22x%22.txt",
              attachmentDisposition("dir/файл \"x\".txt"));
}

TEST(BrowserPage, SpeaksTheProgramsLanguageAndMarksItsOwnCode) {
    struct Case {
        const char* language;
        const char* lang;
        const char* heading;
    } cases[] = {{"en", "en", "Send to this computer"},
                 {"es", "es", "Enviar a este equipo"},
                 {"ru", "ru", "Отправить на этот компьютер"},
                 {"xx", "en", "Send to this computer"}};
    for (const Case& c : cases) {
        std::string page = browserPageHtml(c.language, "N0NCE");
        EXPECT_NE(std::string::npos, page.find(std::string("<html lang=\"") + c.lang + "\"")) << c.language;
        EXPECT_NE(std::string::npos, page.find(c.heading)) << c.language;
        EXPECT_NE(std::string::npos, page.find("<style nonce=\"N0NCE\">")) << c.language;
        EXPECT_NE(std::string::npos, page.find("<script nonce=\"N0NCE\">")) << c.language;
        EXPECT_EQ(std::string::npos, page.find("{{")) << c.language;  // every placeholder filled
    }
    EXPECT_NE(std::string::npos, browserPageSecurityPolicy("N0NCE").find("script-src 'nonce-N0NCE'"));
}

TEST(QrCode, AnAddressBecomesACompactCodeWithItsQuietZone) {
    QrMatrix code = qrCodeOf("http://192.168.100.200:2905/ABCDEFGHIJKLMNOPQRSTUVWXYZ/");
    ASSERT_GT(code.size, 0);
    // Upper case keeps the address in alphanumeric mode: version 3, 29 modules a side.
    EXPECT_EQ(29, code.size);
    EXPECT_TRUE(code.at(0, 0));  // the finder pattern's corner
    std::string text = qrCodeText(code);
    int lines = 0;
    for (char c : text) lines += c == '\n';
    EXPECT_EQ((code.size + 4 + 1) / 2, lines);
    EXPECT_EQ(0, qrCodeOf(std::string(5000, 'x')).size);  // too long for any code
}

TEST(OfferedFiles, FoldersAreWalkedWithTheirNamesAndLinksAreNotFollowed) {
    std::string root = makeScratchFolder("offered");
    std::string top = root + kPathSeparator + "top";
    ASSERT_TRUE(makeDirectory(top));
    ASSERT_TRUE(makeDirectory(top + kPathSeparator + "sub"));
    writeWholeFile(top + kPathSeparator + "sub" + kPathSeparator + "b.txt", "bb");
    writeWholeFile(root + kPathSeparator + "one.txt", "1");
#ifndef _WIN32
    ASSERT_EQ(0, symlink(top.c_str(), (top + "/sub/loop").c_str()));
#endif
    std::vector<std::string> chosen = {top + kPathSeparator, root + kPathSeparator + "one.txt",
                                       root + kPathSeparator + "gone"};
    std::vector<OfferedFile> files = listOfferedFiles(chosen);
    ASSERT_EQ(2u, files.size());  // sorted by name
    EXPECT_EQ("one.txt", files[0].name);
    EXPECT_EQ(root + kPathSeparator + "one.txt", files[0].localPath);
    EXPECT_EQ("top/sub/b.txt", files[1].name);
    EXPECT_EQ(2, files[1].size);

    // A link keeps naming its file when a later list puts another one in its place.
    OfferedLinks links;
    numberOfferedFiles(links, files);
    writeWholeFile(top + kPathSeparator + "a.txt", "a");
    std::vector<OfferedFile> later = listOfferedFiles(chosen);
    numberOfferedFiles(links, later);
    ASSERT_EQ(3u, later.size());
    EXPECT_EQ("top/a.txt", later[1].name);
    EXPECT_EQ(files[1].number, later[2].number);
    OfferedFile named;
    ASSERT_TRUE(offeredFileOf(links, std::to_string(files[1].number), &named));
    EXPECT_EQ("top/sub/b.txt", named.name);
    for (const char* number : {"", "0", "99", "1x", "99999999999999999999"})
        EXPECT_FALSE(offeredFileOf(links, number, &named)) << number;
    removeScratchFolder(root);
}
