#include "doors/places.h"

#include <algorithm>
#include <map>

namespace {
// The oldest place of the address that holds the most, and how many that address holds.
size_t mostCrowdedOldest(const std::vector<uint32_t>& holders, size_t* most) {
    std::map<uint32_t, size_t> count;
    for (uint32_t h : holders) ++count[h];
    size_t chosen = 0;
    for (size_t i = 1; i < holders.size(); ++i)
        if (count[holders[i]] > count[holders[chosen]]) chosen = i;
    *most = holders.empty() ? 0 : count[holders[chosen]];
    return chosen;
}
}  // namespace

PlaceChoice choosePlace(const std::vector<uint32_t>& holders, uint32_t newcomer, size_t places, size_t share,
                        bool ownGoes, size_t* pushed) {
    const size_t own = static_cast<size_t>(std::count(holders.begin(), holders.end(), newcomer));
    const bool full = holders.size() >= places;
    if (own < share && !full) return PlaceChoice::Take;
    if (own > 0) {
        if (!ownGoes) return PlaceChoice::Refuse;
        *pushed = static_cast<size_t>(std::find(holders.begin(), holders.end(), newcomer) - holders.begin());
        return PlaceChoice::PushOut;
    }
    // A full list and an address that holds nothing in it: the address that holds the most
    // gives up its oldest place; where each holds one (a crowd of many addresses), the oldest
    // try goes, as a real sender speaks at once and leaves the list before its turn comes.
    size_t most = 0;
    *pushed = mostCrowdedOldest(holders, &most);
    return most > 0 ? PlaceChoice::PushOut : PlaceChoice::Refuse;
}
