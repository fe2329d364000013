// Threads and time seam. Threads are started and forgotten, as everywhere in the program.
#pragma once
#include <cstdint>

using ThreadProcedure = void (*)(void* argument);

// Starts a detached thread (CreateThread on Windows). False when it could not start.
bool startThread(ThreadProcedure procedure, void* argument);

// Milliseconds from an arbitrary start, wrapping like GetTickCount.
uint32_t tickCount();

void sleepMilliseconds(int milliseconds);
