// The history as text for people and for scripts. Every text in an entry may come from a
// peer, so neither form ever passes a control character or a broken character on raw.
#pragma once
#include <string>
#include <vector>

#include "history/history.h"

// The words both forms use: "received"/"sent"; "transfer", "private", "browser-upload",
// "browser-download", "text"; "complete", "incomplete", "refused", "canceled".
const char* historyDirectionWord(HistoryDirection direction);
const char* historyDoorWord(HistoryDoor door);
const char* historyOutcomeWord(HistoryOutcome outcome);
// Whether the entry's bytes went over the private channel: its transfers, and the texts
// of trusted computers. Texts are sent only over it; a browser's text comes in the clear,
// named by its address, where a trusted computer's is named by its trusted name.
bool historyEncrypted(const HistoryEntry& entry);

// text as a terminal may show it: a character never shown raw (shown_characters.h), a
// byte that starts no valid UTF-8 character, and the backslash are written as escapes
// ("\n", "\x1b", "\u202e", "\u200b", "\\"); everything else is kept.
std::string printableText(const std::string& text);
// The entries as one JSON array, one object a line, with every field: id, time (seconds
// since 1970, UTC), direction, door, encrypted (historyEncrypted), peer, address, names, files, bytes, folder, outcome,
// reason, text. Strings are valid UTF-8 (a broken byte becomes U+FFFD), controls escaped.
std::string historyJson(const std::vector<HistoryEntry>& entries);
