// Where the pinned list is kept: the seam between trusted_list.cpp (which parses and
// bounds it) and each system's store. The stores move whole texts of one entry a line,
// "ID\tname\taddress\tlastSeen"; a line they cannot take as that is left for the parser
// to skip.
#pragma once
#include <functional>
#include <string>

constexpr size_t kTrustedTextMostBytes = 64 * 1024;  // 256 lines of ~150 bytes fit

#ifdef _WIN32
// The list's registry key under HKEY_CURRENT_USER (tests point it at a key of theirs).
extern const wchar_t* trustedRegistryKey;
#endif

using TrustedTextEdit = std::function<std::string(const std::string& stored)>;
// Under the store's lock (other processes wait), reads the stored text, runs edit on it,
// stores what it returns when that differs, and returns that. Where the store cannot be
// read, edit runs on ""; where it cannot be written, the result is still returned and
// *stored (when given) is false.
std::string editTrustedText(const TrustedTextEdit& edit, bool* stored = nullptr);
