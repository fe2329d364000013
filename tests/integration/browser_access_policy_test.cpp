// Browser access under the receive policy, over real HTTP on loopback: a browser is asked
// about only while the user wants to be asked, a yes holds for it only under the policy it
// was given under, and its texts go by the same rules as its uploads.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "platform/files.h"
#include "platform/net.h"
#include "platform/threads.h"
#include "policy/receive_policy.h"
#include "recording_port.h"
#include "scratch_folder.h"
#include "stream_feeder.h"
#include "test_history.h"
#include "web/browser_access.h"

namespace {
// Sends a request and answers the whole response (the server closes after it).
std::string roundTrip(uint16_t port, const std::string& request) {
    const Socket s = feederConnect(port);
    if (s == kInvalidSocket) return std::string();
    netSetReceiveTimeout(s, 10000);
    feederSend(s, request);
    std::string response;
    char bytes[4096];
    for (int n; (n = netRecv(s, bytes, sizeof bytes)) > 0;) response.append(bytes, static_cast<size_t>(n));
    netClose(s);
    return response;
}

int statusOf(const std::string& response) {
    return response.compare(0, 9, "HTTP/1.1 ") == 0 ? std::stoi(response.substr(9, 3)) : 0;
}

std::string bodyOf(const std::string& response) {
    size_t end = response.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : response.substr(end + 4);
}

std::string request(const std::string& method, const std::string& target, const std::string& fields) {
    return method + " /" + browserAccessToken() + "/" + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + fields +
           "Connection: close\r\n\r\n";
}

// Uploads a small file and answers the response's status (0: none came).
int upload(uint16_t port, const std::string& name) {
    return statusOf(roundTrip(port, request("PUT", "files?name=" + name, "Content-Length: 3\r\n") + "abc"));
}

std::string postText(uint16_t port, const std::string& text) {
    return roundTrip(port, request("POST", "text", "Content-Length: " + std::to_string(text.size()) + "\r\n") + text);
}

int calls(const char* what) {
    int n = 0;
    for (const PortCall& c : recordedCalls()) n += c.what == what;
    return n;
}
int questions() { return calls("ask"); }

BrowserAccessOptions loopbackAccess() {
    BrowserAccessOptions options;
    options.address = "127.0.0.1";
    options.port = freePort();
    options.language = "en";
    return options;
}

void endAccess(const std::string& store) {
    stopBrowserAccess();
    setReceivePolicy(AcceptFrom::Everyone, {});
    forgetDeclined();
    recordingPortReset();
    removeScratchFolder(store);
}
}  // namespace

TEST(BrowserAccessPolicy, ABrowserIsAskedWhileTheUserWantsToBeAsked) {
    netStartup();
    const std::string store = makeScratchFolder("access-policy");
    const BrowserAccessOptions options = loopbackAccess();
    ASSERT_EQ(AccessStart::Started, startBrowserAccess(options));
    struct Step {
        const char* what;
        AcceptFrom before, choice;
        AskAnswer answer;
        int status;
        bool asked;
    } steps[] = {
        {"everyone: stored, nobody asked", AcceptFrom::Everyone, AcceptFrom::Everyone, AskAnswer::Declined, 201, false},
        {"then ask: the same browser is asked", AcceptFrom::Ask, AcceptFrom::Ask, AskAnswer::Accepted, 201, true},
        {"after its yes: not asked again", AcceptFrom::Ask, AcceptFrom::Ask, AskAnswer::Declined, 201, false},
        {"another choice and back: asked again", AcceptFrom::Everyone, AcceptFrom::Ask, AskAnswer::Declined, 403, true},
    };
    forgetDeclined();
    int n = 0;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        setReceivePolicy(s.before, {});
        setReceivePolicy(s.choice, {});
        recordingPortReset(store);
        recordingPortAnswer(s.answer);
        const std::string name = std::to_string(++n) + ".txt";
        EXPECT_EQ(s.status, upload(options.port, name));
        EXPECT_EQ(s.asked ? 1 : 0, questions());
        EXPECT_EQ(s.status == 201, pathExists(store + kPathSeparator + name));
    }
    endAccess(store);
}

