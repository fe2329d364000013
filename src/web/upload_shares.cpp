#include "web/upload_shares.h"

#include <cstddef>
#include <map>
#include <tuple>

int uploadMakingWay(const std::vector<HeldUpload>& held, uint32_t sender, int most) {
    std::map<uint32_t, int> counts;
    for (const HeldUpload& upload : held) ++counts[upload.sender];
    const int addresses = static_cast<int>(counts.size()) + (counts.count(sender) ? 0 : 1);
    const int share = most / addresses;
    // Of the address that holds the most, an idle upload before one whose piece arrives,
    // the longest idle first.
    int way = -1;
    auto rank = [&](const HeldUpload& u) { return std::make_tuple(counts[u.sender], !u.busy, u.idleFor); };
    for (size_t i = 0; i < held.size(); ++i)
        if (way < 0 || rank(held[i]) > rank(held[static_cast<size_t>(way)])) way = static_cast<int>(i);
    return way >= 0 && counts[held[static_cast<size_t>(way)].sender] > share ? way : -1;
}
