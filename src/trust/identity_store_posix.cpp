// The identity file on POSIX: $XDG_CONFIG_HOME/quorvalinthexa/identity.pem, the folder
// 0700 and the file 0600, since the file holds the private key in the clear.
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

void syncFolderOf(const std::string& path) {
    int fd = open(path.substr(0, path.rfind('/')).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}
}  // namespace

std::string identityPath() { return userFilePath(UserFolder::Config, "identity.pem"); }

StoredIdentity readIdentityText(const std::string& path, std::string* pem) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0) return errno == ENOENT ? StoredIdentity::Missing : StoredIdentity::Unreadable;
    struct stat info;
    StoredIdentity result = StoredIdentity::Unreadable;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= static_cast<off_t>(kIdentityFileMostBytes)) {
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
