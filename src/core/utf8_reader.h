// UTF-8 from elsewhere, read one character at a time. Only the shortest form of a code
// point up to U+10FFFF that is no surrogate is a character; anything else (a stray or
// missing continuation byte, an overlong form, a surrogate, a value past U+10FFFF, a
// sequence cut by the end of the text) is a broken sequence.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

struct Utf8Character {
    uint32_t point = 0;  // the code point; 0 for a broken sequence
    size_t length = 0;   // a character's bytes, or the broken sequence's longest start (1 to 3)
    bool valid = false;
};
// The character at text[at], at < text.size(). A broken sequence's length is the maximal
// part that could have begun a character, which a reader that replaces shows as one U+FFFD.
Utf8Character utf8CharacterAt(const std::string& text, size_t at);
// True when all of text reads as characters.
bool isUtf8(const std::string& text);
// The longest start of utf8 of at most maxBytes that does not split a character.
std::string utf8Prefix(const std::string& utf8, size_t maxBytes);
