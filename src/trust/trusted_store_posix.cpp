// The pinned list on POSIX: $XDG_STATE_HOME/quorvalinthexa/trusted, mode 0600, replaced
// whole (a temporary file renamed over it) under a lock on "trusted.lock" beside it, as
// the remembered peers' file is.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/user_folders.h"
#include "trust/trusted_store.h"

namespace {
std::mutex troubleLock;
std::string trouble;

std::string trustedPath() { return userFilePath(UserFolder::State, "trusted"); }

// At most kTrustedTextMostBytes of a regular file into *text ("" when there is none);
// 0, or the error that kept it from being read.
int readText(const std::string& path, std::string* text) {
    text->clear();
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return errno == ENOENT ? 0 : errno;
    struct stat info;
    int error = fstat(fd, &info) != 0 ? errno : S_ISREG(info.st_mode) ? 0 : EINVAL;
    if (error == 0) {
        text->resize(kTrustedTextMostBytes);
        size_t got = 0;
        while (got < text->size()) {
            ssize_t n = read(fd, &(*text)[got], text->size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) error = errno;
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
        text->resize(error ? 0 : got);
    }
    close(fd);
    return error;
}

void noteTrouble(const std::string& text) {
    std::lock_guard<std::mutex> guard(troubleLock);
    trouble = text;
}

bool writeText(const std::string& path, const std::string& text) {
    std::string temporary = path + ".new" + std::to_string(getpid());
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return false;
    bool written = fchmod(fd, 0600) == 0;
    for (size_t done = 0; written && done < text.size();) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        written = n > 0;
        if (written) done += static_cast<size_t>(n);
    }
    written = fsync(fd) == 0 && written;
    written = close(fd) == 0 && written;
    if (written && rename(temporary.c_str(), path.c_str()) == 0) return true;
    unlink(temporary.c_str());
    return false;
}
}  // namespace

std::string editTrustedText(const TrustedTextEdit& edit, bool* stored) {
    const std::string path = trustedPath();
    int lockFd = -1;
    if (!path.empty() && makeParentFolders(path))
        lockFd = open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFd >= 0) {
        while (flock(lockFd, LOCK_EX) != 0 && errno == EINTR) continue;
    }
    std::string before;
    const int readError = path.empty() ? 0 : readText(path, &before);
    std::string after = edit(before);
    const bool written = readError == 0 && (after == before || (!path.empty() && writeText(path, after)));
    if (stored) *stored = written;
    noteTrouble(readError ? path + " cannot be read (" + strerror(readError) + "); it was left as it is"
                : written ? std::string()
                          : path + " cannot be written");
    if (lockFd >= 0) close(lockFd);  // lets the lock go
    return after;
}

std::string trustedStoreTrouble() {
    std::lock_guard<std::mutex> guard(troubleLock);
    return trouble;
}
