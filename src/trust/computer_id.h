// A computer ID: the first 20 bytes of SHA-256 over a public key's DER
// SubjectPublicKeyInfo, in base32 (A-Z, 2-7): 32 characters, shown as 8 groups of 4
// joined by '-'.
#pragma once
#include <cstddef>
#include <string>

constexpr size_t kComputerIdLength = 32;  // characters without the dashes

// The shown form of the ID of a public key's DER bytes.
std::string computerIdOfKey(const unsigned char* der, size_t size);
// The shown form of what a person typed or pasted: lower case, spaces and dashes
// anywhere are taken; "" when it is not an ID (wrong length, a character outside base32).
std::string parseComputerId(const std::string& text);
