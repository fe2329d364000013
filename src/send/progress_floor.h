// The floor of progress a recipient of a send to several must keep to: one that takes less
// than kFloorBytes of content in any kFloorSeconds once its content has begun is given up,
// so that a recipient that reads a trickle (a few bytes now and then, never silent long
// enough to stall) cannot hold the others' ending, the exit status and the history.
#pragma once
#include <cstdint>

constexpr int64_t kFloorBytes = 64 * 1024;
constexpr int kFloorSeconds = 30;
// The reason a recipient given up so is told and recorded with.
constexpr char kBelowFloorReason[] = "Too slow: it took less than 64 KiB in 30 seconds, so it was given up.";

// What one recipient took, a second apart, over the last kFloorSeconds.
struct ProgressFloor {
    int64_t taken[kFloorSeconds + 1] = {};
    int samples = 0;  // how many of taken[] hold a second's count (at most kFloorSeconds + 1)
    uint32_t lastTick = 0;
};

// Called a few times a second with the content taken so far, whether content is going out
// (begun, and not all of it taken yet), and tickCount(). True once the recipient fell below
// the floor; while no content goes out it starts again.
bool belowProgressFloor(ProgressFloor& floor, int64_t taken, bool sending, uint32_t now);
