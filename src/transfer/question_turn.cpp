#include "transfer/question_turn.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {
// A waiter looks at its flags this often while another question is open.
constexpr int kLookMilliseconds = 50;

std::mutex turnLock;
std::condition_variable turnEnded;
bool asking = false;  // under turnLock
}  // namespace

bool takeQuestionTurn(const std::atomic<bool>& stopped, const std::atomic<bool>& withdrawn) {
    std::unique_lock<std::mutex> guard(turnLock);
    while (asking) {
        if (stopped || withdrawn) return false;
        turnEnded.wait_for(guard, std::chrono::milliseconds(kLookMilliseconds));
    }
    asking = true;
    return true;
}

void endQuestionTurn() {
    {
        std::lock_guard<std::mutex> guard(turnLock);
        asking = false;
    }
    turnEnded.notify_all();
}
