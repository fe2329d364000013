/* Faults of the files a sender reads, put into the real command-line peer by preloading
 * this library (LD_PRELOAD), as the shell tests do:
 *   QV_SLOW_OPEN_UNDER=FOLDER QV_SLOW_OPEN_MICROSECONDS=N
 *       every open for reading of a path under FOLDER takes N microseconds more, as on a
 *       network share, a slow stick, or under an on-access scanner;
 *   QV_SLOW_READ_UNDER=FOLDER QV_SLOW_READ_MICROSECONDS=N
 *       every read of a file opened for reading under FOLDER takes N microseconds more,
 *       as on a slow disk;
 *   QV_FAIL_WRITE_UNDER=FOLDER
 *       every write to a file opened for writing under FOLDER fails with ENOSPC, as on a
 *       full disk;
 *   QV_FAIL_SENDFILE_AFTER=BYTES
 *       sendfile fails with EIO (the file cannot be read) once it has sent BYTES.
 * Without these variables it changes nothing. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <sys/sendfile.h>
#include <sys/types.h>
#include <unistd.h>

static void slowIfUnder(const char* path, int flags) {
    const char* folder = getenv("QV_SLOW_OPEN_UNDER");
    const char* micros = getenv("QV_SLOW_OPEN_MICROSECONDS");
    if (!folder || !micros || !path || (flags & O_ACCMODE) != O_RDONLY) return;
    if (strncmp(path, folder, strlen(folder)) == 0) usleep((useconds_t)atol(micros));
}

/* The descriptors opened for reading under QV_SLOW_READ_UNDER, and for writing under
 * QV_FAIL_WRITE_UNDER (a few, in tests). */
#define SLOW_FDS 4096
enum { kPlain, kSlowRead, kFailWrite };
static volatile int slowFds[SLOW_FDS];

static int under(const char* path, const char* variable) {
    const char* folder = getenv(variable);
    return folder && path && strncmp(path, folder, strlen(folder)) == 0;
}

static void markIfSlow(int fd, const char* path, int flags) {
    if (fd < 0 || fd >= SLOW_FDS) return;
    const int reading = (flags & O_ACCMODE) == O_RDONLY;
    slowFds[fd] = reading && under(path, "QV_SLOW_READ_UNDER")     ? kSlowRead
                  : !reading && under(path, "QV_FAIL_WRITE_UNDER") ? kFailWrite
                                                                   : kPlain;
}

ssize_t write(int fd, const void* buffer, size_t count) {
    static ssize_t (*next)(int, const void*, size_t);
    if (!next) next = (ssize_t(*)(int, const void*, size_t))dlsym(RTLD_NEXT, "write");
    if (fd >= 0 && fd < SLOW_FDS && slowFds[fd] == kFailWrite) {
        errno = ENOSPC;
        return -1;
    }
    return next(fd, buffer, count);
}

ssize_t read(int fd, void* buffer, size_t count) {
    static ssize_t (*next)(int, void*, size_t);
    const char* micros = getenv("QV_SLOW_READ_MICROSECONDS");
    if (!next) next = (ssize_t(*)(int, void*, size_t))dlsym(RTLD_NEXT, "read");
    if (micros && fd >= 0 && fd < SLOW_FDS && slowFds[fd] == kSlowRead) usleep((useconds_t)atol(micros));
    return next(fd, buffer, count);
}

/* A descriptor number is reused: by a socket, whose reads are never slowed. */
int close(int fd) {
    static int (*next)(int);
    if (!next) next = (int (*)(int))dlsym(RTLD_NEXT, "close");
    if (fd >= 0 && fd < SLOW_FDS) slowFds[fd] = kPlain;
    return next(fd);
}

static mode_t modeOf(int flags, va_list arguments) {
    return (flags & (O_CREAT | O_TMPFILE)) ? (mode_t)va_arg(arguments, int) : 0;
}

#define OPEN_LIKE(name)                                                            \
    int name(const char* path, int flags, ...) {                                   \
        static int (*next)(const char*, int, ...);                                 \
        va_list arguments;                                                         \
        va_start(arguments, flags);                                                \
        mode_t mode = modeOf(flags, arguments);                                    \
        va_end(arguments);                                                         \
        if (!next) next = (int (*)(const char*, int, ...))dlsym(RTLD_NEXT, #name); \
        slowIfUnder(path, flags);                                                  \
        int fd = next(path, flags, mode);                                          \
        markIfSlow(fd, path, flags);                                               \
        return fd;                                                                 \
    }
OPEN_LIKE(open)
OPEN_LIKE(open64)

#define OPENAT_LIKE(name)                                                               \
    int name(int folder, const char* path, int flags, ...) {                            \
        static int (*next)(int, const char*, int, ...);                                 \
        va_list arguments;                                                              \
        va_start(arguments, flags);                                                     \
        mode_t mode = modeOf(flags, arguments);                                         \
        va_end(arguments);                                                              \
        if (!next) next = (int (*)(int, const char*, int, ...))dlsym(RTLD_NEXT, #name); \
        slowIfUnder(path, flags);                                                       \
        int fd = next(folder, path, flags, mode);                                       \
        markIfSlow(fd, path, flags);                                                    \
        return fd;                                                                      \
    }
OPENAT_LIKE(openat)
OPENAT_LIKE(openat64)

static long long sentSoFar;

/* offset_t is a type: it cannot stand in parentheses. */
/* NOLINTBEGIN(bugprone-macro-parentheses) */
#define SENDFILE_LIKE(name, offset_t)                                                       \
    ssize_t name(int out, int in, offset_t* offset, size_t count) {                         \
        static ssize_t (*next)(int, int, offset_t*, size_t);                                \
        const char* after = getenv("QV_FAIL_SENDFILE_AFTER");                               \
        if (!next) next = (ssize_t(*)(int, int, offset_t*, size_t))dlsym(RTLD_NEXT, #name); \
        if (after && sentSoFar >= atoll(after)) {                                           \
            errno = EIO;                                                                    \
            return -1;                                                                      \
        }                                                                                   \
        ssize_t n = next(out, in, offset, count);                                           \
        if (n > 0) sentSoFar += n;                                                          \
        return n;                                                                           \
    }
/* NOLINTEND(bugprone-macro-parentheses) */
SENDFILE_LIKE(sendfile, off_t)
SENDFILE_LIKE(sendfile64, off64_t)
