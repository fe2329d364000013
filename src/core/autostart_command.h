// The text of the logon autostart value: the program's path in quotes, then the switch.
#pragma once
#include <string>

// The value is built in a 261-byte field: at most 260 bytes and its terminator.
constexpr size_t kMaxAutostartCommand = 260;

// "\"" + programPath + "\" --autostart". The quotes keep a path with spaces one word, so
// a logon start hands the program exactly "--autostart". "" when the path is empty or
// the text would not fit kMaxAutostartCommand (a cut value would start something else).
std::string autostartCommand(const std::string& programPath);
