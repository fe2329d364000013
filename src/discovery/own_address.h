// The two selection rules over the adapter list: the own address shown in "Your IP:",
// and the adapters that get a discovery socket.
#pragma once
#include <string>
#include <vector>

#include "platform/adapters.h"

// An adapter's first address is usable when it is longer than 7 bytes and is not
// "0.0.0.0" (so an address of four one-digit numbers never is).
bool isUsableAddress(const std::string& text);

// The first adapter of type 6 or 71 with a usable address gives the own address;
// "" when there is none.
std::string ownAddressOf(const std::vector<AdapterRecord>& adapters);

// Discovery's walk: the usable address of every adapter, whatever its type, in list
// order; two adapters with the same address each appear.
std::vector<std::string> discoveryAddressesOf(const std::vector<AdapterRecord>& adapters);

// Fetches the adapter list and writes the own address into output, a buffer of 16 wide
// characters (at most 15 and a terminator; the empty string when none). True when an
// address was found. Called by the main window at its initialisation.
bool getOwnAddress(wchar_t* output);

// The same as narrow text, "" when none (the command-line peer's "Your IP").
std::string findOwnAddress();
