// Where the identity's PEM text is kept: the seam between the portable identity code and
// each system's store (identity_store_posix.cpp, identity_store_win32.cpp). The stores
// move whole texts; what the text means is identity.cpp's business.
#pragma once
#include <string>

constexpr size_t kIdentityFileMostBytes = 16384;  // a key and a certificate need ~1 KB

enum class StoredIdentity {
    Missing,     // nothing stored yet: a new identity may be made
    Read,        // *pem holds the stored text
    Unreadable,  // something is stored but cannot be read (too long, not a file...)
    Exposed,     // others may read the file or its folder, and we could not make them private
};
StoredIdentity readIdentityText(const std::string& path, std::string* pem);
// Stores pem at path, which must not exist yet: a store that raced us keeps its own key.
// Whole or not at all: a temporary file, written to disk, then put in place.
bool writeIdentityText(const std::string& path, const std::string& pem);
