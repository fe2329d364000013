// The diagnostics of adapter and discovery set-up, shared by both sides of the seam.
#include "platform/adapters.h"

#include <cstdarg>
#include <cstring>

std::FILE* discoveryDiagnostics = stdout;

void printDiagnostic(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    fputs(text, discoveryDiagnostics);
    size_t length = strlen(text);
    if (discoveryDiagnostics != stdout && (length == 0 || text[length - 1] != '\n')) fputc('\n', discoveryDiagnostics);
    fflush(discoveryDiagnostics);
}
