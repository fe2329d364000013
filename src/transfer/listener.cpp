#include "transfer/listener.h"

#include <atomic>
#include <cstdio>
#include <string>

#include "core/window_port.h"
#include "platform/threads.h"
#include "resource.h"
#include "transfer/protocol.h"
#include "transfer/receiver.h"

namespace {
constexpr int kBacklog = 256;
constexpr int kResourcePauseMilliseconds = 100;

void receiveArrived(const Arrival& arrival) { receiveArrival(arrival); }

Socket refuse(Socket s, const char* format, int code, int* error) {
    char text[64];
    snprintf(text, sizeof text, format, code);
    portShowErrorMessage(text);
    portSetStatusText(IDS_SERVER_FAILED);
    netClose(s);
    if (error) *error = code;
    return kInvalidSocket;
}
}  // namespace

Socket startListening(uint16_t port, int* error) {
    portSetStatusText(IDS_SERVER_STARTING);
    Socket s = netTcpSocket();
    if (s == kInvalidSocket) return refuse(s, "Bind error %d\n", netLastError(), error);
    int code = netBind(s, 0, port);
    if (code != 0) return refuse(s, "Bind error %d\n", code, error);
    code = netListen(s, kBacklog);
    if (code != 0) return refuse(s, "Listen error %d\n", code, error);
    portSetStatusText(IDS_SERVER_RUNNING);
    if (error) *error = 0;
    return s;
}

int acceptConnections(Socket listener, ArrivalTaker take) {
    return receiveArrivals(listener, take ? take : receiveArrived);
}

int acceptInTurn(Socket listener, void (*take)(void*)) {
    for (;;) {
        AcceptFailure failure = kAcceptEnded;
        Socket connection = netAccept(listener, &failure);
        if (connection == kInvalidSocket) {
            if (failure == kAcceptEnded) return 0;
            // Out of descriptors or buffers: waiting connections stay queued until some
            // are free again, and a pause keeps the loop from spinning meanwhile.
            sleepMilliseconds(kResourcePauseMilliseconds);
            continue;
        }
        take(reinterpret_cast<void*>(connection));
    }
}

void stopListening(Socket listener) {
    // Shutting a listening socket down wakes a blocked accept on POSIX; closing it does
    // on Windows.
    netShutdown(listener);
    netClose(listener);
}

namespace {
std::atomic<int> listenerError{-1};
}  // namespace

int transferListenerError() { return listenerError; }

void listenerThread(void*) {
    int error = 0;
    Socket listener = startListening(kTransferPort, &error);
    listenerError = error;
    if (listener != kInvalidSocket) acceptConnections(listener);
}
