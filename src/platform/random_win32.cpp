#include "platform/random.h"

#include <windows.h>
#include <bcrypt.h>

#include <climits>

bool systemRandomBytes(void* buffer, size_t size) {
    unsigned char* out = static_cast<unsigned char*>(buffer);
    while (size > 0) {
        ULONG piece = size > ULONG_MAX ? ULONG_MAX : static_cast<ULONG>(size);
        if (BCryptGenRandom(nullptr, out, piece, BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0) return false;
        out += piece;
        size -= piece;
    }
    return true;
}
