#include "transfer/manifest.h"

#include "core/central_state.h"
#include "core/text_routines.h"
#include "platform/files.h"
#include "selection/selection_list.h"

std::vector<ManifestEntry> transferManifest;
std::vector<std::string> directoryList;
int64_t totalSize = 0;
int refusedItemCount = 0;

namespace {
constexpr char kWireSeparator = '\\';

bool isSeparator(char c) { return c == kPathSeparator || c == '/'; }

// What could not be kept is counted, and pulls the total down so that both ends report
// the transfer as incomplete.
void refuse() {
    ++refusedItemCount;
    --totalSize;
}

bool fitsField(const std::string& text) { return text.size() <= kManifestFieldLimit; }

// The UTF-8 form is what goes on the wire; it can be longer than the local form.
bool fitsWire(const std::string& text) {
    std::string utf8 = text;
    return toUtf8InPlace(utf8, kManifestFieldLimit);
}

// On POSIX a name may hold a backslash, which the wire reads as a folder boundary, or a
// line feed or other control byte, which would end the header line and let the rest of
// the name pose as header lines of its own.
bool nameTravels(const std::string& name) {
    for (char ch : name) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F || ch == kWireSeparator || ch == '/') return false;
    }
    return true;
}

// A link or junction met inside a selected folder is not walked: it may lead back to a
// folder above it, and the walk would repeat the same files level after level.
bool followable(const std::string& folder) { return !isSymbolicLink(folder); }

// wireFolder is "/" or a folder whose wire form the walk has already found to fit.
void addFileEntry(const std::string& localPath, const std::string& name, const std::string& wireFolder) {
    if (!fitsField(localPath) || !fitsField(name) || !fitsWire(name) || !nameTravels(name)) {
        refuse();
        return;
    }
    ManifestEntry entry;
    entry.localPath = localPath;
    entry.name = name;
    entry.relativeFolder = wireFolder;
    entry.measuredSize = measureFileSize(localPath);
    totalSize += entry.measuredSize;
    transferManifest.push_back(std::move(entry));
}

// parent is empty or ends with a separator; localRelative ends with the local separator
// and wireRelative, the same folder on the wire, with a backslash.
void walk(const std::string& parent, const std::string& localRelative, const std::string& wireRelative) {
    const std::string folder = parent + localRelative;
    if (!fitsField(folder) || !fitsWire(wireRelative)) {
        refuse();
        return;
    }
    directoryList.push_back(wireRelative);
    listDirectory(folder, [&](const std::string& name, bool directory) {
        if (sendCancelRequested) return false;
        if (!nameTravels(name) || (directory && !followable(folder + name))) refuse();
        else if (directory) walk(parent, localRelative + name + kPathSeparator, wireRelative + name + kWireSeparator);
        else addFileEntry(folder + name, name, wireRelative);
        return true;
    });
}

size_t lastSeparator(const std::string& path) {
    for (size_t i = path.size(); i > 0; --i)
        if (isSeparator(path[i - 1])) return i - 1;
    return std::string::npos;
}

// The part after the last separator (on Windows also after a drive's colon).
std::string nameOf(const std::string& path) {
    size_t cut = lastSeparator(path);
    if (cut == std::string::npos && kPathSeparator == '\\' && path.size() >= 2 && path[1] == ':') cut = 1;
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// A folder with no name of its own (a root, a drive, "." or ".."): its contents go to
// the top level of the transfer, as if each had been selected by itself.
void walkContents(std::string root) {
    if (!root.empty() && !isSeparator(root.back())) root += kPathSeparator;
    listDirectory(root, [&](const std::string& name, bool directory) {
        if (sendCancelRequested) return false;
        if (!nameTravels(name) || (directory && !followable(root + name))) refuse();
        else if (directory) walk(root, name + kPathSeparator, name + kWireSeparator);
        else addFileEntry(root + name, name, "/");
        return true;
    });
}

void analyzeFolder(const std::string& path) {
    std::string folder = path;
    while (!folder.empty() && isSeparator(folder.back())) folder.pop_back();
    const std::string name = nameOf(folder);
    if (name.empty() || name == "." || name == "..") {
        walkContents(folder.empty() ? path : folder);
        return;
    }
    walkFolder(folder.substr(0, folder.size() - name.size()), name);
}
}  // namespace

void clearTransferManifest() {
    transferManifest.clear();
    directoryList.clear();
    totalSize = 0;
    refusedItemCount = 0;
}

void walkFolder(const std::string& parent, const std::string& relative) {
    std::string base = parent;
    if (!base.empty() && !isSeparator(base.back())) base += kPathSeparator;
    std::string local, wire;
    for (char c : relative) {
        if (isSeparator(c)) {
            local += kPathSeparator;
            wire += kWireSeparator;
        } else if (!nameTravels(std::string(1, c))) {  // a control byte, or on POSIX a backslash
            refuse();
            return;
        } else {
            local += c;
            wire += c;
        }
    }
    if (local.empty() || local.back() != kPathSeparator) {
        local += kPathSeparator;
        wire += kWireSeparator;
    }
    walk(base, local, wire);
}

void analyzeSelection(AnalysisProgress progress, void* context) {
    const int count = static_cast<int>(selectionList.size());
    for (int i = 0; i < count; ++i) {
        if (sendCancelRequested) break;
        const std::string& path = selectionList[static_cast<size_t>(i)];
        // A path whose attributes cannot be read (it vanished) is taken as a file: it
        // yields an entry that the sender later leaves out.
        if (isDirectory(path)) analyzeFolder(path);
        else addFileEntry(path, nameOf(path), "/");
        if (progress) progress(context, i, count);
    }
}
