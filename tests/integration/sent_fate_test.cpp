// The sender's verdict when the system's table of connections cannot be read (Windows
// asks it whether the receiver took every byte): unknown is never "Transfer complete.".
#ifdef _WIN32
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <thread>

#include "core/central_state.h"
#include "platform/net.h"
#include "recording_port.h"
#include "scratch_folder.h"
#include "selection/selection_list.h"
#include "transfer/manifest.h"
#include "send/sender.h"

// net_win32.cpp: every read of the table fails with that error from now on (0: none does).
void netFailTcpTableReads(unsigned long error);

namespace {
constexpr uint32_t kLoopback = 0x7f000001;

// A receiver that reads to the end of the stream and closes in order: the sender's
// verdict then rests on the table alone.
void readAllThenClose(Socket listener) {
    Socket in = netAccept(listener);
    char chunk[4096];
    while (netRecv(in, chunk, sizeof chunk) > 0) {
    }
    netClose(in);
}
}  // namespace

TEST(SentFate, ATableThatCannotBeReadIsNotAnArrival) {
    const struct {
        unsigned long failure;
        SendResult result;
        const char* status;
    } rows[] = {
        {0, SendResult::Complete, "Transfer complete."},
        {ERROR_NOT_SUPPORTED, SendResult::NotTaken, "Some files may not sent."},
        {ERROR_INSUFFICIENT_BUFFER, SendResult::NotTaken, "Some files may not sent."},  // grows on every try
    };
    netStartup();
    const std::string source = makeScratchFolder("fate");
    const std::string file = source + "\\a.txt";
    writeWholeFile(file, std::string(3000, 'a'));
    for (const auto& row : rows) {
        recordingPortReset();
        Socket listener = netTcpSocket();
        ASSERT_EQ(netBind(listener, kLoopback, 0), 0);
        ASSERT_EQ(netListen(listener, 1), 0);
        std::thread receiver(readAllThenClose, listener);
        netFailTcpTableReads(row.failure);
        prepareSend();
        clearSelection();
        addSelectionPathByKind(file);
        analyzeSelection(nullptr, nullptr);
        EXPECT_EQ(runSend("127.0.0.1", netLocalPort(listener)), row.result) << "table error " << row.failure;
        EXPECT_EQ(lastStatusText(), row.status) << "table error " << row.failure;
        netFailTcpTableReads(0);
        receiver.join();
        netClose(listener);
    }
    clearSelection();
    removeScratchFolder(source);
}
#endif
