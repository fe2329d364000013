#include "cli/arguments.h"

#include <cstdio>
#include <cstdlib>

int commandUsageError(const char* command, const char* message, const char* detail) {
    fprintf(stderr, "quorvalinthexa %s: %s%s\n", command, message, detail);
    fprintf(stderr, "Run 'quorvalinthexa %s --help' for usage.\n", command);
    return 2;
}

bool parseWholeNumber(const char* text, long low, long high, long* value) {
    char* end = nullptr;
    *value = strtol(text, &end, 10);
    return *text && !*end && *value >= low && *value <= high;
}

bool parsePortNumber(const char* text, long low, uint16_t* port) {
    long value = 0;
    if (!parseWholeNumber(text, low, 65535, &value)) return false;
    *port = static_cast<uint16_t>(value);
    return true;
}
