#include "platform/socket_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/sendfile.h>
#include <unistd.h>

namespace {
// A connection's bytes reach a file through a pipe; each receiving thread keeps one
// for its life, sized so that one move can carry a whole write piece.
constexpr int kPipeSize = 1 << 20;

struct Pipe {
    int ends[2] = {-1, -1};
    bool tried = false;
    ~Pipe() {
        if (ends[0] >= 0) close(ends[0]);
        if (ends[1] >= 0) close(ends[1]);
    }
};
thread_local Pipe threadPipe;

bool openPipe() {
    if (!threadPipe.tried) {
        threadPipe.tried = true;
        if (pipe2(threadPipe.ends, O_CLOEXEC) != 0) threadPipe.ends[0] = threadPipe.ends[1] = -1;
        else fcntl(threadPipe.ends[1], F_SETPIPE_SZ, kPipeSize);  // a smaller pipe only moves less at once
    }
    return threadPipe.ends[0] >= 0;
}

bool unsupported(int error) { return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP; }

// sendfile fails for either of its two ends; these errors come from the connection's.
// Anything else (EIO above all) is the file's.
bool connectionFailed(int error) {
    switch (error) {
        case EPIPE:
        case ECONNRESET:
        case EAGAIN:
        case ETIMEDOUT:
        case ENOTCONN:
        case ECONNABORTED:
        case ENETDOWN:
        case ENETUNREACH:
        case ENETRESET:
        case EHOSTUNREACH:
        case EHOSTDOWN:
        case ESHUTDOWN:
        case ENOBUFS: return true;
        default: return false;
    }
}

// Empties the pipe into the file. A file that takes no splice gets the bytes through
// memory; bytes the file refuses are read out and dropped, so that the pipe is empty
// for the next move.
bool drainInto(FileHandle file, ssize_t count) {
    bool written = true, direct = true;
    char bytes[64 * 1024];
    while (count > 0) {
        if (written && direct) {
            ssize_t n = splice(threadPipe.ends[0], nullptr, static_cast<int>(file), nullptr, static_cast<size_t>(count),
                               SPLICE_F_MOVE);
            if (n > 0) {
                count -= n;
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && unsupported(errno)) direct = false;
            else written = false;
        }
        ssize_t n = read(threadPipe.ends[0], bytes,
                         count < static_cast<ssize_t>(sizeof bytes) ? static_cast<size_t>(count) : sizeof bytes);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // cannot happen while the pipe holds bytes
        if (written && !fileWriteAll(file, bytes, static_cast<size_t>(n))) written = false;
        count -= n;
    }
    return written;
}
}  // namespace

int socketToFile(Socket s, FileHandle f, int size, bool* written) {
    if (!openPipe()) return kNoDirectPath;
    ssize_t n;
    do {
        n = splice(static_cast<int>(s), nullptr, threadPipe.ends[1], nullptr, static_cast<size_t>(size), SPLICE_F_MOVE);
    } while (n < 0 && errno == EINTR);
    if (n < 0) return unsupported(errno) ? kNoDirectPath : -1;
    if (n > 0 && !drainInto(f, n)) *written = false;
    return static_cast<int>(n);
}

int fileToSocket(FileHandle f, Socket s, int size) {
    ssize_t n;
    do {
        n = sendfile(static_cast<int>(s), static_cast<int>(f), nullptr, static_cast<size_t>(size));
    } while (n < 0 && errno == EINTR);
    if (n < 0 && unsupported(errno)) return kNoDirectPath;
    if (n < 0) return connectionFailed(errno) ? -1 : kFileReadFailed;
    return static_cast<int>(n);
}
