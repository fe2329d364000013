// The pinned list: the computers this installation trusts, by computer ID. Trust follows
// the key, never the address; the address is only remembered to say which computer sits
// there. Linux: $XDG_STATE_HOME/quorvalinthexa/trusted (mode 0600); Windows: the registry
// key "Trusted" under the settings key.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

constexpr size_t kMostTrusted = 256;
constexpr size_t kTrustedNameLimit = 64;  // bytes of UTF-8
// The addresses a key was met at that are kept: a laptop's new leases and second adapters.
constexpr size_t kMostTrustedAddresses = 8;

struct TrustedComputer {
    std::string id;            // shown form (trust/computer_id.h)
    std::string name;          // UTF-8, at most kTrustedNameLimit bytes
    uint32_t lastAddress = 0;  // host byte order; 0: not seen yet
    int64_t lastSeen = 0;      // Unix seconds; 0: never
    // Every address its key answered at, newest first (lastAddress among them), at most
    // kMostTrustedAddresses; each is treated as the computer's own when a send goes there.
    std::vector<uint32_t> addresses;
};

// name as it is stored and shown: valid UTF-8 without a character never shown raw
// (shown_characters.h), cut on a character boundary at kTrustedNameLimit bytes.
std::string cleanTrustedName(const std::string& name);
// Pins id under name (cut to its limit); an existing entry keeps its address and takes
// the new name when one is given. False when id is not an ID, the list is full, or it
// could not be stored.
bool trustComputer(const std::string& id, const std::string& name, uint32_t address = 0);
// Removes an entry; false when there was none.
bool untrustComputer(const std::string& id);
std::vector<TrustedComputer> trustedComputers();
std::optional<TrustedComputer> findTrusted(const std::string& id);
// The trusted computer whose key answered at address (at any of its kept addresses), if any.
std::optional<TrustedComputer> findTrustedByAddress(uint32_t address);
// How a trusted key was met at an address.
enum class TrustedMeeting {
    Reached,  // we connected to the address and the key answered there
    Came,     // the key connected to us from the address (a relay on the way can choose it)
};
// A trusted key was met at address at now: remembered for the menu and for telling a
// changed key apart. Reached: the address becomes the newest of its own (the oldest may
// go) and leaves every other computer's list. Came: the address is kept only where it is
// already known or there is room, so that connections relayed from addresses of a
// host's choosing never push out the addresses a computer was reached at, nor take one
// from another computer.
void noteTrustedSeen(const std::string& id, uint32_t address, int64_t now,
                     TrustedMeeting how = TrustedMeeting::Reached);
// False when the list exists but cannot be read: nobody can be told trusted or not, and
// no send may go in the clear on that account.
bool trustedListReadable();
