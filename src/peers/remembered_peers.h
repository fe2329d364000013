// Remembered peers: the addresses of the peers this copy exchanged files with (a send or
// a reception that completed) or that handed their address over, most recent first, at
// most 16. Discovery sends its datagrams to them by unicast as well as to the group, so
// that two copies find each other again where multicast does not pass, and the recipient
// field offers them. The front end keeps the list: the Windows program in the registry
// value "RememberedPeers", the command-line peer in a file of its XDG state folder.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

constexpr int kRememberedPeersLimit = 16;

// The stored text: dotted addresses separated by commas, white space or line ends.
// Reading skips anything that is not a unicast IPv4 address, and repeats, and keeps the
// first 16; writing joins with commas.
std::vector<std::string> parsePeerList(const std::string& text);
std::string formatPeerList(const std::vector<std::string>& peers);

// A unicast IPv4 address one could send to: not 0.0.0.0/8, not multicast nor above.
bool rememberableAddress(uint32_t address);

// Where a changed list goes (its stored text), on the thread that changed it; nullptr
// keeps the list in memory only, so a run leaves nothing behind.
using PeerListSaver = void (*)(const std::string& text);
// Replaces the list with the stored one and sets where changes go.
void loadRememberedPeers(const std::string& storedText, PeerListSaver saver);

// Puts address (dotted, or host order) first; it is saved when the list changed. Anything
// not rememberable is ignored. Any thread.
void rememberPeer(const std::string& address);
void rememberPeer(uint32_t address);
std::vector<std::string> rememberedPeers();
// Empties the list and saves the empty list.
void forgetRememberedPeers();

// The peer a list shows with number (1 = most recent), or "" when there is none.
std::string rememberedPeerNumbered(int number);

// When a peer last made itself heard (a discovery datagram or a handed-over address),
// as tickCount() values, for the network check's "did it answer just now". Any thread.
void notePeerHeard(uint32_t address);
bool peerHeardSince(uint32_t address, uint32_t since);
