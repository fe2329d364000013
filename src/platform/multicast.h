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
