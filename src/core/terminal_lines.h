// A text laid out for a terminal whose lines wrap at a known width.
#pragma once
#include <string>

// Each line of text (split at '\n'), folded into pieces that fit columns with indent before
// them, every piece after indent and ended by '\n'; so no piece, folded here or by the
// terminal, starts at the first column. Widths are counted high, never low: a tab as 8
// columns, every character outside ASCII as 2. A character is never split. columns 0 (or
// too few for the indent and a tab) folds nothing.
std::string indentedLines(const std::string& text, const std::string& indent, int columns);

// text as it may reach a terminal: a control character other than '\n' and '\t' (C0, DEL,
// C1) and a mark that turns the direction of what follows become U+FFFD; "\r\n" becomes
// "\n". Texts from other computers go through it, so none can move the cursor, recolour the
// screen or make a line read backwards.
std::string terminalText(const std::string& text);
