// A text laid out for a terminal whose lines wrap at a known width.
#pragma once
#include <string>

// Each line of text (split at '\n'), folded into pieces that fit columns with indent before
// them, every piece after indent and ended by '\n'; so no piece, folded here or by the
// terminal, starts at the first column. Widths are counted high, never low: a tab as 8
// columns, every character outside ASCII as 2. A character is never split. columns 0 (or
// too few for the indent and a tab) folds nothing.
std::string indentedLines(const std::string& text, const std::string& indent, int columns);

// text as it may reach a terminal: a character never shown raw (shown_characters.h) other
// than '\n' and '\t', and each maximal broken UTF-8 sequence, become U+FFFD; "\r\n" becomes
// "\n". Texts from other computers go through it, so none can move the cursor, recolour the
// screen, make a line read backwards or hide a character.
std::string terminalText(const std::string& text);
