// Random bytes from the system's generator, for secrets (getrandom on Linux,
// BCryptGenRandom on Windows); never a seeded sequence.
#pragma once
#include <cstddef>

// Fills size bytes; false when the system could not give them (nothing usable then).
bool systemRandomBytes(void* buffer, size_t size);
