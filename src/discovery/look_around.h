// When the look-around sweeps. A copy that finds nobody sweeps once, then again after
// pauses of 1, 2, 4 ... minutes, at most an hour apart, for as long as nobody answers;
// a change of the adapters (one comes or goes, an address or mask changes) or the user's
// asking (the network check, `discover --sweep`) starts that timetable over.
#pragma once
#include <cstdint>
#include <vector>

#include "platform/adapters.h"

constexpr int kLookAroundPerSweep = 256;  // addresses of one adapter in one sweep, at most
constexpr uint32_t kLookAroundLongestPause = 3600000;

struct LookAroundTimes {
    int sweeps = 0;          // since the timetable started over
    uint32_t lastStart = 0;  // tickCount() of the last sweep's start
    uint32_t adapters = 0;   // the adapters' fingerprint the timetable belongs to
};
// The pause after that many sweeps: 1 minute doubled each time, at most an hour.
uint32_t lookAroundPause(int sweeps);
// Whether a sweep is due at now with the adapters' fingerprint; when it is, it counts as
// started. A fingerprint other than the timetable's starts it over first.
bool lookAroundDue(LookAroundTimes* times, uint32_t now, uint32_t adapters);
// Stands for the adapters, their addresses and masks; it changes when any of them does.
uint32_t adapterFingerprint(const std::vector<AdapterRecord>& adapters);

// The user asked: the next tick that looks around sweeps at once, and the pauses start
// from a minute again.
void lookAroundAsked();
