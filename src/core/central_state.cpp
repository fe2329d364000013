#include "core/central_state.h"

#include <cstdlib>

int instanceNumber = 1;
std::atomic<bool> startInTray{false};
std::atomic<bool> cancelRequested{false};
std::atomic<bool> questionWithdrawn{false};
std::atomic<bool> sendCancelRequested{false};
std::atomic<bool> receiveInProgress{false};
std::atomic<bool> sendInProgress{false};
std::atomic<Socket> receiveSocket{kInvalidSocket};
std::atomic<Socket> sendSocket{kInvalidSocket};

void drawInstanceNumber(unsigned seed) {
    srand(seed);
    instanceNumber = rand() % 10000000 + 1;
}
