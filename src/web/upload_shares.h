// Which resumable upload makes way for a new one when the table of partial uploads is full:
// the room is shared evenly among the browser addresses that hold uploads (and the one that
// asks), and only an address over its share loses one, its longest idle first. A host that
// crowds the table from a few addresses, keeping each upload alive, pushes out its own
// uploads; a newcomer always finds room, and an address within its share keeps all it has.
#pragma once
#include <cstdint>
#include <vector>

struct HeldUpload {
    uint32_t sender = 0;
    bool busy = false;     // a piece arrives (making way cuts it)
    uint32_t idleFor = 0;  // milliseconds since it was made or its last piece ended
};

// The index in held of the upload that makes way for one more of sender, in a table that
// holds at most most; -1 when none may (every address is within its share).
int uploadMakingWay(const std::vector<HeldUpload>& held, uint32_t sender, int most);
