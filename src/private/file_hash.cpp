#include "private/file_hash.h"

#include <algorithm>
#include <vector>

namespace {
constexpr size_t kHashPiece = 1 << 20;
}  // namespace

bool hashFileBytes(FileHandle file, int64_t length, ContentHash* hash, bool (*tick)(void*), void* context) {
    std::vector<char> buffer(static_cast<size_t>(std::min<int64_t>(std::max<int64_t>(length, 1), kHashPiece)));
    while (length > 0) {
        const int64_t n = fileRead(file, buffer.data(), static_cast<size_t>(std::min<int64_t>(length, kHashPiece)));
        if (n <= 0) return false;
        contentHashUpdate(hash, buffer.data(), static_cast<size_t>(n));
        length -= n;
        if (tick && !tick(context)) return false;
    }
    return true;
}

std::string hashFilePrefix(const std::string& path, int64_t length, bool (*tick)(void*), void* context) {
    const FileHandle file = fileOpenRead(path);
    if (file == kInvalidFile) return std::string();
    ContentHash* hash = contentHashStart();
    const bool read = hash && hashFileBytes(file, length, hash, tick, context);
    fileClose(file);
    if (read) return contentHashFinal(hash);
    contentHashFree(hash);
    return std::string();
}
