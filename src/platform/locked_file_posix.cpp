#include "platform/locked_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/user_folders.h"

int readSmallFile(const std::string& path, size_t mostBytes, std::string* text) {
    text->clear();
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return errno == ENOENT ? 0 : errno;
    struct stat info;
    int error = fstat(fd, &info) != 0 ? errno : S_ISREG(info.st_mode) ? 0 : EINVAL;
    if (error == 0) {
        text->resize(mostBytes);
        size_t got = 0;
        while (got < text->size()) {
            const ssize_t n = read(fd, &(*text)[got], text->size() - got);
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

bool replaceSmallFile(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".new" + std::to_string(getpid());
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return false;
    bool written = fchmod(fd, 0600) == 0;
    for (size_t done = 0; written && done < text.size();) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
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

LockedEdit editLockedFile(const std::string& path, size_t mostBytes,
                          const std::function<std::string(const std::string&)>& edit) {
    int lockFd = -1;
    if (!path.empty() && makeParentFolders(path))
        lockFd = open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFd >= 0) {
        while (flock(lockFd, LOCK_EX) != 0 && errno == EINTR) continue;
    }
    LockedEdit result;
    std::string before;
    result.readError = path.empty() ? 0 : readSmallFile(path, mostBytes, &before);
    result.text = edit(before);
    result.stored = result.readError == 0 &&
                    (result.text == before || (!path.empty() && replaceSmallFile(path, result.text)));
    if (lockFd >= 0) close(lockFd);  // lets the lock go
    return result;
}
