// The remembered peers and the look-around switch in the settings key: "RememberedPeers"
// (REG_SZ, dotted addresses joined by commas, in the list's order, a '?' after one that
// only answered discovery) and "LookAround" (REG_DWORD, 1 when absent).
#pragma once

// Start-up, before discovery starts: loads both, and stores every later change of the
// list (on the thread that changed it, under the list's lock).
void loadStoredPeers();
// The settings dialog's check box; stored at Ok and in force at once.
bool storedLookAround();
void storeLookAround(bool on);