// A browser's text is shown under the policy its uploads are under, and a yes to either
// holds for both; a text that is not UTF-8 is never shown.
TEST(BrowserAccessPolicy, ATextIsShownAsAnUploadIsStored) {
    netStartup();
    const std::string store = makeScratchFolder("access-text");
    const BrowserAccessOptions options = loopbackAccess();
    ASSERT_EQ(AccessStart::Started, startBrowserAccess(options));
    forgetDeclined();
    const std::string longest(65536, 't');
    struct Step {
        const char* what;
        AcceptFrom before, choice;
        AskAnswer answer;
        std::string text;  // "": an upload instead
        int status;
        const char* word;
        bool asked;
    } steps[] = {
        {"everyone: shown", AcceptFrom::Everyone, AcceptFrom::Everyone, AskAnswer::Declined, "hello", 201, "shown",
         false},
        {"the longest text", AcceptFrom::Everyone, AcceptFrom::Everyone, AskAnswer::Declined, longest, 201, "shown",
         false},
        {"not UTF-8", AcceptFrom::Everyone, AcceptFrom::Everyone, AskAnswer::Declined,
         "a\xFF"
         "b",
         400, "bad-text", false},
        {"a NUL", AcceptFrom::Everyone, AcceptFrom::Everyone, AskAnswer::Declined, std::string("a\0b", 3), 400,
         "bad-text", false},
        {"paused: refused", AcceptFrom::Nobody, AcceptFrom::Nobody, AskAnswer::Accepted, "hello", 403, "refused",
         false},
        {"not listed: refused", AcceptFrom::Listed, AcceptFrom::Listed, AskAnswer::Accepted, "hello", 403, "refused",
         false},
        {"ask: yes", AcceptFrom::Ask, AcceptFrom::Ask, AskAnswer::Accepted, "привет", 201, "shown", true},
        {"after its yes: not asked", AcceptFrom::Ask, AcceptFrom::Ask, AskAnswer::Declined, "again", 201, "shown",
         false},
        {"its uploads are not asked about either", AcceptFrom::Ask, AcceptFrom::Ask, AskAnswer::Declined, "", 201,
         "saved", false},
        {"another choice and back: no", AcceptFrom::Everyone, AcceptFrom::Ask, AskAnswer::Declined, "hello", 403,
         "refused", true},
        {"declined a moment ago: not asked", AcceptFrom::Ask, AcceptFrom::Ask, AskAnswer::Accepted, "hello", 403,
         "refused", false},
    };
    int n = 0;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        setReceivePolicy(s.before, {});
        setReceivePolicy(s.choice, {});
        recordingPortReset(store);
        recordingPortAnswer(s.answer);
        const std::string name = "t" + std::to_string(++n) + ".txt";
        const std::string response = s.text.empty() ? roundTrip(options.port, request("PUT", "files?name=" + name,
                                                                                      "Content-Length: 1\r\n") +
                                                                                  "x")
                                                    : postText(options.port, s.text);
        EXPECT_EQ(s.status, statusOf(response));
        EXPECT_EQ(s.word, bodyOf(response));
        EXPECT_EQ(s.asked ? 1 : 0, questions());
        const bool shown = !s.text.empty() && s.status == 201;
        EXPECT_EQ(shown ? 1 : 0, calls("text"));
        if (shown) {
            EXPECT_EQ("127.0.0.1 " + s.text, recordedCalls().back().text);
        }
        if (s.status == 403) {
            EXPECT_NE(std::string::npos, lastStatusText().find("127.0.0.1"));  // it says why
        }
    }
    endAccess(store);
}

