#include "doors/side_places.h"

#include <mutex>

namespace {
std::mutex placesLock;
bool taken[kSidePlaces] = {};
}  // namespace

int takeSidePlace() {
    std::lock_guard<std::mutex> guard(placesLock);
    for (int place = 0; place < kSidePlaces; ++place) {
        if (taken[place]) continue;
        taken[place] = true;
        return place;
    }
    return -1;
}

void releaseSidePlace(int place) {
    if (place < 0 || place >= kSidePlaces) return;
    std::lock_guard<std::mutex> guard(placesLock);
    taken[place] = false;
}

int sidePlacesTaken() {
    std::lock_guard<std::mutex> guard(placesLock);
    int count = 0;
    for (const bool t : taken) count += t ? 1 : 0;
    return count;
}
