// The one step of discovery-socket set-up that differs between the platforms.
#pragma once
#include <cstdint>

#include "platform/net.h"

// Binds a UDP socket so that it receives the group's datagrams to port that arrive
// through the adapter with interfaceAddress, and so that what it sends to the group
// leaves through that adapter. Joining the group is a separate step (netJoinGroup).
// Returns 0 or the error code.
int netBindForGroup(Socket s, uint32_t group, uint32_t interfaceAddress, uint16_t port);
