// What both ends of the private channel do with an open session: its lines, in time.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "private/private_framing.h"
#include "transfer/link.h"

bool writePrivateLine(const Link& link, LineKind kind, const std::string& text = std::string());
// One line of at most limit bytes, all of it within milliseconds: Invalid when it is not
// a line of the channel, or did not come in time.
PrivateLine readPrivateLineWithin(Link& link, size_t limit, int milliseconds);
// All of size bytes within milliseconds; false when they did not all come in time.
bool readPrivateBytesWithin(Link& link, char* bytes, size_t size, int milliseconds);
// While one side hashes what it holds, the other hears a WAIT line from it at most once
// a second (kWaitLineMilliseconds), so that it waits on. tickWaitLine is the hashing's
// tick: false once a line could not be written or stop is set, which ends the hashing.
constexpr int kWaitLineMilliseconds = 1000;
struct WaitLines {
    const Link* link;
    const std::atomic<bool>* stop;
    uint32_t lastLine;
    bool failed;
};
bool tickWaitLine(void* waitLines);
// Reads and drops what the peer still writes, until its end or milliseconds.
void drainPrivate(Link& link, int milliseconds);
// The name this copy gives in a PAIR line.
std::string ownPairName();
// A socket listening on the private port (kInvalidSocket with the error in *error; also
// when the port is 0, with *error 0).
Socket listenPrivately(int* error);
