#include "selection/size_format.h"

#include <cmath>
#include <cstdio>

std::string formatSize(int64_t size) {
    if (size <= 0) return "0 B";
    static const char* const kUnits[] = {"B", "kB", "mB", "gB", "tB", "pB"};
    const double d = static_cast<double>(size);
    int unit = 0;
    double value = d;
    for (int n = 5; n >= 0; --n) {
        const double scale = std::pow(1024.0, n);
        if (d >= scale) {
            // Truncated to hundredths: 1048575 bytes are 1023.99 kB, never 1024 kB. The
            // largest size gives 819200 hundredths, well inside 32 bits.
            value = static_cast<int32_t>(d / scale * 100) / 100.0;
            unit = n;
            break;
        }
    }
    char text[30];
    snprintf(text, sizeof text, "%.2f", value);
    std::string result = text;
    // At most two zeros go, and only after the separator (which "%.2f" always writes).
    for (int i = 0; i < 2 && !result.empty() && result.back() == '0'; ++i) result.pop_back();
    if (!result.empty() && (result.back() == '.' || result.back() == ',')) result.pop_back();
    return result + " " + kUnits[unit];
}
