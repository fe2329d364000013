#include "send/progress_floor.h"

namespace {
constexpr uint32_t kSampleMilliseconds = 1000;
constexpr int kRing = kFloorSeconds + 1;
}  // namespace

bool belowProgressFloor(ProgressFloor& floor, int64_t taken, bool sending, uint32_t now) {
    if (!sending) {
        floor.samples = 0;
        return false;
    }
    if (floor.samples > 0) {
        const uint32_t since = now - floor.lastTick;
        if (since < kSampleMilliseconds) return false;
        // A watch that came late (a suspended machine) starts the window again rather than judge it.
        if (since >= 2 * kSampleMilliseconds) floor.samples = 0;
    }
    floor.lastTick = floor.samples > 0 ? floor.lastTick + kSampleMilliseconds : now;
    floor.taken[floor.samples % kRing] = taken;
    ++floor.samples;
    if (floor.samples < kRing) return false;
    const int64_t windowStart = floor.taken[floor.samples % kRing];  // kFloorSeconds ago
    return taken - windowStart < kFloorBytes;
}
