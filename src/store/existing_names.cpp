#include "store/existing_names.h"

#include <cstring>
#include <vector>

#include "platform/files.h"
#include "store/store_files.h"
#include "store/store_names.h"

namespace {
constexpr size_t kCompareChunk = 64 * 1024;

// Fills buffer from file as far as it goes; the bytes read, -1 on an error.
int64_t readFull(FileHandle file, std::vector<char>& buffer) {
    size_t filled = 0;
    while (filled < buffer.size()) {
        const int64_t n = fileRead(file, buffer.data() + filled, buffer.size() - filled);
        if (n < 0) return -1;
        if (n == 0) break;
        filled += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(filled);
}
}  // namespace

ExistingAction resolvedAction(ExistingAction action, const std::string& arrived, const std::string& path) {
    if (action != ExistingAction::SkipSame) return action;
    // A link at the name is never read through: what it leads to is no file of the store.
    const bool same = pathEntryOf(path) == PathEntry::Other && sameFileContent(arrived, path);
    return same ? ExistingAction::Skip : ExistingAction::KeepBoth;
}

std::string keptBothName(const std::string& name, int number) {
    // The extension is what follows the last dot, unless that dot starts the name or ends it.
    const size_t dot = name.rfind('.');
    const size_t split = dot == std::string::npos || dot == 0 || dot + 1 == name.size() ? name.size() : dot;
    return name.substr(0, split) + " (" + std::to_string(number) + ")" + name.substr(split);
}

std::string nameKeepingBoth(const std::string& from, const std::string& path, size_t nameLength) {
    if (nameLength == 0 || nameLength > path.size()) return std::string();
    const std::string folder = path.substr(0, path.size() - nameLength);
    const std::string name = path.substr(folder.size());
    // The name itself first: it may have gone meanwhile, and then nothing is kept beside.
    for (int number = 1; number <= kMostKeptBothNumbers; ++number) {
        std::string candidate = number == 1 ? path : folder + keptBothName(name, number);
        // Each number only lengthens the name: once one does not fit, none after it will.
        if (!fitsLocalPathLimit(candidate)) return std::string();
        bool exists = false;
        if (fileRenameNew(from, candidate, path, &exists)) return candidate;
        if (!exists) return std::string();
    }
    return std::string();
}

std::string keptName(const std::string& placed, const std::string& path, size_t nameLength) {
    if (placed.empty() || placed == path || nameLength > path.size()) return std::string();
    return placed.substr(path.size() - nameLength);
}

bool sameFileContent(const std::string& a, const std::string& b) {
    int64_t lengthA = -1, lengthB = -1;
    const FileHandle fileA = fileOpenRead(a, &lengthA);
    const FileHandle fileB = fileA == kInvalidFile ? kInvalidFile : fileOpenRead(b, &lengthB);
    bool same = fileB != kInvalidFile && lengthA >= 0 && lengthA == lengthB;
    std::vector<char> bufferA(same ? kCompareChunk : 0), bufferB(bufferA.size());
    while (same) {
        const int64_t n = readFull(fileA, bufferA);
        same = n >= 0 && readFull(fileB, bufferB) == n &&
               std::memcmp(bufferA.data(), bufferB.data(), static_cast<size_t>(n)) == 0;
        if (n < static_cast<int64_t>(kCompareChunk)) break;
    }
    fileClose(fileA);
    fileClose(fileB);
    return same;
}

std::string placeArrivedFile(const std::string& from, const std::string& path, size_t nameLength,
                             ExistingAction action) {
    std::string placed;
    if (action == ExistingAction::Replace) {
        // A name nothing has yet is taken in one step, without a look at it first; a taken
        // one gives way only as nameGivesWay says.
        bool exists = false;
        if (fileRenameNew(from, path, std::string(), &exists) ||
            (exists && nameGivesWay(path) && fileReplace(from, path)))
            placed = path;
    }
    if (action == ExistingAction::KeepBoth) placed = nameKeepingBoth(from, path, nameLength);
    if (placed.empty()) fileRemove(from);
    return placed;
}
