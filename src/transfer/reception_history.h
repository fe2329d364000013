// What a reception leaves in the history of transfers. The receiver, the browser's uploads
// and texts build their entries here and hand them over on their own thread; recordHistory
// never waits for the disk.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "history/history.h"

// Refusals of one sender for the same reason within this many seconds of each other, with
// nothing received between them, make one entry: a page that sends a thousand files to a
// paused receiver, or a host that keeps knocking, is one refusal to the user, and cannot
// push the real entries out of the history.
constexpr int64_t kRefusalQuietSeconds = 10;

// Adds a top-level name once; past kHistoryMostNames only the count of files tells the rest.
void addHistoryName(std::vector<std::string>& names, const std::string& name);
// The text the user was shown for textId (its %s the sender's address), in their language.
std::string shownText(int textId, uint32_t sender);
// An entry for what came from sender and ended now, through door.
HistoryEntry receivedEntry(HistoryDoor door, uint32_t sender, HistoryOutcome outcome);
// Hands over what came from sender; a refusal (reason: its text id) that repeats the sender's
// last one within kRefusalQuietSeconds adds nothing. A text's refusal that keeps its words always
// counts; one refused before its words were read repeats as any other.
void recordReceived(HistoryEntry entry, uint32_t sender, int reason);
// Records the refusal of sender (named peer when it is a trusted computer) through door for
// the reason textId.
void recordRefusal(HistoryDoor door, uint32_t sender, int textId, const std::string& text = std::string(),
                   const std::string& peer = std::string());
