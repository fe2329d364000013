// The transfer manifest: the selection list expanded into the files to send (with their
// folders relative to the transfer root), the folders to create on the receiving side,
// and the total size announced to the receiver. The selection analysis fills them while
// the sender waits; the sender reads them afterwards.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Every text of an entry, and every directory list entry, is held in a 261-byte field on
// the Windows side: at most 260 bytes, checked before anything is stored.
constexpr size_t kManifestFieldLimit = 260;

struct ManifestEntry {
    std::string localPath;       // the file to read, as the local file system names it
    std::string name;            // the file's name without any folder part
    std::string relativeFolder;  // wire form: "Photos\2010\" (backslashes), or "/" at the top level
    int64_t measuredSize = -1;   // as measured by the analysis; -1 when it could not be opened
};

extern std::vector<ManifestEntry> transferManifest;
// Relative folders in wire form ("Photos\", "Photos\2010\"), a folder before its contents.
extern std::vector<std::string> directoryList;
// Sum of the measured sizes; an unreadable file, and every item left out, counts -1.
extern int64_t totalSize;
// Items the analysis left out because a path, name or folder (or its UTF-8 form) would
// not fit its field, or a name could not travel (a line feed or other control byte, or
// on POSIX a backslash, in it); each also pulled totalSize down by one.
extern int refusedItemCount;

// Empties the manifest and the directory list and zeroes the total.
void clearTransferManifest();

// Called after each selection-list path: position is its index, count the list's length.
// The analysis dialog uses it for its progress bar (range 0..count, position).
using AnalysisProgress = void (*)(void* context, int position, int count);

// The selection analysis: expands selectionList into the three collections, appending to
// them. Stops early, leaving what it found so far, once sendCancelRequested is set (checked
// before every path and every folder item). progress may be null.
void analyzeSelection(AnalysisProgress progress, void* context);

// The folder walk: records relative (a folder below parent, in the local form, with or
// without its trailing separator) in the directory list, then walks its contents depth
// first in the file system's order.
void walkFolder(const std::string& parent, const std::string& relative);
