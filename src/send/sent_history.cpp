#include "send/sent_history.h"

#include <algorithm>
#include <string_view>

#include "history/history.h"
#include "transfer/manifest.h"

namespace {
bool atTop(std::string_view relativeFolder) { return relativeFolder.empty() || relativeFolder == "/"; }

// The first folder of a wire-form relative folder ("Photos\2010\" is "Photos"), or the
// name itself at the top level ("/"). A view into either: a send of many files looks at
// each of them, and copies only the few names it keeps.
std::string_view topName(const std::string& relativeFolder, const std::string& name) {
    if (atTop(relativeFolder)) return name;
    return std::string_view(relativeFolder).substr(0, relativeFolder.find('\\'));
}

void addName(std::vector<std::string>& names, std::string_view name) {
    if (name.empty() || names.size() >= kHistoryMostNames) return;
    if (std::find(names.begin(), names.end(), name) == names.end()) names.emplace_back(name);
}

HistoryOutcome outcomeOf(SendResult result) {
    switch (result) {
        case SendResult::Complete: return HistoryOutcome::Complete;
        case SendResult::NotTaken:
        // Nothing went to a trusted computer that answered with another key, or not
        // privately, nor anywhere in the clear while only encrypted sends are allowed.
        case SendResult::KeyChanged:
        case SendResult::NotPrivate:
        case SendResult::NotEncrypted: return HistoryOutcome::Refused;
        case SendResult::Cancelled: return HistoryOutcome::Canceled;
        default: return HistoryOutcome::Incomplete;
    }
}
}  // namespace

std::vector<std::string> sentTopNames() {
    std::vector<std::string> names;
    // Folders come before their contents in the directory list; files add the rest.
    for (const std::string& folder : directoryList) addName(names, topName(folder, ""));
    // The files of one folder come one after another: the first of them names it for all.
    const std::string* previous = nullptr;
    for (const ManifestEntry& entry : transferManifest) {
        if (previous && entry.relativeFolder == *previous && !atTop(*previous)) continue;
        previous = &entry.relativeFolder;
        addName(names, topName(entry.relativeFolder, entry.name));
    }
    return names;
}

void recordSent(const SentEnding& ending) {
    if (ending.result == SendResult::NothingSelected) return;
    HistoryEntry entry;
    entry.direction = HistoryDirection::Sent;
    // Port 2904's door is for what went (or began to go) in the clear.
    const bool privately = !ending.trusted.empty() || ending.result == SendResult::KeyChanged ||
                           ending.result == SendResult::NotPrivate || ending.result == SendResult::NotEncrypted;
    entry.door = privately ? HistoryDoor::Private : HistoryDoor::Transfer;
    entry.address = ending.address.empty() ? ending.recipient : ending.address;
    entry.peer = ending.trusted.empty() ? entry.address : ending.trusted;
    entry.names = sentTopNames();
    entry.files = static_cast<int64_t>(transferManifest.size());
    entry.bytes = ending.bytes;
    entry.outcome = outcomeOf(ending.result);
    entry.tries = ending.tries;
    if (ending.result != SendResult::Complete) entry.reason = ending.reason;
    recordHistory(std::move(entry));
}
