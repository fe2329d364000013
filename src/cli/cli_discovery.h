// Discovery for the command-line peer, on the same core as the Windows program.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// For `quorvalinthexa receive`: answers other copies' datagrams on every usable adapter
// (or only on the given adapter addresses) and, like the program's discovery tick,
// announces itself with "notify" once a second until the window port's recipient is
// filled. port is both the UDP discovery port and the peers' TCP port for hand-overs
// (2904 for the program). Draws instanceNumber first. Set-up failures go to stderr.
// Returns the number of adapters set up; with none the peer runs on without discovery.
int startCliDiscovery(uint16_t port, const std::vector<std::string>& adapters = {});
// Stops the announcing and the discovery sockets (for an orderly exit; optional).
void stopCliDiscovery();

// Draws this copy's instanceNumber from the clock and the process id, so that two
// copies started in the same millisecond still differ.
void drawCliInstanceNumber();

// The usable addresses to open discovery sockets on: the given ones, or every usable
// adapter's when none are given.
std::vector<std::string> cliDiscoveryAdapters(const std::vector<std::string>& given);

// The own address to hand over ("Your IP:"): the first given adapter address, or the
// program's rule over the adapter list (first Ethernet or wireless adapter with a usable
// address); "" when none.
std::string cliOwnAddress(const std::vector<std::string>& adapters);
