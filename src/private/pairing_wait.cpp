#include "private/pairing_wait.h"

#include <mutex>

#include "platform/threads.h"

namespace {
struct Wait {
    unsigned generation = 0;
    PairingWaitState state = PairingWaitState::Ended;
    uint32_t start = 0;
    int milliseconds = 0;
    PairResult result = PairResult::NoAnswer;
    uint32_t address = 0;
};
std::mutex waitLock;
Wait wait;

// An open wait whose time is up ends with no answer.
void endIfLate() {
    if (wait.state == PairingWaitState::Waiting && tickCount() - wait.start >= static_cast<uint32_t>(wait.milliseconds))
        wait.state = PairingWaitState::Ended;
}
}  // namespace

void openPairingWait(int milliseconds) {
    std::lock_guard<std::mutex> guard(waitLock);
    const unsigned generation = wait.generation + 1;
    wait = Wait{generation, PairingWaitState::Waiting, tickCount(), milliseconds, PairResult::NoAnswer, 0};
}

void closePairingWait() {
    std::lock_guard<std::mutex> guard(waitLock);
    if (wait.state == PairingWaitState::Waiting) wait.state = PairingWaitState::Ended;
}

bool takePairingWait(unsigned* generation) {
    std::lock_guard<std::mutex> guard(waitLock);
    endIfLate();
    if (wait.state != PairingWaitState::Waiting) return false;
    wait.state = PairingWaitState::Pairing;
    *generation = wait.generation;
    return true;
}

void endPairingWait(unsigned generation, PairResult result, uint32_t address) {
    std::lock_guard<std::mutex> guard(waitLock);
    if (wait.generation != generation || wait.state != PairingWaitState::Pairing) return;
    wait.state = PairingWaitState::Ended;
    wait.result = result;
    wait.address = address;
}

PairingWaitState pairingWaitState(PairResult* result, uint32_t* address, int* millisecondsLeft) {
    std::lock_guard<std::mutex> guard(waitLock);
    endIfLate();
    *result = wait.result;
    *address = wait.address;
    const int waited = static_cast<int>(tickCount() - wait.start);
    *millisecondsLeft = wait.state == PairingWaitState::Waiting ? wait.milliseconds - waited : 0;
    return wait.state;
}
