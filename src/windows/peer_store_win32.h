// The remembered peers and the look-around switch in the settings key: "RememberedPeers"
// (REG_SZ, dotted addresses joined by commas, most recent first) and "LookAround"
// (REG_DWORD, 1 when absent).
#pragma once

// Start-up, before discovery starts: loads both, and stores every later change of the
// list (on the thread that changed it).
void loadStoredPeers();
// The settings dialog's check box; stored at Ok and in force at once.
bool storedLookAround();
void storeLookAround(bool on);
