// The characters a text from elsewhere never shows raw, in any line printed, any name
// stored or shown, any history field, on a terminal, in JSON or in a window: C0
// controls, DEL, C1 controls, the marks, embeddings, overrides and isolates that turn the
// direction of what follows (U+061C, U+200E, U+200F, U+202A-U+202E, U+2066-U+2069), the
// line and paragraph separators (U+2028, U+2029) and the zero-width characters (U+200B,
// U+200C, U+200D, U+2060, U+FEFF). With them, a name could move the cursor, recolour a
// terminal, break a line where none shows, read backwards or pass for another name.
// Broken UTF-8 (utf8_reader.h) is never shown raw either. Each caller chooses what it
// shows instead: an escape, U+FFFD, or a refusal.
#pragma once
#include <cstdint>
#include <string>

bool isNeverShownRaw(uint32_t point);
// True when text is valid UTF-8 without any character never shown raw.
bool isShowableText(const std::string& text);
// text without its broken sequences and its characters never shown raw.
std::string withoutHiddenCharacters(const std::string& text);
// text as a JSON string, quotes included: '"' and '\\' escaped, "\n", "\r" and "\t" as
// such, every other character never shown raw as "\uXXXX", and each byte of a broken
// sequence as "\ufffd".
std::string jsonString(const std::string& text);
