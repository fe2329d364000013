// Threads and time seam. Threads are started and forgotten, as everywhere in the program.
#pragma once
#include <cstddef>
#include <cstdint>

using ThreadProcedure = void (*)(void* argument);

// Starts a detached thread (CreateThread on Windows). False when it could not start.
// stackBytes 0 takes the system's default (2 MiB reserved on Windows, 8 MiB on Linux);
// threads that many clients can start take a small stack of their own.
bool startThread(ThreadProcedure procedure, void* argument, size_t stackBytes = 0);

// Milliseconds from an arbitrary start, wrapping like GetTickCount.
uint32_t tickCount();

void sleepMilliseconds(int milliseconds);
