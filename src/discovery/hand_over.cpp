#include "discovery/hand_over.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <vector>

#include "core/window_port.h"
#include "peers/remembered_peers.h"
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
// Which hand-overs go first: those to peers met before, then fresh requests (a user's
// click), then the notifies anyone on the link can send under any source.
enum Rank { kKnownPeer = 0, kFreshRequest = 1, kFreshNotify = 2 };

struct WaitingHandOver {
    uint32_t peer = 0;
    bool replace = false;
    uint16_t port = 0;
    uint32_t queuedAt = 0;
    int rank = kFreshNotify;
};

// Never destroyed: a hand-over thread may still be connecting while the process exits.
struct HandOverQueue {
    std::mutex lock;
    std::condition_variable changed;
    std::deque<WaitingHandOver> waiting;  // oldest first
    std::multiset<uint32_t> connecting;   // peers with a hand-over running
    int freshRunning = 0;                 // of those, hand-overs to peers not met before
    int workers = 0;
    uint32_t secondStart = 0;  // the per-second budget: this second's starts
    int startedThisSecond = 0;
    std::set<uint32_t> answered;            // peers a hand-over reached
    std::map<uint32_t, uint32_t> setAside;  // peers no hand-over reached, and when
};
HandOverQueue& queue = *new HandOverQueue;

// True while peer's last hand-over failed to connect less than kHandOverSetAsideMilliseconds ago.
bool setAside(uint32_t peer, uint32_t now) {
    auto found = queue.setAside.find(peer);
    if (found == queue.setAside.end()) return false;
    if (now - found->second < kHandOverSetAsideMilliseconds) return true;
    queue.setAside.erase(found);
    return false;
}

// Keeps what a hand-over's connect showed about its peer, within the tables' bounds.
void noteOutcome(uint32_t peer, bool reached, uint32_t now) {
    if (reached) {
        queue.setAside.erase(peer);
        if (queue.answered.size() < kHandOverPeersLimit) queue.answered.insert(peer);
        return;
    }
    queue.answered.erase(peer);
    if (queue.setAside.size() >= kHandOverPeersLimit)
        for (auto i = queue.setAside.begin(); i != queue.setAside.end();)
            i = now - i->second >= kHandOverSetAsideMilliseconds ? queue.setAside.erase(i) : std::next(i);
    if (queue.setAside.size() < kHandOverPeersLimit) queue.setAside[peer] = now;
}

// The next hand-over to run: of the best rank that may run, the peer queued most
// recently among those without a running one, and of its hand-overs the oldest. -1 when
// none may run now. Peers not met before hold at most kHandOverFreshThreads threads.
int nextHandOver() {
    int best = -1;
    for (int i = static_cast<int>(queue.waiting.size()) - 1; i >= 0; --i) {
        const WaitingHandOver& job = queue.waiting[static_cast<size_t>(i)];
        if (queue.connecting.count(job.peer)) continue;
        if (job.rank != kKnownPeer && queue.freshRunning >= kHandOverFreshThreads) continue;
        if (best < 0 || job.rank < queue.waiting[static_cast<size_t>(best)].rank) best = i;
    }
    if (best < 0) return -1;
    for (int j = 0; j <= best; ++j)
        if (queue.waiting[static_cast<size_t>(j)].peer == queue.waiting[static_cast<size_t>(best)].peer) return j;
    return best;
}

// How many of the waiting hand-overs could start now, each on a thread of its own.
int runnableCount() {
    std::set<uint32_t> peers;
    int fresh = queue.freshRunning, count = 0;
    for (const WaitingHandOver& job : queue.waiting) {
        if (queue.connecting.count(job.peer) || !peers.insert(job.peer).second) continue;
        if (job.rank != kKnownPeer && fresh++ >= kHandOverFreshThreads) continue;
        ++count;
    }
    return count;
}

void dropStale(uint32_t now) {
    while (!queue.waiting.empty() && now - queue.waiting.front().queuedAt > kHandOverWaitLimitMilliseconds)
        queue.waiting.pop_front();
}

// When the queue is over full, the oldest of the worst rank goes.
void dropOneWaiting() {
    size_t worst = 0;
    for (size_t i = 1; i < queue.waiting.size(); ++i)
        if (queue.waiting[i].rank > queue.waiting[worst].rank) worst = i;
    queue.waiting.erase(queue.waiting.begin() + static_cast<std::ptrdiff_t>(worst));
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
        const bool fresh = job.rank != kKnownPeer;
        queue.freshRunning += fresh ? 1 : 0;
        lock.unlock();
        bool reached = handOverAddress(netDotted(job.peer), job.replace, job.port) == 0;
        lock.lock();
        noteOutcome(job.peer, reached, tickCount());
        queue.freshRunning -= fresh ? 1 : 0;
        queue.connecting.erase(running);
        queue.changed.notify_all();
    }
    --queue.workers;
}

bool isRemembered(uint32_t peer) {
    const std::string dotted = netDotted(peer);
    for (const std::string& remembered : rememberedPeers())
        if (remembered == dotted) return true;
    return false;
}
}  // namespace

void queueHandOver(uint32_t peer, bool replace, uint16_t port) {
    const bool remembered = isRemembered(peer);
    std::lock_guard<std::mutex> guard(queue.lock);
    const uint32_t now = tickCount();
    if (setAside(peer, now)) return;  // a source that took no connection lately gets none
    int rank = remembered || queue.answered.count(peer) ? kKnownPeer : replace ? kFreshRequest : kFreshNotify;
    queue.waiting.push_back({peer, replace, port, now, rank});
    if (queue.waiting.size() > static_cast<size_t>(kHandOversWaitingLimit)) dropOneWaiting();
    // A thread more while fewer are free than waiting ones may run now (a thread that
    // found nothing to run would end at once, and a flood would start one per datagram).
    if (queue.workers < kHandOverThreads &&
        queue.workers - static_cast<int>(queue.connecting.size()) < runnableCount()) {
        ++queue.workers;
        if (!startThread(handOverWorker, nullptr)) --queue.workers;
    }
    queue.changed.notify_one();
}

void forgetHandOverFailures() {
    {
        std::lock_guard<std::mutex> guard(failureLock);
        failedPeers.clear();
    }
    std::lock_guard<std::mutex> guard(queue.lock);
    queue.setAside.clear();
    queue.answered.clear();
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

namespace {
// A connection read against one deadline for all its receives, so that a peer sending a
// byte now and then cannot hold the reader past it.
struct DeadlineSource {
    Socket socket = kInvalidSocket;
    uint32_t start = 0;
};

int receiveBeforeDeadline(void* source, char* buffer, int size) {
    auto* from = static_cast<DeadlineSource*>(source);
    const uint32_t spent = tickCount() - from->start;
    if (spent >= static_cast<uint32_t>(kHandedOverReadMilliseconds)) return kReceiveTimedOut;
    netSetReceiveTimeout(from->socket, kHandedOverReadMilliseconds - static_cast<int>(spent));
    int n = netRecv(from->socket, buffer, size);
    return n < 0 && netLastErrorWasTimeout() ? kReceiveTimedOut : n;
}
}  // namespace

std::string readHandedOverAddress(Socket connection) {
    constexpr int kBlockLimit = 8;  // an address stream has three blocks; more is not one
    DeadlineSource source{connection, tickCount()};
    StreamReader reader;
    startReader(reader, receiveBeforeDeadline, &source);
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
