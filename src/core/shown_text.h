// A text from the network as a window shows it.
#pragma once
#include <string>

// UTF-8 to UTF-16 for an edit control. Each maximal broken sequence (utf8_reader.h)
// becomes one U+FFFD, and so does each character never shown raw (shown_characters.h) but
// the tab and the line breaks: "\n", "\r" and "\r\n" each become "\r\n", the line break a
// control shows.
std::u16string shownText(const std::string& utf8);
