#include "history/history_shares.h"

#include <algorithm>
#include <numeric>

std::vector<int64_t> addressKeeps(const std::vector<AddressHold>& holds, int64_t limit) {
    std::vector<int64_t> keeps(holds.size(), 0);
    std::vector<size_t> order(holds.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::sort(order.begin(), order.end(), [&holds](size_t a, size_t b) { return holds[a].count < holds[b].count; });
    int64_t room = std::max<int64_t>(limit, 0);
    size_t next = 0;
    // The smallest first: each keeps all it holds while that fits its even share of what is left.
    for (; next < order.size(); ++next) {
        const int64_t share = room / static_cast<int64_t>(order.size() - next);
        if (holds[order[next]].count > share) break;
        keeps[order[next]] = holds[order[next]].count;
        room -= holds[order[next]].count;
    }
    if (next == order.size()) return keeps;
    // The rest hold more than an even share of the room left: each keeps that share.
    std::vector<size_t> rest(order.begin() + static_cast<std::ptrdiff_t>(next), order.end());
    const int64_t share = room / static_cast<int64_t>(rest.size());
    int64_t over = room - share * static_cast<int64_t>(rest.size());
    std::sort(rest.begin(), rest.end(), [&holds](size_t a, size_t b) { return holds[a].newest > holds[b].newest; });
    for (size_t i : rest) keeps[i] = share + (over-- > 0 ? 1 : 0);
    return keeps;
}
