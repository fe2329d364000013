// A number a peer wrote in decimal, read strictly: digits and nothing else.
#pragma once
#include <cstdint>
#include <string_view>

enum class LeadingZero { Allowed, OnlyZeroItself };

// text as a whole number from 0 to most: one digit at least, no sign, no space, no other
// byte, and never a value past most (nor an overflow on the way there). With
// OnlyZeroItself a leading zero is refused but in "0": such a form has one spelling.
// *value is left alone when false.
bool readDecimal(std::string_view text, uint64_t most, uint64_t* value, LeadingZero zeros = LeadingZero::Allowed);
// The same for a signed result, most at most INT64_MAX.
bool readDecimal(std::string_view text, int64_t most, int64_t* value, LeadingZero zeros = LeadingZero::Allowed);
