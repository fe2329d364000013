#include "test_history.h"

#include <string>

#include "history/history_text.h"
#include "scratch_history.h"

// The scratch history every test program opens before its first test.
bool useTestHistory() {
    flushHistory();
    return startHistory(scratchHistoryPath()) && clearHistory();
}

std::vector<HistoryEntry> writtenHistory() {
    flushHistory();
    return readHistory();
}

std::string entryLine(const HistoryEntry& entry, bool bytes) {
    std::string names;
    for (const std::string& name : entry.names) names += (names.empty() ? "" : "|") + name;
    std::string line = std::string(historyDirectionWord(entry.direction)) + " " + historyDoorWord(entry.door) + " " +
                       historyOutcomeWord(entry.outcome) + " " + entry.peer + " [" + names + "] " +
                       std::to_string(entry.files) + " files " + (bytes ? std::to_string(entry.bytes) : "?") + " bytes";
    if (!entry.reason.empty()) line += " reason: " + entry.reason;
    if (!entry.text.empty()) line += " text: " + entry.text;
    return line;
}
