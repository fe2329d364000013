// A text a peer sends to be shown (a browser's, or a trusted computer's over the private
// channel): how long it may be and what it may hold. It is only ever shown, never stored
// as a file, run or opened.
#pragma once
#include <cstdint>
#include <string>

// The most bytes a text may have, either way and through either door.
constexpr int64_t kMostTextBytes = 65536;

// UTF-8 without overlong forms, surrogates or code points past U+10FFFF, and without NUL.
bool textIsValid(const std::string& text);
