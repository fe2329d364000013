#include "peers/peer_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "platform/user_folders.h"

namespace {
void lockExclusive(int fd) {
    while (flock(fd, LOCK_EX) != 0 && errno == EINTR) continue;
}

bool writeAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}
}  // namespace

std::string peerFilePath() { return userFilePath(UserFolder::State, "peers"); }

std::string readPeerFile(const std::string& path) {
    if (path.empty()) return std::string();
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::string();
    struct stat info;
    std::string text;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        char buffer[kPeerFileMostBytes];
        size_t got = 0;
        for (;;) {
            ssize_t n = read(fd, buffer + got, sizeof buffer - got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<size_t>(n);
            if (got == sizeof buffer) break;
        }
        text.assign(buffer, got);
    }
    close(fd);
    return text;
}

bool writePeerFile(const std::string& path, const std::vector<std::string>& peers) {
    if (path.empty() || !makeParentFolders(path)) return false;
    std::string text;
    for (const std::string& peer : peers) text += peer + "\n";
    std::string temporary = path + ".new" + std::to_string(getpid());
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    bool written = writeAll(fd, text);
    written = close(fd) == 0 && written;
    if (written && rename(temporary.c_str(), path.c_str()) == 0) return true;
    unlink(temporary.c_str());
    return false;
}

std::string editPeerFile(const std::string& path, const PeerTextEdit& edit) {
    int lockFd = -1;
    if (!path.empty() && makeParentFolders(path))
        lockFd = open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFd >= 0) lockExclusive(lockFd);
    const std::string stored = readPeerFile(path);
    std::string edited = edit(stored);
    if (edited != stored) {
        // The edit speaks in commas; the file takes one address a line.
        std::vector<std::string> lines;
        for (size_t start = 0; start < edited.size();) {
            size_t comma = std::min(edited.find(',', start), edited.size());
            lines.push_back(edited.substr(start, comma - start));
            start = comma + 1;
        }
        writePeerFile(path, lines);
    }
    if (lockFd >= 0) close(lockFd);  // lets the lock go
    return edited;
}

std::string numberedPeersPath(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1) + "numbered";
}
