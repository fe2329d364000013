// The history of transfers for the C++ tests: one database of this process's own.
#pragma once
#include <string>
#include <vector>

#include "history/history.h"

// Empties the scratch history of this test program (opening it again if a test opened another).
// False when it cannot be opened.
bool useTestHistory();
// The newest entries once everything handed over so far is written.
std::vector<HistoryEntry> writtenHistory();
// An entry on one line, for a table of expected entries: "received transfer complete
// 127.0.0.1 [Photos|b.txt] 3 files 8 bytes", then " reason: ..." and " text: ..." when
// there are. Without bytes: "? bytes".
std::string entryLine(const HistoryEntry& entry, bool bytes = true);
