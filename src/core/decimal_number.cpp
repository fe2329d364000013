#include "core/decimal_number.h"

bool readDecimal(std::string_view text, uint64_t most, uint64_t* value, LeadingZero zeros) {
    if (text.empty() || (zeros == LeadingZero::OnlyZeroItself && text.size() > 1 && text[0] == '0')) return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        const uint64_t digit = static_cast<uint64_t>(c - '0');
        if (v > (most - digit) / 10 || digit > most) return false;
        v = v * 10 + digit;
    }
    *value = v;
    return true;
}

bool readDecimal(std::string_view text, int64_t most, int64_t* value, LeadingZero zeros) {
    uint64_t v = 0;
    if (most < 0 || !readDecimal(text, static_cast<uint64_t>(most), &v, zeros)) return false;
    *value = static_cast<int64_t>(v);
    return true;
}
