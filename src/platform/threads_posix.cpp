#include "platform/threads.h"

#include <pthread.h>
#include <time.h>

namespace {
struct Start {
    ThreadProcedure procedure;
    void* argument;
};
void* run(void* p) {
    Start start = *static_cast<Start*>(p);
    delete static_cast<Start*>(p);
    start.procedure(start.argument);
    return nullptr;
}
}  // namespace

bool startThread(ThreadProcedure procedure, void* argument, size_t stackBytes) {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    if (stackBytes > 0) pthread_attr_setstacksize(&attr, stackBytes);
    pthread_t thread;
    Start* start = new Start{procedure, argument};
    bool ok = pthread_create(&thread, &attr, run, start) == 0;
    pthread_attr_destroy(&attr);
    if (!ok) delete start;
    return ok;
}

uint32_t tickCount() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000u +
                                 static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
}

void sleepMilliseconds(int milliseconds) {
    timespec ts{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
    nanosleep(&ts, nullptr);
}
