#include "store/store_files.h"

#include <atomic>

#include "platform/threads.h"
#include "store/partial_record.h"
#include "store/store_names.h"

namespace {
constexpr int kTemporaryNames = 36;  // names tried for a file's content beside the file it replaces

// A name for the content of a file that replaces another, in the same folder:
// "~qv<n>.part", or when the path limit leaves less room (never less than the record's
// own name had) as many base-36 digits of n as fit. It is only ever created new, so an
// existing file of that name is never touched, and it is gone before the next record.
std::string temporaryName(int n, size_t room) {
    std::string name = "~qv" + std::to_string(n) + ".part";
    if (name.size() <= room) return name;
    name.clear();
    do {
        name += "0123456789abcdefghijklmnopqrstuvwxyz"[n % 36];
        n /= 36;
    } while (n > 0 && name.size() < room);
    return name;
}

// How many folders of the path, from the top, exist already.
size_t foldersThatExist(const std::string& store, const std::vector<std::string>& folder) {
    std::vector<std::string> prefix;
    for (const std::string& part : folder) {
        prefix.push_back(part);
        if (!isDirectory(joinStorePath(store, prefix, kPathSeparator))) return prefix.size() - 1;
    }
    return folder.size();
}

// A file that was not stored leaves none of the folders made for it, unless something
// else (another upload of the same folder) is in them now.
void removeMadeFolders(const std::string& store, std::vector<std::string> folder, size_t existed) {
    while (folder.size() > existed && removeEmptyDirectory(joinStorePath(store, folder, kPathSeparator)))
        folder.pop_back();
}

// Makes the folders of the path one by one, never through a link: one that is a link, or
// that is not a folder once made, ends it.
bool makeFolders(const std::string& store, const std::vector<std::string>& folder) {
    std::vector<std::string> prefix;
    for (const std::string& part : folder) {
        prefix.push_back(part);
        if (passesThroughLink(store, prefix, kPathSeparator)) return false;
        const std::string path = joinStorePath(store, prefix, kPathSeparator);
        if (!isDirectory(path) && !makeDirectory(path) && !isDirectory(path)) return false;
    }
    return !passesThroughLink(store, folder, kPathSeparator);
}
}  // namespace

bool storeHasRoom(const std::string& store, int64_t bytes, int64_t held) {
    const int64_t room = freeSpace(store);
    return room < 0 || bytes <= room - kFreeSpaceReserve - held;
}

bool nameGivesWay(const std::string& path) {
    const PathEntry entry = pathEntryOf(path);
    return entry == PathEntry::Missing || (entry == PathEntry::Other && isReplaceableFile(path));
}

std::string storeFilePath(const std::string& store, StoreFolder& folder, const std::string& directory,
                          const std::string& name, bool windowsRules) {
    if (!folder.known || directory != folder.text) {
        std::vector<std::string> components;
        folder.text = directory;
        folder.known = true;
        folder.allowed = splitRecordDirectory(directory, windowsRules, &components) &&
                         !passesThroughLink(store, components, kPathSeparator);
        folder.path = joinStorePath(store, components, kPathSeparator);
        folder.top = components.empty() ? std::string() : components.front();
    }
    if (!folder.allowed || !isSenderComponent(name, windowsRules)) return std::string();
    std::string path = folder.path;
    appendComponent(path, name, kPathSeparator);
    if (!fitsLocalPathLimit(path)) return std::string();
    if (!kCreateRefusesLinks && isSymbolicLink(path)) return std::string();
    return path;
}

bool makeRecordFolders(const std::string& store, const std::string& directory, bool windowsRules, std::string* top) {
    std::vector<std::string> components;
    if (!splitRecordDirectory(directory, windowsRules, &components) ||
        !fitsLocalPathLimit(joinStorePath(store, components, kPathSeparator)) ||
        passesThroughLink(store, components, kPathSeparator))
        return false;
    std::vector<std::string> prefix;
    for (const std::string& component : components) {
        prefix.push_back(component);
        const std::string path = joinStorePath(store, prefix, kPathSeparator);
        // An existing folder is fine; one that is still missing (a read-only or full
        // store, a file in its place) did not arrive.
        if (!makeDirectory(path) && !isDirectory(path)) return false;
    }
    *top = components.empty() ? std::string() : components.front();
    return true;
}

StoreTarget openStoreTarget(const std::string& path, size_t nameLength, bool besideAny) {
    StoreTarget target;
    target.nameLength = nameLength;
    bool exists = false;
    // A new file is created directly, in one call: the common case costs nothing more.
    target.file = fileCreateNew(path, &exists);
    if (target.file != kInvalidFile || !exists || !(besideAny || isReplaceableFile(path))) return target;
    const std::string folder = path.substr(0, path.size() - nameLength);
    for (int n = 0; n < kTemporaryNames && exists; ++n) {
        target.temporary = folder + temporaryName(n, kLocalPathLimit - 1 - folder.size());
        target.file = fileCreateNew(target.temporary, &exists, true);
        if (target.file != kInvalidFile) return target;
    }
    target.temporary.clear();
    return target;
}

bool writeOrClose(FileHandle& file, const void* bytes, size_t size) {
    if (file == kInvalidFile || fileWriteAll(file, bytes, size)) return true;
    fileClose(file);
    file = kInvalidFile;
    return false;
}

