// Who may send, as stored in the settings key: "AcceptFrom" (REG_DWORD: 0 everyone, 1 ask
// each time, 2 only listed senders, 3 nobody, 4 trusted computers without asking and the
// others asked, 5 trusted computers only) and "AllowedSenders" (REG_SZ: the list), and
// the tray's pause, which is choice 3; and what an arriving file does to one of its name
// already there, "ExistingFiles" (REG_DWORD: 0 replace, 1 keep both, 2 skip identical, 3 ask).
#pragma once
#include <string>

#include "policy/existing_choice.h"
#include "policy/receive_policy.h"

// The longest list the settings dialog takes and the program reads, in characters.
constexpr int kAllowedSendersLimit = 1000;

struct ReceiveSettings {
    AcceptFrom choice = AcceptFrom::Everyone;
    std::string allowed;
    ExistingChoice existing = ExistingChoice::Replace;
};
// Without "AcceptFrom" everyone may send, as always; a value that names no choice (or is
// no number) admits nobody. Without "ExistingFiles" a file replaces one of its name, as
// always; a value that names no choice (or is no number) keeps both. An "AllowedSenders" longer than the limit is read
// as empty, never cut into other addresses.
ReceiveSettings readReceiveSettings();
// Creates the settings key when missing; false when it cannot.
bool writeReceiveSettings(const ReceiveSettings& settings);
// Makes the settings the policy in force; entries of the list that are not addresses or
// ranges admit nobody. Questions declined so far are forgotten.
void applyReceiveSettings(const ReceiveSettings& settings);
void applyStoredReceivePolicy();

bool receivingPaused();
// Pause: nobody may send until Resume, which brings back the choice made before the
// pause (ask each time when that is not known, as after a start in the paused state).
// Stored at once, so that the choice outlives the program.
void pauseReceiving(bool pause);
