// The wait of a door's connections between their arrival and their first bytes: all of
// them are waited for in one loop on the listening thread, so that a connection that
// sends nothing costs no thread. Each address has a share of the places (doors/places.h):
// a newcomer whose address holds its share, or that finds the list full, takes the place
// of its own address's oldest waiting connection; one whose address holds none in a full
// list takes the oldest place of the crowd that fills it. A crowd pushes out only itself.
// A connection that stays silent past its limit is closed; each door decides what one
// that speaks goes on to.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/net.h"

struct WaitingConnection {
    Socket socket = kInvalidSocket;
    uint32_t source = 0;
    uint32_t since = 0;  // the tick of its arrival
    uint32_t limit = 0;  // how long it may wait from its arrival, in milliseconds
    uint32_t heard = 0;  // the tick of its first bytes, once the door read some
    unsigned stops = 0;  // the door's count of Stops as it arrived
    int verdict = 0;     // the door's judgement of it as it arrived
    std::string head;    // what the door read of it while it waits, in memory only
    // Its bytes so far are left in place until more come: it is not waited for (it stays
    // readable), but looked at again each round.
    bool resting = false;
};

struct FirstBytesDoor {
    size_t places = 64;  // below kMostWaitedSockets: the listener is waited for beside them
    size_t share = 8;    // places one address may hold
    // An address at its share gives its oldest place to its newcomer; false: the newcomer
    // is refused, and the connections that came first keep their places.
    bool pushOwn = true;
    int lookMilliseconds = 250;  // deadlines pass, and on Windows a closed listener wakes no wait
    // Judges a connection as it arrives (before its place is chosen): sets its limit, and
    // whatever the door keeps of it.
    void (*arrived)(WaitingConnection& w) = nullptr;
    // It is readable (bytes, or its close): true when it is done waiting, handed on or
    // closed by the door. context is the door's own.
    bool (*spoke)(WaitingConnection& w, void* context) = nullptr;
    void* context = nullptr;
    // One past its limit: true when the door took it on (handed on or closed); none, or
    // false: it is closed as below.
    bool (*expired)(WaitingConnection& w, void* context) = nullptr;
    // Closes one that stayed silent past its limit, gave its place up, or waits at the end.
    void (*close)(const WaitingConnection& w) = nullptr;
    // Asked every round: true ends the wait. None: only the listener's end ends it.
    bool (*ended)(Socket listener) = nullptr;
};

// Accepts on listener and lets the connections wait for their first bytes as door says,
// until the listener ends (stopListening) or door.ended says so; then closes the
// connections still waiting. The listener itself is left open.
void waitForFirstBytes(Socket listener, const FirstBytesDoor& door);
