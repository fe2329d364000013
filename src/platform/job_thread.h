// A thread that runs its owner's jobs one at a time, so that a job overlaps the owner's
// next work: hashing a piece while the next one is read, naming a batch of files while
// the next batch arrives.
#pragma once
#include <cstddef>

struct JobThread;
using Job = void (*)(void* argument);

// nullptr when no thread could be started: every job then runs on its owner's thread.
JobThread* startJobThread(size_t stackBytes);
// Waits until the job handed on before has ended, then hands this one on (or, without a
// thread, runs it at once). What argument points at must stay until the job has ended.
void runJob(JobThread* thread, Job job, void* argument);
// Waits until the job handed on has ended.
void waitJob(JobThread* thread);
// Waits, then ends the thread; it is gone afterwards.
void stopJobThread(JobThread* thread);