StoreEnd closeStoreTarget(StoreTarget& target, const std::string& path, bool whole, bool syncWhole, bool dropCut,
                          ExistingAction action, std::string* placed) {
    whole = whole && target.file != kInvalidFile;
    // The old file gives way only to content that is on the disk.
    if (whole && (!target.temporary.empty() || syncWhole)) whole = fileSync(target.file);
    fileClose(target.file);
    target.file = kInvalidFile;
    if (target.temporary.empty()) {
        if (!whole && dropCut) {
            fileRemove(path);  // nothing that looks whole is left
            return StoreEnd::Dropped;
        }
        return whole ? StoreEnd::Whole : StoreEnd::Kept;
    }
    // The old file gives way only to the whole content; otherwise it stays as it was.
    // Asked to replace, a name taken by what never gives way (read-only, a link, a folder)
    // still does not.
    if (whole && action == ExistingAction::Replace && nameGivesWay(path) && fileReplace(target.temporary, path))
        return StoreEnd::Whole;
    if (whole && action == ExistingAction::KeepBoth) {
        const std::string kept = placeArrivedFile(target.temporary, path, target.nameLength, action);
        if (placed) *placed = kept;
        return kept.empty() ? StoreEnd::Dropped : StoreEnd::Whole;
    }
    fileRemove(target.temporary);
    return whole && action == ExistingAction::Skip ? StoreEnd::Skipped : StoreEnd::Dropped;
}

namespace {
std::atomic<unsigned>& partialCount() {
    static std::atomic<unsigned> count{tickCount()};
    return count;
}
}  // namespace

unsigned nextPartialNumber() { return partialCount().fetch_add(1); }

FileHandle createPartialFile(const std::string& folderPath, const std::string& folder, unsigned seed,
                             std::string* relative, std::string* local) {
    bool exists = true;
    unsigned tries = 0;
    FileHandle file = kInvalidFile;
    for (unsigned n = seed % kPartialNumbers; exists && file == kInvalidFile && tries < kPartialTries; ++n, ++tries) {
        *relative = folder + partialName(n);
        std::string path = folderPath;
        appendComponent(path, partialName(n), kPathSeparator);
        // O_EXCL and its Windows twin create a new file or nothing: a link in the name's
        // place is never followed, so only the folders needed the look for links.
        file = fitsLocalPathLimit(path) ? fileCreateNew(path, &exists) : kInvalidFile;
        if (file != kInvalidFile) {
            fileSetHidden(path, true);
            if (local) *local = std::move(path);
        }
    }
    // Names left taken (partial files kept to be resumed) may stand in a row: the next
    // files start past those this one found.
    if (tries > 1) partialCount().fetch_add(tries - 1);
    return file;
}

std::string namePartialFile(FileHandle& file, const std::string& partialPath, const std::string& path, bool verified,
                            ExistingAction action, size_t nameLength) {
    verified = verified && fileSync(file);
    fileClose(file);
    file = kInvalidFile;
    return nameDurablePartial(partialPath, path, verified, action, nameLength);
}

std::string nameDurablePartial(const std::string& partialPath, const std::string& path, bool durable,
                               ExistingAction action, size_t nameLength) {
    fileSetHidden(partialPath, false);
    if (durable) return placeArrivedFile(partialPath, path, nameLength, action);
    fileRemove(partialPath);
    return std::string();
}

void closeCutPartial(FileHandle& file, const std::string& partialPath, bool keep) {
    fileClose(file);
    file = kInvalidFile;
    if (!keep) fileRemove(partialPath);
}

bool nameGrownFile(FileHandle& file, int64_t length, const std::string& store, const std::string& from,
                   const std::vector<std::string>& path, ExistingAction whenTaken, ExistingAction* done,
                   std::string* stored) {
    *done = ExistingAction::Replace;
    // Bytes past the announced length, or a hole short of it, never take a name.
    FileStamp stamp;
    const bool synced = fileStampOf(file, &stamp) && stamp.size == length && fileSync(file);
    fileClose(file);
    file = kInvalidFile;
    if (!synced || path.empty()) return false;
    const std::vector<std::string> folder(path.begin(), path.end() - 1);
    const size_t existed = foldersThatExist(store, folder);
    const std::string to = joinStorePath(store, path, kPathSeparator);
    bool named = makeFolders(store, folder);
    // Keeping both never replaces, not even a file that appears meanwhile at a free name.
    ExistingAction action = whenTaken;
    if (named && whenTaken != ExistingAction::Replace)
        action = pathEntryOf(to) == PathEntry::Missing ? ExistingAction::KeepBoth : resolvedAction(whenTaken, from, to);
    if (named && action == ExistingAction::Replace) named = nameGivesWay(to) && fileReplace(from, to);
    if (named && action != ExistingAction::Replace) {
        const std::string placed = placeArrivedFile(from, to, path.back().size(), action);
        named = !placed.empty() || action == ExistingAction::Skip;
        const std::string kept = keptName(placed, to, path.back().size());
        if (!kept.empty()) *stored = kept;
        *done = kept.empty() && action == ExistingAction::KeepBoth ? ExistingAction::Replace : action;
    }
    if (!named) removeMadeFolders(store, folder, existed);
    return named;
}
