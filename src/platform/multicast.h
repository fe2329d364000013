// The one step of discovery-socket set-up that differs between the platforms.
#pragma once
#include <cstdint>

#include "platform/net.h"

// Binds a UDP socket so that it receives the group's datagrams to port that arrive
// through the adapter with interfaceAddress, and so that what it sends to the group
// leaves through that adapter. Joining the group is a separate step (netJoinGroup).
// Returns 0 or the error code.
int netBindForGroup(Socket s, uint32_t group, uint32_t interfaceAddress, uint16_t port);

// Whether a discovery socket bound by netBindForGroup misses datagrams sent to the host's
// own address (Linux, where it is bound to the group): discovery then opens one more
// socket for them with netBindForUnicast.
bool netGroupSocketsMissUnicast();
// Binds a UDP socket to port on every address, taking no group's datagrams (it joins
// none, and does not take those of the other sockets' memberships), so that a datagram
// sent to the group is never taken twice. Returns 0 or the error code.
int netBindForUnicast(Socket s, uint16_t port);

// Asks a socket bound by netBindForUnicast to tell through which interface each datagram
// arrived, for netRecvFromOn (IP_PKTINFO). Returns 0 or the error code.
int netTellArrival(Socket s);
// One datagram as netRecvFrom, and in *arrival the index of the interface it arrived
// through: 0 where the socket does not tell (a socket bound to one adapter's address, the
// Windows binding, only ever takes what arrives there).
int netRecvFromOn(Socket s, void* buffer, int size, uint32_t* from, unsigned* arrival);
// The index of the interface holding address; 0 when none does or the platform does not
// tell.
unsigned netInterfaceIndexOf(uint32_t address);
