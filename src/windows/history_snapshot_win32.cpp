#include "windows/history_snapshot_win32.h"

#include <mutex>
#include <utility>

#include "platform/threads.h"

namespace {
// Between two reads of one burst: the entries written meanwhile wait for the next read.
constexpr int kPauseMilliseconds = 250;

// Made once and never destroyed: a read may outlive the window that asked for it.
struct Reader {
    std::mutex lock;
    HWND window = nullptr;  // the window told of each snapshot; nullptr when none watches
    UINT message = 0;
    bool reading = false;  // a reading thread runs
    bool again = false;    // asked for while reading: one more read after this one
    bool clear = false;    // empty the history before the next read
    std::unique_ptr<HistorySnapshot> ready;
};

Reader& reader() {
    static Reader* shared = new Reader;
    return *shared;
}

std::unique_ptr<HistorySnapshot> readSnapshot(bool clear) {
    if (clear) clearHistory();
    auto snapshot = std::make_unique<HistorySnapshot>();
    snapshot->entries = readHistory();
    snapshot->cells.reserve(snapshot->entries.size());
    for (const HistoryEntry& entry : snapshot->entries) snapshot->cells.push_back(historyCells(entry));
    return snapshot;
}

void readingThread(void*) {
    Reader& r = reader();
    for (;;) {
        bool clear = false;
        {
            std::lock_guard<std::mutex> hold(r.lock);
            std::swap(clear, r.clear);
            r.again = false;
        }
        std::unique_ptr<HistorySnapshot> snapshot = readSnapshot(clear);
        {
            std::lock_guard<std::mutex> hold(r.lock);
            if (r.window) {
                r.ready = std::move(snapshot);
                PostMessageW(r.window, r.message, 0, 0);
            }
            if (!r.window || !r.again) {
                r.reading = false;
                return;
            }
        }
        sleepMilliseconds(kPauseMilliseconds);
    }
}
}  // namespace

void watchHistorySnapshots(HWND window, UINT message) {
    {
        std::lock_guard<std::mutex> hold(reader().lock);
        reader().window = window;
        reader().message = message;
    }
    requestHistorySnapshot();
}

void forgetHistorySnapshots() {
    std::lock_guard<std::mutex> hold(reader().lock);
    reader().window = nullptr;
    reader().ready.reset();
}

void requestHistorySnapshot(bool clear) {
    Reader& r = reader();
    std::lock_guard<std::mutex> hold(r.lock);
    if (!r.window) return;
    r.clear = r.clear || clear;
    if (r.reading) {
        r.again = true;
        return;
    }
    r.reading = startThread(readingThread, nullptr);
}

std::unique_ptr<HistorySnapshot> takeHistorySnapshot() {
    std::lock_guard<std::mutex> hold(reader().lock);
    return std::move(reader().ready);
}
