// The selection list: the paths the user chose to send, duplicate-free by exact byte
// comparison, with the counts of entries taken as files and as folders. Changed only on
// the user-interface thread; the selection analysis reads it while the window is disabled.
#pragma once
#include <string>
#include <vector>

// Paths are held in 261-byte fields: at most 259 bytes before the terminator.
constexpr size_t kMaxSelectionPath = 259;

extern std::vector<std::string> selectionList;
extern int selectedFileCount;
extern int selectedFolderCount;

bool selectionContains(const std::string& path);

// The add rule: a path already present, an empty path, or one longer than the field
// holds is refused (false); otherwise it is appended and one counter grows.
bool addSelectionPath(const std::string& path, bool countAsFolder);

// The command-line and drop roads: counted as a folder when the path is one on disk
// now, as a file otherwise (also when it does not exist).
bool addSelectionPathByKind(const std::string& path);

// Removes the first entry equal to path; the counter follows what the path is on disk
// now. False when no entry matched.
bool removeSelectionPath(const std::string& path);

void clearSelection();
