// Byte-string routines shared by the banner, discovery, transfer and settings code.
// Positions are signed byte indexes; -1 means not found. Every result is a new string.
#pragma once
#include <string>

// Position of the first occurrence of pattern in text at or after start; -1 if none
// (and always -1 for an empty text).
int findText(const std::string& text, const std::string& pattern, int start);
// At most count bytes of text from start; count 0 means to the end; negative gives "".
std::string copyRange(const std::string& text, int start, int count);
// Every non-overlapping occurrence of pattern (not empty) replaced, left to right.
std::string replaceAll(const std::string& pattern, const std::string& replacement, const std::string& text);
// A translated text with its "%s" places filled in order: the first with first, the
// second with second. Nothing else in it is read as a format, so a text from a language
// file can never make the program read arguments it was not given.
std::string fillPlaceholders(const std::string& text, const std::string& first, const std::string& second = "");
// The same for a text with counts: its "%d" (and "%s") places filled in order with first
// and second. A translated text is never a printf format: a satellite's "%s" or "%n"
// cannot make the program read what it was not given.
std::string fillNumbers(const std::string& text, long long first);
std::string fillNumbers(const std::string& text, long long first, long long second);
// The entity-decoded text between the first "<name>" and the first "</name>"; "" when
// either is absent, the value is empty, out of order, or longer than 253 bytes.
std::string xmlTagValue(const std::string& document, const std::string& name);
// The first space-delimited word of a fixed-width field (spaces 0x20 only).
std::string trimField(const std::string& field);
// The running program's folder with its trailing separator, in the ANSI code page.
std::string moduleDirectory();
// ANSI code page text to UTF-8 (the identity where the code page is UTF-8 already).
// False when the UTF-8 form does not fit maxBytes (the text is then left unchanged).
bool toUtf8InPlace(std::string& text, size_t maxBytes = 260);
// UTF-8 to the ANSI code page, without best-fit mappings: a character the code page
// lacks becomes its default character. The identity on POSIX.
std::string fromUtf8(const std::string& utf8);
