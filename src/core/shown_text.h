// A text from the network as a window shows it, and the bound of a text given to it.
#pragma once
#include <cstddef>
#include <string>

// UTF-8 to UTF-16 for an edit control. Each maximal invalid sequence (a stray or
// missing continuation byte, an overlong form, a surrogate, a value past U+10FFFF)
// becomes one U+FFFD, and so does a NUL, which would end the text in a control;
// "\n", "\r" and "\r\n" each become "\r\n", the line break a control shows.
std::u16string shownText(const std::string& utf8);
// The longest start of utf8 of at most maxBytes that does not split a character.
std::string utf8Prefix(const std::string& utf8, size_t maxBytes);
