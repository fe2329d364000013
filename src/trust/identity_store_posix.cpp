// The identity file on POSIX: $XDG_CONFIG_HOME/quorvalinthexa/identity.pem, the folder
// 0700 and the file 0600, since the file holds the private key in the clear. A folder or
// file found looser (a copy restored from a backup, a umask) is tightened before the key
// is read; one that cannot be is not used.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/user_folders.h"
#include "trust/identity.h"
#include "trust/identity_store.h"

namespace {
bool writeAll(int fd, const std::string& text) {
    for (size_t done = 0; done < text.size();) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Takes group and others' rights away from what fd is, where it has any: false when it
// has and they cannot be taken (not ours).
bool keepPrivate(int fd, mode_t mode) {
    struct stat info;
    if (fstat(fd, &info) != 0) return false;
    return (info.st_mode & 077) == 0 || fchmod(fd, mode) == 0;
}

// The folder of path, when it exists, as keepPrivate leaves it.
bool folderPrivate(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0) return true;
    int fd = open(path.substr(0, slash).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return errno == ENOENT;
    const bool kept = keepPrivate(fd, 0700);
    close(fd);
    return kept;
}

void syncFolderOf(const std::string& path) {
    int fd = open(path.substr(0, path.rfind('/')).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}
}  // namespace

std::string identityPath() { return userFilePath(UserFolder::Config, "identity.pem"); }

StoredIdentity readIdentityText(const std::string& path, std::string* pem) {
    if (!folderPrivate(path)) return StoredIdentity::Exposed;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0) return errno == ENOENT ? StoredIdentity::Missing : StoredIdentity::Unreadable;
    struct stat info;
    StoredIdentity result = StoredIdentity::Unreadable;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && !keepPrivate(fd, 0600)) {
        result = StoredIdentity::Exposed;
    } else if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
               info.st_size <= static_cast<off_t>(kIdentityFileMostBytes)) {
        char buffer[kIdentityFileMostBytes];
        size_t got = 0;
        bool failed = false;
        while (got < sizeof buffer) {
            ssize_t n = read(fd, buffer + got, sizeof buffer - got);
            if (n < 0 && errno == EINTR) continue;
            failed = n < 0;
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
        if (!failed) {
            pem->assign(buffer, got);
            result = StoredIdentity::Read;
        }
    }
    close(fd);
    return result;
}

bool writeIdentityText(const std::string& path, const std::string& pem) {
    if (path.empty() || !makeParentFolders(path)) return false;
    std::string temporary = path + ".new" + std::to_string(getpid());
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return false;
    bool written = fchmod(fd, 0600) == 0 && writeAll(fd, pem) && fsync(fd) == 0;
    written = close(fd) == 0 && written;
    // A link, unlike a rename, never replaces a file that appeared meanwhile; where the
    // file system has no links, a rename that refuses to replace does the same.
    if (written && link(temporary.c_str(), path.c_str()) != 0) {
        written = errno != EEXIST &&
                  renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0;
    }
    unlink(temporary.c_str());
    if (written) syncFolderOf(path);
    return written;
}
