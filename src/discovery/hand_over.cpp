#include "discovery/hand_over.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <set>
#include <vector>

#include "core/window_port.h"
#include "platform/adapters.h"
#include "platform/net.h"
#include "platform/threads.h"

namespace {
// Peers whose failure has been shown. A spoofed flood of senders cannot grow it for
// ever: once full, failures towards new peers are only printed.
constexpr size_t kRememberedPeerLimit = 256;
std::mutex failureLock;
std::set<std::string> failedPeers;

// True when this failure is the first towards peer that may be shown in a box.
bool firstFailureTowards(const std::string& peer) {
    std::lock_guard<std::mutex> guard(failureLock);
    if (failedPeers.count(peer) || failedPeers.size() >= kRememberedPeerLimit) return false;
    failedPeers.insert(peer);
    return true;
}

// One box at a time: hand-overs run on several threads, and a flood of datagrams from
// sources that drop connections would otherwise stack a box on each of them.
std::atomic<bool> boxOpen{false};

void reportFailure(const std::string& peer, const std::string& message) {
    if (!boxOpen.exchange(true)) {
        bool shown = firstFailureTowards(peer);
        if (shown) portShowErrorMessage(message);
        boxOpen = false;
        if (shown) return;
    }
    printDiagnostic("%s", message.c_str());
}

std::string formatted(const char* format, const std::string& text) {
    char message[64];
    snprintf(message, sizeof message, format, text.c_str());
    return message;
}
std::string formatted(const char* format, int code) {
    char message[64];
    snprintf(message, sizeof message, format, code);
    return message;
}
}  // namespace

void forgetHandOverFailures() {
    std::lock_guard<std::mutex> guard(failureLock);
    failedPeers.clear();
}

int handOverAddress(const std::string& peer, bool replace, uint16_t port) {
    std::string own = portGetOwnAddress().substr(0, kAddressTextLimit);
    uint32_t address = 0;
    if (!netResolve(peer, &address)) {
        reportFailure(peer, formatted("Invalid address %s\n", peer.substr(0, 40)));
        return -1;
    }
    Socket s = netTcpSocket();
    int error = s == kInvalidSocket ? netLastError()
                                    : netConnectWithTimeout(s, address, port, kHandOverTimeoutMilliseconds);
    if (error != 0) {
        netClose(s);
        reportFailure(peer, formatted("Connect error %d\n", error));
        return -1;
    }
    netSetSendTimeout(s, kHandOverTimeoutMilliseconds);
    std::string record = addressHandOverBytes(own, replace);
    netSendAll(s, record.data(), record.size());  // a short record is the peer's to ignore
    netClose(s);
    return 0;
}

namespace {
struct WaitingHandOver {
    uint32_t peer = 0;
    bool replace = false;
    uint16_t port = 0;
    uint32_t queuedAt = 0;
};

// Never destroyed: a hand-over thread may still be connecting while the process exits.
struct HandOverQueue {
    std::mutex lock;
    std::condition_variable changed;
    std::deque<WaitingHandOver> waiting;  // oldest first
    std::multiset<uint32_t> connecting;   // peers with a hand-over running
    int workers = 0;
    uint32_t secondStart = 0;  // the per-second budget: this second's starts
    int startedThisSecond = 0;
};
HandOverQueue& queue = *new HandOverQueue;

// The next hand-over to run: the peer queued most recently among those without a
// running one, and of its hand-overs the oldest. -1 when none may run now.
int nextHandOver() {
    for (int i = static_cast<int>(queue.waiting.size()) - 1; i >= 0; --i) {
        uint32_t peer = queue.waiting[static_cast<size_t>(i)].peer;
        if (queue.connecting.count(peer)) continue;
        for (int j = 0; j <= i; ++j)
            if (queue.waiting[static_cast<size_t>(j)].peer == peer) return j;
    }
    return -1;
}

void dropStale(uint32_t now) {
    while (!queue.waiting.empty() && now - queue.waiting.front().queuedAt > kHandOverWaitLimitMilliseconds)
        queue.waiting.pop_front();
}

// True when one more connection may start this second; counts it.
bool takeBudget(uint32_t now) {
    if (now - queue.secondStart >= 1000) {
        queue.secondStart = now;
        queue.startedThisSecond = 0;
    }
    if (queue.startedThisSecond >= kHandOversPerSecond) return false;
    ++queue.startedThisSecond;
    return true;
}

// One of the hand-over threads: runs what may run, waits while the second's budget is
// spent, and ends when nothing may run (what waits for a peer's running hand-over is
// taken by the thread that runs it, once it is done).
void handOverWorker(void*) {
    std::unique_lock<std::mutex> lock(queue.lock);
    for (;;) {
        uint32_t now = tickCount();
        dropStale(now);
        int next = nextHandOver();
        if (next < 0) break;
        if (!takeBudget(now)) {
            queue.changed.wait_for(lock, std::chrono::milliseconds(50));
            continue;
        }
        WaitingHandOver job = queue.waiting[static_cast<size_t>(next)];
        queue.waiting.erase(queue.waiting.begin() + next);
        auto running = queue.connecting.insert(job.peer);
        lock.unlock();
        handOverAddress(netDotted(job.peer), job.replace, job.port);
        lock.lock();
        queue.connecting.erase(running);
        queue.changed.notify_all();
    }
    --queue.workers;
}
}  // namespace

