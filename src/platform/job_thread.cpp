#include "platform/job_thread.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "platform/threads.h"

struct JobThread {
    std::mutex lock;
    std::condition_variable changed;
    Job job = nullptr;  // set: a job waits to run, or runs
    void* argument = nullptr;
    bool stop = false;
    std::atomic<int> holders{2};  // the owner and the thread: the last to let go frees it
};

namespace {
void letGo(JobThread* thread) {
    if (--thread->holders == 0) delete thread;
}

void jobLoop(void* argument) {
    JobThread* thread = static_cast<JobThread*>(argument);
    std::unique_lock<std::mutex> guard(thread->lock);
    for (;;) {
        thread->changed.wait(guard, [thread] { return thread->job || thread->stop; });
        if (!thread->job) break;
        const Job job = thread->job;
        guard.unlock();
        job(thread->argument);
        guard.lock();
        thread->job = nullptr;
        thread->changed.notify_all();
    }
    guard.unlock();
    letGo(thread);
}
}  // namespace

JobThread* startJobThread(size_t stackBytes) {
    JobThread* thread = new JobThread;
    if (startThread(jobLoop, thread, stackBytes)) return thread;
    delete thread;
    return nullptr;
}

void waitJob(JobThread* thread) {
    if (!thread) return;
    std::unique_lock<std::mutex> guard(thread->lock);
    thread->changed.wait(guard, [thread] { return !thread->job; });
}

void runJob(JobThread* thread, Job job, void* argument) {
    if (!thread) {
        job(argument);
        return;
    }
    std::unique_lock<std::mutex> guard(thread->lock);
    thread->changed.wait(guard, [thread] { return !thread->job; });
    thread->job = job;
    thread->argument = argument;
    thread->changed.notify_all();
}

void stopJobThread(JobThread* thread) {
    if (!thread) return;
    {
        std::unique_lock<std::mutex> guard(thread->lock);
        thread->changed.wait(guard, [thread] { return !thread->job; });
        thread->stop = true;
        thread->changed.notify_all();
    }
    letGo(thread);
}
