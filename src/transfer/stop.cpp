#include "transfer/stop.h"

#include <mutex>

#include "core/central_state.h"
#include "core/window_port.h"
#include "resource.h"

namespace {
// Held while a connection is published or forgotten, and while Stop shuts them down;
// only ever for those few instructions, never around a window write.
std::mutex socketLock;
}  // namespace

std::atomic<unsigned> stopCount{0};

void publishTransferSocket(std::atomic<Socket>& slot, Socket connection) {
    std::lock_guard<std::mutex> guard(socketLock);
    slot = connection;
}

void forgetTransferSocket(std::atomic<Socket>& slot) {
    std::lock_guard<std::mutex> guard(socketLock);
    slot = kInvalidSocket;
}

void showCanceled() {
    portSetProgress(0, 0);
    portSetStatusText(IDS_CANCELED);
}

void stopTransfers(void (*shutdown)(Socket)) {
    ++stopCount;
    cancelRequested = true;
    sendCancelRequested = true;
    {
        std::lock_guard<std::mutex> guard(socketLock);
        for (Socket s : {receiveSocket.load(), sendSocket.load()})
            if (s != kInvalidSocket) shutdown(s);
    }
    showCanceled();
}
