// The Size column's text: a byte count in the largest unit it reaches.
#pragma once
#include <cstdint>
#include <string>

// "0 B" for 0 or less; otherwise the value truncated (never rounded up) to two decimals
// with trailing zeros dropped, a space and the unit "B", "kB", "mB", "gB", "tB" or "pB"
// (1024 apart). The decimal separator is the current locale's, as printf writes it.
std::string formatSize(int64_t size);
