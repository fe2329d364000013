// SHA-256 of file content, as both ends of a private transfer check it: the only place
// that asks the crypto library for it. A hash is started, fed in pieces and finished into
// lower-case hex.
#pragma once
#include <cstddef>
#include <string>

struct ContentHash;  // owned by the caller until contentHashFinal or contentHashFree

constexpr size_t kContentHashHexLength = 64;

// nullptr only when the library cannot start one.
ContentHash* contentHashStart();
void contentHashUpdate(ContentHash* hash, const void* data, size_t size);
// The hex of what was fed; frees the hash. "" when it failed (or hash is nullptr).
std::string contentHashFinal(ContentHash* hash);
void contentHashFree(ContentHash* hash);
// Frees a hash that is owned by a std::unique_ptr.
struct ContentHashFree {
    void operator()(ContentHash* hash) const { contentHashFree(hash); }
};
// Puts to in the state of from, as if it had been fed what from was fed; false when that failed.
bool contentHashSet(ContentHash* to, const ContentHash* from);
// The hex of bytes, in one call.
std::string contentHashOf(const void* data, size_t size);
// Lower-case hex of bytes.
std::string hexOfBytes(const unsigned char* bytes, size_t size);
// SHA-256 of bytes in hex, always: the benchmark's knob that makes every content hash the
// same never reaches it (a pairing's commitment must bind its nonce).
std::string sha256Hex(const void* data, size_t size);
// Whether text is the hex form the final gives: 64 lower-case hex digits.
bool isContentHashHex(const std::string& text);
