#include "platform/random.h"

#include <sys/random.h>

#include <cerrno>

bool systemRandomBytes(void* buffer, size_t size) {
    char* out = static_cast<char*>(buffer);
    while (size > 0) {
        ssize_t n = getrandom(out, size, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        out += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}
