// Remembered peers: the addresses of the peers this copy exchanged files with (a send or
// a reception that completed), most recent first, then those that only handed their
// address over in answer to this copy's discovery, most recent first; at most 16.
// Discovery sends its datagrams to them by unicast as well as to the group, so that two
// copies find each other again where multicast does not pass, and the recipient field
// offers them. The front end keeps the list: the Windows program in the registry value
// "RememberedPeers", the command-line peer in a file of its XDG state folder.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/threads.h"

constexpr int kRememberedPeersLimit = 16;

// The stored text: dotted addresses separated by commas, white space or line ends; one
// that only answered discovery carries a '?' after it. Reading skips anything that is
// not a unicast IPv4 address, and repeats, and keeps the first 16; parsePeerList gives
// the addresses alone, in order. Writing joins with commas.
std::vector<std::string> parsePeerList(const std::string& text);
std::string formatPeerList(const std::vector<std::string>& peers);

// A unicast IPv4 address one could send to: not 0.0.0.0/8, not multicast nor above.
bool rememberableAddress(uint32_t address);

// Where the list is kept. A keeper runs edit on the stored text while it holds the
// store's lock (one that other processes keeping the same list take too), stores what
// edit returns when that differs, and returns the text stored afterwards. So a change
// lands on the list as it is now, not as this process read it at its start.
using PeerTextEdit = std::function<std::string(const std::string& stored)>;
using PeerListKeeper = std::string (*)(const PeerTextEdit& edit);
// Replaces the list with the stored one and sets its keeper; nullptr keeps the list in
// memory only, so a run leaves nothing behind.
void loadRememberedPeers(const std::string& storedText, PeerListKeeper keeper);

// A completed transfer: puts address (dotted, or host order) first. Anything not
// rememberable is ignored. Any thread.
void rememberPeer(const std::string& address);
void rememberPeer(uint32_t address);
// A handed-over address, from the connection's source: remembered only when it answers
// a datagram this copy sent moments before (peers/asked_peers.h), and then first among
// those that only answered, below every peer a transfer completed with; it never pushes
// one of those out. Any thread.
void rememberHandOver(uint32_t address);
std::vector<std::string> rememberedPeers();
// Empties the list and saves the empty list.
void forgetRememberedPeers();

// The peer a list shows with number (1 = first), or "" when there is none.
std::string rememberedPeerNumbered(int number);

// When a peer last made itself heard (a discovery datagram or a handed-over address),
// as tickCount() values, for the network check's "did it answer just now". Any thread.
// Heard since means between since and now, which tells ages apart up to 49 days.
void notePeerHeard(uint32_t address, uint32_t now = tickCount());
bool peerHeardSince(uint32_t address, uint32_t since);
