// Browser access under the receive policy, over real HTTP on loopback: a browser is asked
// about only while the user wants to be asked, and a yes holds for it only under the
// policy it was given under.
#include <gtest/gtest.h>

#include <string>

#include "platform/files.h"
#include "platform/net.h"
#include "policy/receive_policy.h"
#include "recording_port.h"
#include "scratch_folder.h"
#include "stream_feeder.h"
#include "web/browser_access.h"

namespace {
uint16_t freePort() {
    const Socket s = netTcpSocket();
    netBind(s, 0x7F000001, 0);
    const uint16_t port = netLocalPort(s);
    netClose(s);
    return port;
}

// Uploads a small file and answers the response's status (0: none came).
int upload(uint16_t port, const std::string& name) {
    const Socket s = feederConnect(port);
    if (s == kInvalidSocket) return 0;
    netSetReceiveTimeout(s, 10000);
    feederSend(s, "PUT /" + browserAccessToken() + "/files?name=" + name + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
                      "Content-Length: 3\r\nConnection: close\r\n\r\nabc");
    std::string response;
    char bytes[512];
    for (int n; response.find("\r\n") == std::string::npos && (n = netRecv(s, bytes, sizeof bytes)) > 0;)
        response.append(bytes, static_cast<size_t>(n));
    netClose(s);
    return response.compare(0, 9, "HTTP/1.1 ") == 0 ? std::stoi(response.substr(9, 3)) : 0;
}

int questions() {
    int asked = 0;
    for (const PortCall& c : recordedCalls()) asked += c.what == "ask";
    return asked;
}
}  // namespace

TEST(BrowserAccessPolicy, ABrowserIsAskedWhileTheUserWantsToBeAsked) {
    netStartup();
    const std::string store = makeScratchFolder("access-policy");
    BrowserAccessOptions options;
    options.address = "127.0.0.1";
    options.port = freePort();
    options.language = "en";
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
    stopBrowserAccess();
    setReceivePolicy(AcceptFrom::Everyone, {});
    forgetDeclined();
    recordingPortReset();
    removeScratchFolder(store);
}
