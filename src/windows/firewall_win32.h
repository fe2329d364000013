// What the system's firewall says about this program's port, read through its own COM
// interfaces (INetFwPolicy2).
#pragma once
#include "discovery/firewall_verdict.h"

// The current profiles and the inbound rules; known stays false on any failed call (a
// system without the firewall service, or Wine, which does not implement it). Calls COM:
// the calling thread must have initialised it.
FirewallReport readFirewall();