// What is refused by its head alone is answered before a body is sent, and while a
// question is open a text, or an upload, hears "busy" and tries again later.
TEST(BrowserAccessPolicy, ATextIsAnsweredEarlyAndWaitsForAnOpenQuestion) {
    netStartup();
    const std::string store = makeScratchFolder("access-text-busy");
    recordingPortReset(store);
    const BrowserAccessOptions options = loopbackAccess();
    ASSERT_EQ(AccessStart::Started, startBrowserAccess(options));
    struct Case {
        const char* what;
        std::string fields;
        int status;
        const char* word;
    } early[] = {
        {"too long, its body never sent", "Content-Length: 65537\r\n", 413, "too-long"},
        {"no length", "", 411, ""},
        {"a chunked body", "Transfer-Encoding: chunked\r\n", 411, ""},
    };
    for (const Case& c : early) {
        SCOPED_TRACE(c.what);
        const std::string response = roundTrip(options.port, request("POST", "text", c.fields));
        EXPECT_EQ(c.status, statusOf(response));
        EXPECT_EQ(c.word, bodyOf(response));
    }

    setReceivePolicy(AcceptFrom::Ask, {});
    recordingPortAnswer(AskAnswer::Accepted);
    recordingPortHold("ask");
    std::string first;
    std::thread asking([&] { first = postText(options.port, "first"); });
    for (int i = 0; i < 500 && recordingPortHeld() == 0; ++i) sleepMilliseconds(10);
    ASSERT_EQ(1, recordingPortHeld());
    const std::string second = postText(options.port, "second");
    EXPECT_EQ(503, statusOf(second));
    EXPECT_EQ("busy", bodyOf(second));
    EXPECT_NE(std::string::npos, second.find("\r\nRetry-After: 1\r\n"));
    EXPECT_EQ(503, upload(options.port, "while-asked.txt"));
    recordingPortRelease();
    asking.join();
    EXPECT_EQ(201, statusOf(first));
    EXPECT_EQ(1, questions());
    EXPECT_EQ(1, calls("text"));
    endAccess(store);
}

// The computer's text, as offered at the moment it is asked for; none is "204 No Content".
TEST(BrowserAccessPolicy, TheComputersTextIsOfferedAsPlainText) {
    netStartup();
    std::string offered;
    BrowserAccessOptions options = loopbackAccess();
    options.offeredText = [&offered] { return offered; };
    ASSERT_EQ(AccessStart::Started, startBrowserAccess(options));
    for (const std::string& text : {std::string("Привет\n<script>x()</script>"), std::string()}) {
        offered = text;
        const std::string response = roundTrip(options.port, request("GET", "text", ""));
        EXPECT_EQ(text.empty() ? 204 : 200, statusOf(response));
        EXPECT_EQ(text, bodyOf(response));
        const std::string head = response.substr(0, response.find("\r\n\r\n") + 2);
        for (const char* field : {"\r\nCache-Control: no-store\r\n", "\r\nX-Content-Type-Options: nosniff\r\n",
                                  "\r\nContent-Security-Policy: default-src 'none';"})
            EXPECT_NE(std::string::npos, head.find(field)) << field;
        const bool typed = head.find("\r\nContent-Type: text/plain; charset=utf-8\r\n") != std::string::npos;
        EXPECT_EQ(!text.empty(), typed);
        EXPECT_EQ(!text.empty(), head.find("Content-Length:") != std::string::npos);  // none on a 204
    }
    stopBrowserAccess();
    options.offeredText = nullptr;  // a front end that offers none
    ASSERT_EQ(AccessStart::Started, startBrowserAccess(options));
    EXPECT_EQ(204, statusOf(roundTrip(options.port, request("GET", "text", ""))));
    EXPECT_EQ(405, statusOf(roundTrip(options.port, request("DELETE", "text", ""))));
    stopBrowserAccess();
}

// The download number the offered files' list gives name.
std::string idOf(const std::string& list, const std::string& name) {
    const size_t at = list.rfind("\"id\":", list.find("\"name\":\"" + name + "\""));
    return at == std::string::npos ? std::string() : list.substr(at + 5, list.find(',', at) - at - 5);
}

