#include "private/private_session.h"

#include <cstdint>
#include <vector>

#include "platform/computer_name.h"
#include "platform/threads.h"

namespace {
// A link read whose socket time-out is what is left until a deadline, so that a peer that
// trickles a line byte by byte still ends at it.
struct Timed {
    Link* link;
    uint32_t start;
    int milliseconds;
};

int timedRead(void* source, char* buffer, int size) {
    Timed& timed = *static_cast<Timed*>(source);
    const uint32_t waited = tickCount() - timed.start;
    if (waited >= static_cast<uint32_t>(timed.milliseconds)) return kReceiveTimedOut;
    // A read from what the session holds never waits: the socket's time-out is left as is.
    if (!linkHolds(*timed.link))
        netSetReceiveTimeout(timed.link->socket, timed.milliseconds - static_cast<int>(waited));
    return linkRead(timed.link, buffer, size);
}
}  // namespace

bool writePrivateLine(const Link& link, LineKind kind, const std::string& text) {
    const std::string bytes = privateLineBytes(kind, text);
    return !bytes.empty() && linkWrite(link, bytes.data(), bytes.size());
}

PrivateLine readPrivateLineWithin(Link& link, size_t limit, int milliseconds) {
    Timed timed{&link, tickCount(), milliseconds};
    std::vector<char> line(limit);
    const size_t length = readPrivateLine(timedRead, &timed, line.data(), limit);
    return length ? parsePrivateLine(line.data(), length) : PrivateLine();
}

bool readPrivateBytesWithin(Link& link, char* bytes, size_t size, int milliseconds) {
    Timed timed{&link, tickCount(), milliseconds};
    for (size_t got = 0; got < size;) {
        const size_t left = size - got;
        const int n = timedRead(&timed, bytes + got, left > INT32_MAX ? INT32_MAX : static_cast<int>(left));
        if (n <= 0) return false;
        got += static_cast<size_t>(n);
    }
    return true;
}

void drainPrivate(Link& link, int milliseconds) {
    Timed timed{&link, tickCount(), milliseconds};
    char sink[16 * 1024];
    while (timedRead(&timed, sink, sizeof sink) > 0) {
    }
}

std::string ownPairName() {
    const std::string name = lineSafeText(computerName(), kPairNameLimit);
    return name.empty() ? std::string("?") : name;
}

bool tickWaitLine(void* waitLines) {
    WaitLines& w = *static_cast<WaitLines*>(waitLines);
    const uint32_t now = tickCount();
    if (!w.failed && now - w.lastLine >= static_cast<uint32_t>(kWaitLineMilliseconds)) {
        w.lastLine = now;
        w.failed = !writePrivateLine(*w.link, LineKind::Wait);
    }
    return !w.failed && !*w.stop;
}
