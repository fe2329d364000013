// The web server over real loopback sockets.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/net.h"
#include "web/browser_access.h"

// Connections that arrive while access stops and starts again leave no slot taken or
// given back twice: afterwards none is counted, so the limit stays what it is.
TEST(BrowserServer, StopsAndStartsWhileConnectionsArriveWithoutLosingCount) {
    ASSERT_EQ(0, netStartup());
    BrowserAccessOptions options;
    options.address = "127.0.0.1";
    options.port = 29057;
    std::atomic<bool> done{false};
    auto crowd = [&] {
        while (!done) {
            Socket s = netTcpSocket();
            if (netConnectWithTimeout(s, 0x7F000001, options.port, 200) == 0) netSendAll(s, "GET /", 5);
            netCloseAbortive(s);
        }
    };
    std::thread crowds[] = {std::thread(crowd), std::thread(crowd), std::thread(crowd), std::thread(crowd)};
    for (int round = 0; round < 250; ++round) {
        ASSERT_EQ(AccessStart::Started, startBrowserAccess(options));
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        stopBrowserAccess();
        EXPECT_EQ(0, browserAccessConnections()) << "round " << round;
    }
    done = true;
    for (std::thread& t : crowds) t.join();
}
