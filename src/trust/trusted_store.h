// Where the pinned list is kept: the seam between trusted_list.cpp (which parses and
// bounds it) and each system's store. The stores move whole texts of one entry a line,
// "ID\tname\taddress\tlastSeen", each followed by its addresses' line "+ID\tA,B,...";
// a line they cannot take as that is left for the parser to skip.
#pragma once
#include <functional>
#include <string>

constexpr size_t kTrustedTextMostBytes = 128 * 1024;  // 256 entries of ~150 bytes, their addresses ~160

#ifdef _WIN32
// The list's registry key under HKEY_CURRENT_USER (tests point it at a key of theirs).
extern const wchar_t* trustedRegistryKey;
#endif

using TrustedTextEdit = std::function<std::string(const std::string& stored)>;
// Under the store's lock (other processes wait), reads the stored text, runs edit on it,
// stores what it returns when that differs, and returns that. Where there is no store
// yet, edit runs on "". Where the store exists but cannot be read (no right to, a read
// error), edit runs on "" and nothing is stored over it: a list we cannot read is never
// replaced by what was added to nothing. Where it cannot be written or read, the result is
// still returned and *stored (when given) is false.
std::string editTrustedText(const TrustedTextEdit& edit, bool* stored = nullptr);
// Why the last edit could not read or store the list ("... cannot be read: Permission
// denied"), in English; "" when it could.
std::string trustedStoreTrouble();
