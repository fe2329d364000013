// The History window's entries, read off the window's thread: the window never waits for
// the history's writer or the disk, it only takes a snapshot that is ready. Requests made
// while a read runs are absorbed into one more read after a short pause, so that a burst
// of entries (a stranger's flood of refusals) makes a few reads, not one per entry.
#pragma once
#include <windows.h>

#include <memory>
#include <vector>

#include "history/history.h"
#include "windows/history_rows_win32.h"

struct HistorySnapshot {
    std::vector<HistoryEntry> entries;  // newest first
    std::vector<HistoryCells> cells;    // the row of each entry, in the same order
};

// From now on, each snapshot read is announced to window by posting message (no
// arguments); a first read starts at once.
void watchHistorySnapshots(HWND window, UINT message);
// The window is gone: a read running ends unannounced, and a snapshot not taken is dropped.
void forgetHistorySnapshots();
// Asks for a fresh snapshot, the history first emptied when clear is set. Any thread;
// nothing happens while no window watches.
void requestHistorySnapshot(bool clear = false);
// The newest snapshot read since the last take, nullptr when none.
std::unique_ptr<HistorySnapshot> takeHistorySnapshot();