void queueHandOver(uint32_t peer, bool replace, uint16_t port) {
    std::lock_guard<std::mutex> guard(queue.lock);
    if (queue.waiting.size() >= static_cast<size_t>(kHandOversWaitingLimit)) queue.waiting.pop_front();
    queue.waiting.push_back({peer, replace, port, tickCount()});
    // A thread more while some of the waiting ones have none to run them.
    if (queue.workers < kHandOverThreads &&
        queue.workers < static_cast<int>(queue.connecting.size() + queue.waiting.size())) {
        ++queue.workers;
        if (!startThread(handOverWorker, nullptr)) --queue.workers;
    }
    queue.changed.notify_one();
}

void dropWaitingHandOvers() {
    std::lock_guard<std::mutex> guard(queue.lock);
    queue.waiting.clear();
}

namespace {
// A dotted IPv4 address and nothing else: safe to print and to use as a recipient.
bool isDottedAddress(const std::string& text) {
    if (text.size() < 7 || text.size() > kAddressTextLimit) return false;
    for (char c : text)
        if (c != '.' && (c < '0' || c > '9')) return false;
    uint32_t address;
    return netParseDotted(text, &address) && netDotted(address) == text;
}

// Reads exactly count bytes unless the stream ends first.
std::string readExactly(StreamReader& reader, int count) {
    std::string text;
    char buffer[kAddressTextLimit];
    while (static_cast<int>(text.size()) < count) {
        int n = readContent(reader, buffer, count - static_cast<int>(text.size()));
        if (n <= 0) break;
        text.append(buffer, static_cast<size_t>(n));
    }
    return text;
}
}  // namespace

std::string readHandedOverAddress(Socket connection) {
    constexpr int kBlockLimit = 8;  // an address stream has three blocks; more is not one
    StreamReader reader;
    startSocketReader(reader, connection);
    std::vector<char> block(kHeaderBlockLimit + 1);
    int length = 0;
    if (readHeaderBlock(reader, block.data(), &length) <= 0) return std::string();
    if (headerValue(parseHeaderLines(block.data(), length), "Version") != kProtocolVersion) return std::string();
    for (int i = 0; i < kBlockLimit; ++i) {
        int result = readHeaderBlock(reader, block.data(), &length);
        HeaderLines lines = parseHeaderLines(block.data(), length);
        std::string type = headerValue(lines, "Type");
        if (type == "ip") {
            int64_t size = readNumber(headerValue(lines, "Size"));
            if (size < 7 || size > static_cast<int64_t>(kAddressTextLimit)) return std::string();
            std::string text = readExactly(reader, static_cast<int>(size));
            return isDottedAddress(text) ? text : std::string();
        }
        if (!type.empty() || result <= 0) return std::string();  // a transfer, or the end
    }
    return std::string();
}
