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

void savePeers(const std::string& text) { writeUserText(kSettingsKeyW, kPeersValue, text); }
}  // namespace

void loadStoredPeers() {
    std::string text;
    readUserText(kSettingsKeyW, kPeersValue, kStoredPeersLimit, &text);
    loadRememberedPeers(text, savePeers);
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
