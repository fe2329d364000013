#include "store/upload_partials.h"

#include <mutex>
#include <vector>

#include "store/store_names.h"

namespace {
// Held while the partial folder is made or removed and a partial file is created in it,
// so that one upload never removes the folder another is about to use.
std::mutex partialLock;
int partialsOpen = 0;  // partial files of this process: the folder goes with the last

std::string partialFolderOf(const std::string& store) {
    return joinStorePath(store, {kUploadFolderName}, kPathSeparator);
}

bool isUploadPartialName(const std::string& name) {
    return name.size() > 10 && name.compare(0, 5, "~qvup") == 0 && name.compare(name.size() - 5, 5, ".part") == 0;
}

// Called with partialLock held.
void goneLocked(const std::string& store, std::string* path) {
    path->clear();
    if (--partialsOpen == 0) removeEmptyDirectory(partialFolderOf(store));
}
}  // namespace

FileHandle openUploadPartial(const std::string& store, const std::string& random, std::string* path,
                             bool* throughLink) {
    const std::string folder = partialFolderOf(store);
    *path = joinStorePath(store, {kUploadFolderName, "~qvup" + random + ".part"}, kPathSeparator);
    std::lock_guard<std::mutex> guard(partialLock);
    // The partial folder is never a link: nothing is written through one.
    *throughLink = passesThroughLink(store, {kUploadFolderName}, kPathSeparator);
    bool exists = false;
    const FileHandle file = *throughLink || (!isDirectory(folder) && !makeDirectory(folder))
                                ? kInvalidFile
                                : fileCreateNew(*path, &exists);
    if (file != kInvalidFile) {
        ++partialsOpen;
        return file;
    }
    path->clear();
    if (!*throughLink && partialsOpen == 0) removeEmptyDirectory(folder);
    return kInvalidFile;
}

void uploadPartialGone(const std::string& store, std::string* path) {
    std::lock_guard<std::mutex> guard(partialLock);
    goneLocked(store, path);
}

void dropUploadPartial(const std::string& store, FileHandle* file, std::string* path) {
    if (*file != kInvalidFile) fileClose(*file);
    *file = kInvalidFile;
    if (path->empty()) return;
    std::lock_guard<std::mutex> guard(partialLock);
    fileRemove(*path);
    goneLocked(store, path);
}

void removeLeftoverUploadPartials(const std::string& store) {
    if (store.empty() || passesThroughLink(store, {kUploadFolderName}, kPathSeparator)) return;
    const std::string folder = partialFolderOf(store);
    std::vector<std::string> names;
    listDirectory(folder, [&names](const std::string& name, bool directory) {
        if (!directory && isUploadPartialName(name)) names.push_back(name);
        return true;
    });
    std::lock_guard<std::mutex> guard(partialLock);
    for (const std::string& name : names) fileRemove(joinStorePath(store, {kUploadFolderName, name}, kPathSeparator));
    if (partialsOpen == 0) removeEmptyDirectory(folder);
}
