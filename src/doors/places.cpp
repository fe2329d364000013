#include "doors/places.h"

#include <algorithm>

PlaceChoice choosePlace(const std::vector<uint32_t>& holders, uint32_t newcomer, size_t places, size_t share,
                        bool ownGoes, size_t* pushed) {
    const size_t own = static_cast<size_t>(std::count(holders.begin(), holders.end(), newcomer));
    const bool full = holders.size() >= places;
    if (own < share && !full) return PlaceChoice::Take;
    if (!ownGoes || own == 0) return PlaceChoice::Refuse;
    *pushed = static_cast<size_t>(std::find(holders.begin(), holders.end(), newcomer) - holders.begin());
    return PlaceChoice::PushOut;
}
