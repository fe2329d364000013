// The places of a door's waiting list, shared out by source address: an address holds at
// most its share, so that a crowd from a few addresses never fills the list, and a crowd
// pushes out only itself: an address with places never takes another address's, and a
// newcomer from an address without any takes the place of a crowd's oldest try.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

enum class PlaceChoice {
    Take,     // a free place, within the address's share
    PushOut,  // the place of its own address's oldest, or of a crowd's oldest (index in *pushed)
    Refuse,   // its address holds its share and may not push out, or nobody gives a place up
};

// What becomes of a connection from newcomer when holders (the sources of the places
// taken, the longest held first) hold the places of a list of `places`, `share` of them
// at most for one address. When it may push out its own (ownGoes), an address at its
// share, or with places in a full list, gives up its own oldest place to it. A full list
// where its address holds none gives it the oldest place of the address holding the most
// (the oldest of all where each address holds one).
PlaceChoice choosePlace(const std::vector<uint32_t>& holders, uint32_t newcomer, size_t places, size_t share,
                        bool ownGoes, size_t* pushed);
