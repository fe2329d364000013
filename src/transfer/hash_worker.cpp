#include "transfer/hash_worker.h"

#include "platform/job_thread.h"

namespace {
// Pieces smaller than this are hashed at once: handing them on would cost more.
constexpr size_t kSmallestHandedOn = 64 * 1024;
constexpr size_t kWorkerStack = 256 * 1024;
}  // namespace

struct HashWorker {
    JobThread* thread = nullptr;
    ContentHash* hash = nullptr;  // the piece handed on
    const void* data = nullptr;
    size_t size = 0;
};

namespace {
void feedPiece(void* argument) {
    const HashWorker* worker = static_cast<const HashWorker*>(argument);
    contentHashUpdate(worker->hash, worker->data, worker->size);
}
}  // namespace

HashWorker* startHashWorker() {
    JobThread* thread = startJobThread(kWorkerStack);
    return thread ? new HashWorker{thread} : nullptr;
}

void hashWorkerWait(HashWorker* worker) {
    if (worker) waitJob(worker->thread);
}

void hashWorkerFeed(HashWorker* worker, ContentHash* hash, const void* data, size_t size) {
    hashWorkerWait(worker);
    if (!worker || size < kSmallestHandedOn) {
        contentHashUpdate(hash, data, size);
        return;
    }
    worker->hash = hash;
    worker->data = data;
    worker->size = size;
    runJob(worker->thread, feedPiece, worker);
}

void stopHashWorker(HashWorker* worker) {
    if (!worker) return;
    stopJobThread(worker->thread);
    delete worker;
}