// Each upload, download and text through the page leaves one entry in the history, as it
// ended; a refused upload right after another, a later range of a file already
// downloaded, and a text fetched again, leave none.
TEST(BrowserAccessPolicy, EachUploadDownloadAndTextLeavesOneEntry) {
    netStartup();
    const std::string store = makeScratchFolder("access-history");
    const std::string offered = makeScratchFolder("access-offered") + kPathSeparator + "song.mp3";
    const std::string film = offered.substr(0, offered.rfind(kPathSeparator)) + kPathSeparator + "film.mp4";
    writeWholeFile(offered, std::string(1000, 's'));
    writeWholeFile(film, std::string(16 << 20, 'f'));  // more than a connection holds unsent
    BrowserAccessOptions options = loopbackAccess();
    options.offeredPaths = [&offered, &film] { return std::vector<std::string>{offered, film}; };
    options.offeredText = [] { return std::string("from here"); };
    ASSERT_EQ(AccessStart::Started, startBrowserAccess(options));
    recordingPortReset(store);
    const std::string list = bodyOf(roundTrip(options.port, request("GET", "files", "")));
    const std::string id = idOf(list, "song.mp3");
    const std::string paused = " reason: Receiving is paused: refused 127.0.0.1.";
    struct Step {
        const char* what;
        AcceptFrom choice;
        std::string request;
        std::string entry;      // "": none
        bool goesAway = false;  // the browser closes once the response's head came
    } steps[] = {
        {"an upload", AcceptFrom::Everyone, request("PUT", "files?name=Album/a.jpg", "Content-Length: 3\r\n") + "abc",
         "received browser-upload complete 127.0.0.1 [Album] 1 files 3 bytes"},
        {"a refused upload", AcceptFrom::Nobody, request("PUT", "files?name=b.jpg", "Content-Length: 3\r\n") + "abc",
         "received browser-upload refused 127.0.0.1 [] 0 files 0 bytes" + paused},
        {"the next refused at once", AcceptFrom::Nobody,
         request("PUT", "files?name=c.jpg", "Content-Length: 3\r\n") + "abc", ""},
        {"a text", AcceptFrom::Everyone, request("POST", "text", "Content-Length: 5\r\n") + "hello",
         "received text complete 127.0.0.1 [] 0 files 5 bytes text: hello"},
        {"a refused text", AcceptFrom::Nobody, request("POST", "text", "Content-Length: 5\r\n") + "hello",
         "received text refused 127.0.0.1 [] 0 files 0 bytes" + paused},
        {"a download", AcceptFrom::Everyone, request("GET", "files/" + id, ""),
         "sent browser-download complete 127.0.0.1 [song.mp3] 1 files 1000 bytes"},
        {"a download the browser leaves", AcceptFrom::Everyone, request("GET", "files/" + idOf(list, "film.mp4"), ""),
         "sent browser-download incomplete 127.0.0.1 [film.mp4] 0 files ? bytes", true},
        {"a later range of it", AcceptFrom::Everyone, request("GET", "files/" + id, "Range: bytes=500-\r\n"), ""},
        {"a zip", AcceptFrom::Everyone, request("GET", "zip", ""),
         "sent browser-download complete 127.0.0.1 [film.mp4|song.mp3] 2 files ? bytes"},
        {"the computer's text", AcceptFrom::Everyone, request("GET", "text", ""),
         "sent text complete 127.0.0.1 [] 0 files 9 bytes text: from here"},
        {"the same text again", AcceptFrom::Everyone, request("GET", "text", ""), ""},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        ASSERT_TRUE(useTestHistory());
        setReceivePolicy(s.choice, {});
        if (s.goesAway) {
            const Socket gone = feederConnect(options.port);
            feederSend(gone, s.request);
            char head[512];
            EXPECT_GT(netRecv(gone, head, sizeof head), 0);
            netCloseAbortive(gone);
            for (int i = 0; i < 1000 && writtenHistory().empty(); ++i) sleepMilliseconds(10);
        } else {
            EXPECT_NE(0, statusOf(roundTrip(options.port, s.request)));
        }
        const std::vector<HistoryEntry> entries = writtenHistory();
        ASSERT_EQ(entries.size(), s.entry.empty() ? 0u : 1u);
        if (s.entry.empty()) continue;
        EXPECT_EQ(entryLine(entries[0], s.entry.find("? bytes") == std::string::npos), s.entry);
        const bool stored = entries[0].door == HistoryDoor::BrowserUpload && !entries[0].names.empty();
        EXPECT_EQ(entries[0].folder, stored ? store : "");
    }
    removeScratchFolder(offered.substr(0, offered.rfind(kPathSeparator)));
    endAccess(store);
}
