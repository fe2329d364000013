#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "history/history.h"
#include "history/history_path.h"
#include "platform/user_folders.h"

std::string historyPath() { return userFilePath(UserFolder::State, "history.db"); }

namespace {
// A link planted at the database or its journals would have SQLite write through it.
bool isLink(const std::string& path) {
    struct stat found {};
    return lstat(path.c_str(), &found) == 0 && S_ISLNK(found.st_mode);
}

// The user's own file or folder loses what others may do with it (a copy made by hand may
// be readable by all); what the user denied themselves stays denied; another user's is left.
void tighten(int fd, mode_t most) {
    struct stat found {};
    if (fstat(fd, &found) == 0 && found.st_uid == geteuid() && (found.st_mode & 07777 & ~most) != 0)
        fchmod(fd, found.st_mode & most);
}
}  // namespace

std::string prepareHistoryFile(const std::string& path) {
    // SQLite gives its journal files the database's mode, so they are the user's alone too.
    if (!makeParentFolders(path)) return path;
    const size_t slash = path.find_last_of('/');
    const std::string folderPath = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    // SQLite refuses a link anywhere in the path it is given: the folder is given resolved
    // (a home reached through a link is common), so that only a link at the file is refused.
    char* real = realpath(folderPath.c_str(), nullptr);
    if (!real) return path;
    const std::string realFolder = real;
    free(real);
    std::string resolved = realFolder + (realFolder == "/" ? "" : "/") + path.substr(slash + 1);
    for (const char* suffix : {"", "-wal", "-shm"})
        if (isLink(resolved + suffix)) return "";
    const int folder = open(realFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    if (folder >= 0) {
        tighten(folder, 0700);
        close(folder);
    }
    const int file = open(resolved.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (file >= 0) {
        tighten(file, 0600);
        close(file);
    }
    return resolved;
}
