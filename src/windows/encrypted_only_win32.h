// "Send only encrypted" in the settings key: "SendOnlyEncrypted" (REG_DWORD, 1: on; off
// when absent). While it is on, no send goes in the clear to any address.
#pragma once

// Start-up, before any send: puts the stored switch in force.
void loadSendOnlyEncrypted();
// The settings dialog's check box; stored at Ok and in force at once.
bool storedSendOnlyEncrypted();
void storeSendOnlyEncrypted(bool on);
