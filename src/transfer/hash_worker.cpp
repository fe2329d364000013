#include "transfer/hash_worker.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "platform/threads.h"

namespace {
// Pieces smaller than this are hashed at once: handing them on would cost more.
constexpr size_t kSmallestHandedOn = 64 * 1024;
constexpr size_t kWorkerStack = 256 * 1024;
}  // namespace

struct HashWorker {
    std::mutex lock;
    std::condition_variable changed;
    ContentHash* hash = nullptr;  // set: a piece waits to be fed
    const void* data = nullptr;
    size_t size = 0;
    bool stop = false;
    std::atomic<int> holders{2};  // the owner and the thread: the last to let go frees it
};

namespace {
void letGo(HashWorker* worker) {
    if (--worker->holders == 0) delete worker;
}

void feedLoop(void* argument) {
    HashWorker* worker = static_cast<HashWorker*>(argument);
    std::unique_lock<std::mutex> guard(worker->lock);
    for (;;) {
        worker->changed.wait(guard, [worker] { return worker->hash || worker->stop; });
        if (!worker->hash) break;
        ContentHash* hash = worker->hash;
        guard.unlock();
        contentHashUpdate(hash, worker->data, worker->size);
        guard.lock();
        worker->hash = nullptr;
        worker->changed.notify_all();
    }
    guard.unlock();
    letGo(worker);
}
}  // namespace

HashWorker* startHashWorker() {
    HashWorker* worker = new HashWorker;
    if (startThread(feedLoop, worker, kWorkerStack)) return worker;
    delete worker;
    return nullptr;
}

void hashWorkerWait(HashWorker* worker) {
    if (!worker) return;
    std::unique_lock<std::mutex> guard(worker->lock);
    worker->changed.wait(guard, [worker] { return !worker->hash; });
}

void hashWorkerFeed(HashWorker* worker, ContentHash* hash, const void* data, size_t size) {
    hashWorkerWait(worker);
    if (!worker || size < kSmallestHandedOn) {
        contentHashUpdate(hash, data, size);
        return;
    }
    std::lock_guard<std::mutex> guard(worker->lock);
    worker->hash = hash;
    worker->data = data;
    worker->size = size;
    worker->changed.notify_all();
}

void stopHashWorker(HashWorker* worker) {
    if (!worker) return;
    {
        std::unique_lock<std::mutex> guard(worker->lock);
        worker->changed.wait(guard, [worker] { return !worker->hash; });
        worker->stop = true;
        worker->changed.notify_all();
    }
    letGo(worker);
}
