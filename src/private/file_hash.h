// The SHA-256 of a file's first bytes, as both ends of a private offer compare them.
#pragma once
#include <cstdint>
#include <string>

#include "platform/files.h"
#include "trust/content_hash.h"

// Feeds the next length bytes of an open file to hash, calling tick (when given) between
// pieces; false when the file ends or fails first, or tick said to stop.
bool hashFileBytes(FileHandle file, int64_t length, ContentHash* hash, bool (*tick)(void*) = nullptr,
                   void* context = nullptr);
// The hex of the first length bytes of the file at path; "" when it cannot be read that far.
std::string hashFilePrefix(const std::string& path, int64_t length, bool (*tick)(void*) = nullptr,
                           void* context = nullptr);
