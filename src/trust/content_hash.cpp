#include "trust/content_hash.h"

#include <openssl/evp.h>

#include <cstdlib>
#include <cstring>

namespace {
// The benchmark's way to measure the private channel without hashing (bench/README.md):
// every hash is then the same, so both ends must have it set. Never a user option.
bool hashingOff() {
    static const bool off = [] {
        const char* value = getenv("QV_BENCH_NO_CONTENT_HASH");
        return value && strcmp(value, "1") == 0;
    }();
    return off;
}
}  // namespace

struct ContentHash {
    EVP_MD_CTX* context;
};

ContentHash* contentHashStart() {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    if (!context || EVP_DigestInit_ex(context, EVP_sha256(), nullptr) != 1) {
        EVP_MD_CTX_free(context);
        return nullptr;
    }
    return new ContentHash{context};
}

void contentHashUpdate(ContentHash* hash, const void* data, size_t size) {
    if (hash && size > 0 && !hashingOff()) EVP_DigestUpdate(hash->context, data, size);
}

std::string contentHashFinal(ContentHash* hash) {
    if (!hash) return std::string();
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    const bool done = EVP_DigestFinal_ex(hash->context, digest, &length) == 1 && length * 2 == kContentHashHexLength;
    contentHashFree(hash);
    return done ? hexOfBytes(digest, length) : std::string();
}

std::string hexOfBytes(const unsigned char* bytes, size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
        hex += kDigits[bytes[i] >> 4];
        hex += kDigits[bytes[i] & 15];
    }
    return hex;
}

std::string sha256Hex(const void* data, size_t size) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(data, size, digest, &length, EVP_sha256(), nullptr) != 1) return std::string();
    return hexOfBytes(digest, length);
}

void contentHashFree(ContentHash* hash) {
    if (!hash) return;
    EVP_MD_CTX_free(hash->context);
    delete hash;
}

bool contentHashSet(ContentHash* to, const ContentHash* from) {
    return to && from && EVP_MD_CTX_copy_ex(to->context, from->context) == 1;
}

std::string contentHashOf(const void* data, size_t size) {
    ContentHash* hash = contentHashStart();
    contentHashUpdate(hash, data, size);
    return contentHashFinal(hash);
}

bool isContentHashHex(const std::string& text) {
    if (text.size() != kContentHashHexLength) return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}
