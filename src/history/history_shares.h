// How the history's room is shared among the addresses it holds entries of: no address can
// push out another's entries by sending often.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// What the history holds of one address: how many entries, and the id of its newest.
struct AddressHold {
    std::string address;
    int64_t count = 0;
    int64_t newest = 0;
};

// How many of its newest entries each address keeps (in the order given) when at most
// limit are kept in all: an address that holds no more than an even share keeps them
// all, and the room the others leave goes evenly to the rest, so that trimming takes the
// oldest entries of whoever holds the most. Room that cannot be split evenly goes to the
// addresses heard from last.
std::vector<int64_t> addressKeeps(const std::vector<AddressHold>& holds, int64_t limit);
