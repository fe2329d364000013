#include "windows/peer_store_win32.h"

#include <string>

#include "discovery/discovery.h"
#include "peers/remembered_peers.h"
#include "platform/registry.h"
#include "windows/app_state_win32.h"

namespace {
// Sixteen addresses of 15 characters and their commas; a value edited by hand may hold
// spaces too, and anything longer is not read at all.
constexpr size_t kStoredPeersLimit = 1024;
const wchar_t kPeersValue[] = L"RememberedPeers";
const wchar_t kLookAroundValue[] = L"LookAround";

std::string storedPeers() {
    std::string text;
    readUserText(kSettingsKeyW, kPeersValue, kStoredPeersLimit, &text);
    return text;
}

// Runs under the list's lock: the value is read and written by one change at a time.
std::string keepPeers(const PeerTextEdit& edit) {
    const std::string stored = storedPeers();
    std::string edited = edit(stored);
    if (edited != stored) writeUserText(kSettingsKeyW, kPeersValue, edited);
    return edited;
}
}  // namespace

void loadStoredPeers() {
    loadRememberedPeers(storedPeers(), keepPeers);
    setLookAround(storedLookAround());
}

bool storedLookAround() {
    uint32_t value = 1;
    readUserNumber(kSettingsKeyW, kLookAroundValue, &value);
    return value != 0;
}

void storeLookAround(bool on) {
    setLookAround(on);
    writeUserNumber(kSettingsKeyW, kLookAroundValue, on ? 1 : 0);
}
