#include "core/peer_text.h"

#include "core/utf8_reader.h"

bool textIsValid(const std::string& text) { return text.find('\0') == std::string::npos && isUtf8(text); }
