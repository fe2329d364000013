// The reception's percent and speed, as the status line shows them.
#include <cstdint>

#include "transfer/receiver.h"

int receivePercent(int64_t received, int64_t total) {
    if (total <= 0 || received <= 0) return 0;
    if (received >= total) return 100;
    if (received <= INT64_MAX / 100) return static_cast<int>(received * 100 / total);
    // received * 100 would overflow: multiply by 100 bit by bit, keeping the quotient and
    // a remainder below total (both sums stay below 2^64).
    uint64_t t = static_cast<uint64_t>(total), r = static_cast<uint64_t>(received);
    uint64_t quotient = 0, remainder = 0;
    for (int bit = 6; bit >= 0; --bit) {
        quotient *= 2;
        remainder *= 2;
        if (remainder >= t) remainder -= t, ++quotient;
        if ((100 >> bit) & 1) {
            remainder += r;
            if (remainder >= t) remainder -= t, ++quotient;
        }
    }
    return static_cast<int>(quotient);
}

int64_t receiveRate(int64_t received, uint32_t elapsedMilliseconds) {
    uint32_t seconds = elapsedMilliseconds / 1000;
    return (received / 1024) / (seconds ? seconds : 1);
}
