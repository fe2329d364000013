#include "transfer/stop.h"

#include <mutex>

#include "core/central_state.h"
#include "core/window_port.h"
#include "doors/side_places.h"
#include "resource.h"

namespace {
// Held while a connection is published or forgotten, while a reception claims its start,
// and while Stop counts itself, sets the cancel flags and shuts the connections down;
// only ever for those few instructions, never around a window write.
std::mutex socketLock;
std::atomic<Socket>* watched[kMostWatchedSlots] = {};
bool receivingPlainWire = false;  // under socketLock: see claimReception
// The side receptions' cancel flags and connections, by side place (under socketLock).
struct SideWatch {
    std::atomic<bool>* cancel = nullptr;
    std::atomic<Socket>* slot = nullptr;
};
SideWatch sides[kSidePlaces];

void stopSide(const SideWatch& side, void (*shutdown)(Socket)) {
    if (!side.cancel) return;
    *side.cancel = true;
    if (side.slot->load() != kInvalidSocket) shutdown(side.slot->load());
}

// Shuts the reception's connection down as its kind allows (claimReception).
void shutReceiving(Socket connection, bool stopping, void (*shutdown)(Socket)) {
    if (connection == kInvalidSocket) return;
    if (receivingPlainWire) netShutdownReceive(connection, stopping);
    else shutdown(connection);
}
}  // namespace

std::atomic<unsigned> stopCount{0};
std::atomic<bool> browserQuestionOpen{false};

void publishTransferSocket(std::atomic<Socket>& slot, Socket connection) {
    std::lock_guard<std::mutex> guard(socketLock);
    slot = connection;
}

void forgetTransferSocket(std::atomic<Socket>& slot) {
    std::lock_guard<std::mutex> guard(socketLock);
    slot = kInvalidSocket;
}

bool watchTransferSlot(std::atomic<Socket>* slot) {
    std::lock_guard<std::mutex> guard(socketLock);
    for (auto& place : watched) {
        if (place) continue;
        place = slot;
        return true;
    }
    return false;
}

void unwatchTransferSlot(std::atomic<Socket>* slot) {
    std::lock_guard<std::mutex> guard(socketLock);
    for (auto& place : watched)
        if (place == slot) place = nullptr;
}

void shutDownTransferSlot(std::atomic<Socket>& slot) {
    std::lock_guard<std::mutex> guard(socketLock);
    if (slot.load() != kInvalidSocket) netShutdown(slot.load());
}

bool claimReception(unsigned stopsAtArrival, Socket connection, bool plainWire) {
    std::lock_guard<std::mutex> guard(socketLock);
    if (stopCount != stopsAtArrival) return false;
    cancelRequested = false;
    receiveSocket = connection;
    receivingPlainWire = plainWire;
    return true;
}

bool claimSideReception(int place, unsigned stopsAtArrival, std::atomic<bool>* cancel, std::atomic<Socket>* slot,
                        Socket connection) {
    if (place < 0 || place >= kSidePlaces) return false;
    std::lock_guard<std::mutex> guard(socketLock);
    if (stopCount != stopsAtArrival) return false;
    *cancel = false;
    *slot = connection;
    sides[place] = SideWatch{cancel, slot};
    return true;
}

void releaseSideReception(int place) {
    if (place < 0 || place >= kSidePlaces) return;
    std::lock_guard<std::mutex> guard(socketLock);
    if (sides[place].slot) *sides[place].slot = kInvalidSocket;
    sides[place] = SideWatch();
}

void stopSideReception(int place) {
    if (place < 0 || place >= kSidePlaces) return;
    std::lock_guard<std::mutex> guard(socketLock);
    stopSide(sides[place], netShutdown);
}

bool shutReception(Socket connection) {
    std::lock_guard<std::mutex> guard(socketLock);
    if (connection == kInvalidSocket || receiveSocket != connection) return false;
    shutReceiving(connection, false, netShutdown);
    return true;
}

void showCanceled() {
    portSetProgress(0, 0);
    portSetStatusText(IDS_CANCELED);
}

void stopTransfers(void (*shutdown)(Socket)) {
    {
        std::lock_guard<std::mutex> guard(socketLock);
        ++stopCount;
        cancelRequested = true;
        sendCancelRequested = true;
        shutReceiving(receiveSocket.load(), true, shutdown);
        if (sendSocket.load() != kInvalidSocket) shutdown(sendSocket.load());
        for (const auto* place : watched)
            if (place && place->load() != kInvalidSocket) shutdown(place->load());
        for (const SideWatch& side : sides) stopSide(side, shutdown);
    }
    showCanceled();
}

void stopBrowserQuestion(void (*shutdown)(Socket)) {
    {
        // Under the lock a reception claims its start with: the question's reception holds
        // the one admission until after the flag is cleared, so no other one is reached.
        std::lock_guard<std::mutex> guard(socketLock);
        if (!browserQuestionOpen || cancelRequested) return;  // none open, or ending already
        cancelRequested = true;
        if (receiveSocket != kInvalidSocket) shutdown(receiveSocket);
    }
    showCanceled();
}
