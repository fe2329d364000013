#include "selection/selection_list.h"

#include <algorithm>

#include "platform/files.h"

std::vector<std::string> selectionList;
int selectedFileCount = 0;
int selectedFolderCount = 0;

bool selectionContains(const std::string& path) {
    return std::find(selectionList.begin(), selectionList.end(), path) != selectionList.end();
}

bool addSelectionPath(const std::string& path, bool countAsFolder) {
    if (path.empty() || path.size() > kMaxSelectionPath) return false;
    if (path.find('\0') != std::string::npos || selectionContains(path)) return false;
    selectionList.push_back(path);
    if (countAsFolder) ++selectedFolderCount;
    else ++selectedFileCount;
    return true;
}

bool addSelectionPathByKind(const std::string& path) {
    if (path.empty() || path.size() > kMaxSelectionPath || selectionContains(path)) return false;
    return addSelectionPath(path, isDirectory(path));
}

bool removeSelectionPath(const std::string& path) {
    auto it = std::find(selectionList.begin(), selectionList.end(), path);
    if (it == selectionList.end()) return false;
    selectionList.erase(it);
    if (isDirectory(path)) --selectedFolderCount;
    else --selectedFileCount;
    return true;
}

void clearSelection() {
    selectionList.clear();
    selectedFileCount = 0;
    selectedFolderCount = 0;
}
