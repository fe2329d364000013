// Values under a key of HKEY_CURRENT_USER, for the Windows program's stored settings
// (defined on Windows only).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// A text value (REG_SZ) in the ANSI code page. A value that is missing, of another type,
// or longer than maxChars characters reads as false and leaves text empty: nothing longer
// than the caller's bound is ever read.
bool readUserText(const wchar_t* key, const wchar_t* name, size_t maxChars, std::string* text);
// Creates the key when missing; false when that or the write fails.
bool writeUserText(const wchar_t* key, const wchar_t* name, const std::string& text);
// A number (REG_DWORD); false when missing or of another type or size.
bool readUserNumber(const wchar_t* key, const wchar_t* name, uint32_t* value);
bool writeUserNumber(const wchar_t* key, const wchar_t* name, uint32_t value);
