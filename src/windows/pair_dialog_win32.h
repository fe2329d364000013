// The pairing question: the other computer's name and ID, the comparison code in large
// type ("123 456"), "Trust this computer?", with Yes and No (the default, counting down
// the seconds left).
#pragma once
#include <string>

// Shows the question on a thread with the program's usual stack, topmost and with no
// owner, as the question before a reception. True only when Yes was chosen before
// milliseconds passed; the time running out, Esc and the close box say no.
bool askToTrust(const std::string& name, const std::string& id, const std::string& code, int milliseconds);
// The code as shown: its six digits in two groups of three.
std::string spacedCode(const std::string& code);
