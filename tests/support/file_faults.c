/* Faults of the files a sender reads, put into the real command-line peer by preloading
 * this library (LD_PRELOAD), as the shell tests do:
 *   QV_SLOW_OPEN_UNDER=FOLDER QV_SLOW_OPEN_MICROSECONDS=N
 *       every open for reading of a path under FOLDER takes N microseconds more, as on a
 *       network share, a slow stick, or under an on-access scanner;
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
        return next(path, flags, mode);                                            \
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
        return next(folder, path, flags, mode);                                         \
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
