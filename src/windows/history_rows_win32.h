// What the History window shows of an entry: one text per column, in the user's language
// and date format, and the item on the disk that Show in folder and Open reach.
#pragma once
#include <windows.h>

#include <array>
#include <string>

#include "history/history.h"

constexpr size_t kHistoryColumns = 9;
using HistoryCells = std::array<std::wstring, kHistoryColumns>;

// The column headers' text ids and widths (dialog units), left to right.
struct HistoryColumn {
    int textId;
    int width;
};
extern const HistoryColumn kHistoryColumnList[kHistoryColumns];

HistoryCells historyCells(const HistoryEntry& entry);
// Whether any cell holds filter, ignoring case (an empty filter matches every entry).
bool historyCellsMatch(const HistoryCells& cells, const std::wstring& filter);
// The received item's full path (its folder and first name), "" when the entry names
// no such item: a sent entry, a text, or a name or folder that is not one plain path.
std::wstring receivedItemPath(const HistoryEntry& entry);
