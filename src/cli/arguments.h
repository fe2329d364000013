// What the commands share in reading their arguments.
#pragma once
#include <cstdint>

// Prints "quorvalinthexa COMMAND: MESSAGEDETAIL" and where the usage is; returns 2, the
// exit status of a usage error.
int commandUsageError(const char* command, const char* message, const char* detail);

// A whole decimal number from low to high (no sign of anything else after it).
bool parseWholeNumber(const char* text, long low, long high, long* value);
// A TCP or UDP port from low (0 or 1) to 65535.
bool parsePortNumber(const char* text, long low, uint16_t* port);
