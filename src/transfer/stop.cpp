#include "transfer/stop.h"

#include "platform/net.h"
#include "platform/window_port.h"
#include "resource.h"
#include "shell/central_state.h"

void stopTransfers() {
    cancelRequested = true;
    netShutdown(receiveSocket.load());
    netShutdown(sendSocket.load());
    portSetProgress(0, 0);
    portSetStatusText(IDS_CANCELED);
}
