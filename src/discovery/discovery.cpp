#include "discovery/discovery.h"

#include <array>
#include <atomic>
#include <climits>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>

#include "core/central_state.h"
#include "core/text_routines.h"
#include "core/window_port.h"
#include "discovery/hand_over.h"
#include "discovery/own_address.h"
#include "peers/asked_peers.h"
#include "peers/remembered_peers.h"
#include "platform/adapters.h"
#include "platform/multicast.h"
#include "platform/threads.h"
#include "resource.h"

namespace {
constexpr int kFieldLength = 15;
// How often a receive thread looks up from an idle socket to see whether discovery
// stopped (closing a socket does not wake a blocked receive everywhere).
constexpr int kReceivePollMilliseconds = 250;
constexpr int kStopWaitMilliseconds = 1500;  // the promise of the reliability notes

// One adapter's socket. The table and the adapter's receive thread each hold a
// reference, so appending to the table never moves anything a running thread uses;
// the last one to let go closes the socket.
struct DiscoveryEntry {
    Socket socket = kInvalidSocket;
    uint32_t group = 0;
    uint32_t local = 0;
    uint32_t mask = 0;            // the adapter's subnet; 0 for the unicast socket
    bool joined = false;          // false: the socket that takes only unicast datagrams
    unsigned interfaceIndex = 0;  // of the adapter; 0 when the platform does not tell
    std::string localText;
    DiscoverySettings settings;
    std::atomic<bool> stopped{false};
    ~DiscoveryEntry() { netClose(socket); }
};

// Written by startDiscoveryOn and stopDiscovery; read by the senders of datagrams (the
// window's thread, a look-around, a network check) through discoverySnapshot.
std::mutex tableLock;
std::vector<std::shared_ptr<DiscoveryEntry>> discoveryTable;  // one per adapter
std::shared_ptr<DiscoveryEntry> unicastEntry;                 // where group sockets miss unicast (Linux)
std::vector<AdapterOutcome> outcomes;
std::atomic<int> runningReceivers{0};
std::atomic<int> emptyTicks{0};
std::atomic<bool> lookAroundOn{true};

// One datagram reaches a peer both through the group and by unicast (and twice where two
// sockets hear one group): the same bytes from the same source heard again within half a
// second are the same ask, answered once. Datagrams whose bytes differ are two asks, even
// where their numbers read the same; a source gets at most kAsksPerSource answered in that
// half second, however its datagrams vary.
constexpr uint32_t kSameAskMilliseconds = 500;
constexpr int kAsksPerSource = 4;
struct AsksHeard {
    uint32_t since = 0;  // the first answered ask of this half second
    int count = 0;
    std::array<std::string, kAsksPerSource> datagrams;  // as received, at most 45 bytes each
};
std::mutex heardLock;
std::map<uint32_t, AsksHeard> asksHeard;  // by source
constexpr size_t kSourcesHeardLimit = 4096;

// True when this datagram is an ask to answer: not one answered already, and within the
// source's share.
bool newAsk(uint32_t sender, const std::string& datagram) {
    std::lock_guard<std::mutex> guard(heardLock);
    const uint32_t now = tickCount();
    if (asksHeard.size() >= kSourcesHeardLimit && !asksHeard.count(sender)) {
        for (auto i = asksHeard.begin(); i != asksHeard.end();)
            i = now - i->second.since >= kSameAskMilliseconds ? asksHeard.erase(i) : std::next(i);
        if (asksHeard.size() >= kSourcesHeardLimit) asksHeard.clear();  // the hand-over queue still bounds
    }
    AsksHeard& heard = asksHeard[sender];
    if (heard.count == 0 || now - heard.since >= kSameAskMilliseconds) {
        heard = AsksHeard();
        heard.since = now;
    }
    for (int i = 0; i < heard.count; ++i)
        if (heard.datagrams[i] == datagram) return false;
    if (heard.count == kAsksPerSource) return false;
    heard.datagrams[heard.count++] = datagram;
    return true;
}

// atoi: leading white space, one sign, then digits up to the first other byte.
int readDatagramNumber(const std::string& field) {
    size_t i = 0;
    while (i < field.size() && (field[i] == ' ' || (field[i] >= '\t' && field[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < field.size() && (field[i] == '+' || field[i] == '-')) negative = field[i++] == '-';
    long long value = 0;
    for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i)
        if (value <= INT_MAX) value = value * 10 + (field[i] - '0');  // 15 digits stay far inside
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

std::string fieldAt(const std::string& text, size_t start) {
    return start >= text.size() ? std::string() : text.substr(start, kFieldLength);
}
}  // namespace

std::string discoveryDatagram(const std::string& kind, int number) {
    if (kind.size() > kFieldLength) return std::string();
    char bytes[kDiscoveryDatagramLength + 16];
    // The width alone pads with spaces on the left, as "% 15s" does.
    int n = snprintf(bytes, sizeof bytes, "%15s%15s%015d", kDiscoveryTag, kind.c_str(), number);
    if (n != kDiscoveryDatagramLength) return std::string();
    return std::string(bytes, kDiscoveryDatagramLength);
}

DiscoveryFields parseDiscoveryDatagram(const char* bytes, int length) {
    if (length < 0) length = 0;
    if (length > kDiscoveryDatagramLength) length = kDiscoveryDatagramLength;
    std::string text(bytes, static_cast<size_t>(length));
    text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
    DiscoveryFields fields;
    fields.tag = trimField(fieldAt(text, 0));
    fields.kind = trimField(fieldAt(text, kFieldLength));
    fields.number = readDatagramNumber(fieldAt(text, 2 * kFieldLength));
    return fields;
}

DiscoveryAsk judgeDiscoveryDatagram(const char* bytes, int length, int* number) {
    DiscoveryFields f = parseDiscoveryDatagram(bytes, length);
    if (number) *number = f.number;
    if (f.number <= 0 || f.number == instanceNumber || f.tag != kDiscoveryTag) return DiscoveryAsk::Nothing;
    if (f.kind == kNotifyKind) return DiscoveryAsk::Notify;
    if (f.kind == kRequestKind) return DiscoveryAsk::Request;
    return DiscoveryAsk::Nothing;
}

void answerDiscoveryDatagram(DiscoveryAsk ask, uint32_t sender, uint16_t handOverPort) {
    if (ask == DiscoveryAsk::Notify) {
        if (portGetRecipient().empty()) portSetRecipient(netDotted(sender));
        queueHandOver(sender, false, handOverPort);
    } else if (ask == DiscoveryAsk::Request) {
        portSetRecipient(netDotted(sender));
        queueHandOver(sender, true, handOverPort);
    }
}

namespace {
// The chosen adapter a datagram came in through: a group socket's own; for the socket
// that takes unicast, the chosen adapter on the interface it arrived at (the one whose
// subnet holds the sender, where the interface has several). False when it arrived
// through an adapter discovery was not given.
bool arrivalAdapter(const DiscoveryEntry& entry, unsigned arrival, uint32_t from, DiscoverySubnet* adapter) {
    if (entry.joined) {
        *adapter = {entry.local, entry.mask};
        return true;
    }
    bool found = false;
    std::lock_guard<std::mutex> guard(tableLock);
    for (const std::shared_ptr<DiscoveryEntry>& chosen : discoveryTable) {
        if (arrival == 0 || chosen->interfaceIndex != arrival) continue;
        if (!found || (from & chosen->mask) == (chosen->local & chosen->mask)) *adapter = {chosen->local, chosen->mask};
        found = true;
    }
    return found;
}

// A hand-over is a connection this copy opens to whatever address a datagram claims: it
// goes only to the local network of the adapter the datagram came in through, or to a
// peer met before (across a router).
bool answerable(const DiscoverySubnet& adapter, uint32_t from) {
    if ((from & adapter.mask) == (adapter.local & adapter.mask)) return true;
    const std::string dotted = netDotted(from);
    for (const std::string& peer : rememberedPeers())
        if (peer == dotted) return true;
    return false;
}

// One adapter's receive thread. Ends when discovery stops or a receive fails; an
// over-long datagram arrives cut to 45 bytes and is judged like any other. It never
// waits for a peer: hand-overs are queued (hand_over.h).
void discoveryReceiveLoop(void* cell) {
    std::shared_ptr<DiscoveryEntry> entry = *static_cast<std::shared_ptr<DiscoveryEntry>*>(cell);
    delete static_cast<std::shared_ptr<DiscoveryEntry>*>(cell);
    char buffer[kDiscoveryDatagramLength + 1];
    while (!entry->stopped) {
        uint32_t from = 0;
        unsigned arrival = 0;
        int n = netRecvFromOn(entry->socket, buffer, kDiscoveryDatagramLength, &from, &arrival);
        if (entry->stopped) break;
        if (n < 0) {
            if (netLastErrorWasTimeout()) continue;
            break;
        }
        DiscoveryAsk ask = judgeDiscoveryDatagram(buffer, n);
        DiscoverySubnet adapter;
        if (ask == DiscoveryAsk::Nothing || !arrivalAdapter(*entry, arrival, from, &adapter)) continue;
        notePeerHeard(from);
        if (!answerable(adapter, from)) continue;
        if (entry->settings.observer) entry->settings.observer(ask, netDotted(from));
        if (entry->settings.answer && newAsk(from, std::string(buffer, static_cast<size_t>(n))))
            answerDiscoveryDatagram(ask, from, entry->settings.handOverPort);
    }
    entry.reset();  // may close the socket
    --runningReceivers;
}

// Prints a failed set-up step ("Bind error (98) on 10.0.0.5") and keeps it for the
// network check; nullptr for the caller to return.
std::nullptr_t failStep(AdapterOutcome* outcome, const char* step, int code) {
    printDiagnostic("%s error (%d) on %s", step, code, outcome->address.c_str());
    char text[64];
    snprintf(text, sizeof text, "%s error %d", step, code);
    outcome->failure = text;
    outcome->error = code;
    outcome->bindFailed = !strcmp(step, "Bind");
    return nullptr;
}

// The subnet mask the adapter list gives for address; a /24 when it gives none.
uint32_t maskOf(uint32_t address, const std::vector<AdapterRecord>& adapters) {
    for (const AdapterRecord& adapter : adapters) {
        uint32_t a = 0, m = 0;
        if (netParseDotted(adapter.firstAddress, &a) && a == address && netParseDotted(adapter.firstMask, &m) && m != 0)
            return m;
    }
    return 0xFFFFFF00u;
}

// The set-up steps of one adapter; nullptr after printing the failing step.
std::shared_ptr<DiscoveryEntry> openDiscoverySocket(const std::string& adapter, const DiscoverySettings& settings,
                                                    AdapterOutcome* outcome) {
    auto entry = std::make_shared<DiscoveryEntry>();
    entry->group = settings.group;
    entry->localText = adapter;
    entry->settings = settings;
    entry->joined = true;
    if (!netParseDotted(adapter, &entry->local)) return failStep(outcome, "Bind", -1);
    entry->socket = netUdpSocket();
    if (entry->socket == kInvalidSocket) return failStep(outcome, "Socket", netLastError());
    int rc;
    if ((rc = netSetReuseAddress(entry->socket)) != 0) return failStep(outcome, "Reuse address", rc);
    if ((rc = netBindForGroup(entry->socket, settings.group, entry->local, settings.port)) != 0)
        return failStep(outcome, "Bind", rc);
    if ((rc = netJoinGroup(entry->socket, settings.group, entry->local)) != 0)
        return failStep(outcome, "Add membership", rc);
    if ((rc = netSetMulticastTtl(entry->socket, kDiscoveryTtl)) != 0) return failStep(outcome, "Multicast", rc);
    entry->interfaceIndex = netInterfaceIndexOf(entry->local);
    // Two copies on one host must hear each other; their own datagrams they drop by number.
    netSetMulticastLoop(entry->socket, true);
    netSetReceiveTimeout(entry->socket, kReceivePollMilliseconds);
    return entry;
}

// The socket for datagrams sent to this host's own addresses, where the group sockets
// miss them; nullptr after printing why it could not open.
std::shared_ptr<DiscoveryEntry> openUnicastSocket(const DiscoverySettings& settings, AdapterOutcome* outcome) {
    auto entry = std::make_shared<DiscoveryEntry>();
    entry->localText = outcome->address = "0.0.0.0";
    entry->settings = settings;
    entry->socket = netUdpSocket();
    if (entry->socket == kInvalidSocket) return failStep(outcome, "Socket", netLastError());
    int rc;
    if ((rc = netSetReuseAddress(entry->socket)) != 0) return failStep(outcome, "Reuse address", rc);
    if ((rc = netBindForUnicast(entry->socket, settings.port)) != 0) return failStep(outcome, "Bind", rc);
    // It takes what arrives through any interface: each datagram is judged by its arrival.
    if ((rc = netTellArrival(entry->socket)) != 0) return failStep(outcome, "Packet info", rc);
    netSetReceiveTimeout(entry->socket, kReceivePollMilliseconds);
    return entry;
}

bool startReceiver(const std::shared_ptr<DiscoveryEntry>& entry) {
    auto* cell = new std::shared_ptr<DiscoveryEntry>(entry);
    ++runningReceivers;
    if (startThread(discoveryReceiveLoop, cell)) return true;
    --runningReceivers;
    delete cell;
    return false;
}

// The socket a unicast datagram to address leaves from: the unicast one where there is
// one, else the adapter's whose subnet holds the address, else the first adapter's.
std::shared_ptr<DiscoveryEntry> socketTowards(uint32_t address) {
    std::lock_guard<std::mutex> guard(tableLock);
    if (unicastEntry) return unicastEntry;
    for (const std::shared_ptr<DiscoveryEntry>& entry : discoveryTable)
        if ((entry->local & entry->mask) == (address & entry->mask)) return entry;
    return discoveryTable.empty() ? nullptr : discoveryTable.front();
}

void sendOne(const std::shared_ptr<DiscoveryEntry>& entry, const std::string& datagram, uint32_t address) {
    noteAsked(address);  // its answer's hand-over may be remembered
    if (netSendTo(entry->socket, datagram.data(), kDiscoveryDatagramLength, address, entry->settings.port) < 0)
        printDiagnostic("Sending error (%d) on %s", netLastError(), netDotted(address).c_str());
}
}  // namespace

int startDiscoveryOn(const std::vector<std::string>& adapterAddresses, const DiscoverySettings& settings) {
    std::vector<AdapterRecord> adapters;
    fetchAdapterList(&adapters);  // for the subnet masks only
    std::vector<AdapterOutcome> results;
    std::vector<std::shared_ptr<DiscoveryEntry>> opened;
    for (const std::string& adapter : adapterAddresses) {
        AdapterOutcome outcome;
        outcome.address = adapter;
        std::shared_ptr<DiscoveryEntry> entry = openDiscoverySocket(adapter, settings, &outcome);
        if (entry) entry->mask = maskOf(entry->local, adapters);  // before its thread reads it
        if (entry && !startReceiver(entry)) entry = failStep(&outcome, "Thread", -1);
        results.push_back(outcome);
        if (entry) opened.push_back(entry);
    }
    std::shared_ptr<DiscoveryEntry> unicast;
    if (!opened.empty() && netGroupSocketsMissUnicast()) {
        AdapterOutcome outcome;
        unicast = openUnicastSocket(settings, &outcome);
        if (unicast && !startReceiver(unicast)) unicast = failStep(&outcome, "Thread", -1);
        if (!unicast) results.push_back(outcome);  // shown only when it failed
    }
    std::lock_guard<std::mutex> guard(tableLock);
    discoveryTable.insert(discoveryTable.end(), opened.begin(), opened.end());
    unicastEntry = unicast;
    outcomes = results;
    emptyTicks = 0;
    std::lock_guard<std::mutex> heard(heardLock);
    asksHeard.clear();  // a new run answers from scratch
    return static_cast<int>(opened.size());
}

void startDiscovery() {
    std::vector<AdapterRecord> adapters;
    if (!fetchAdapterList(&adapters)) return;
    startDiscoveryOn(discoveryAddressesOf(adapters), DiscoverySettings());
}

void stopDiscovery() {
    std::vector<std::shared_ptr<DiscoveryEntry>> entries;
    {
        std::lock_guard<std::mutex> guard(tableLock);
        entries.swap(discoveryTable);
        if (unicastEntry) entries.push_back(unicastEntry);
        unicastEntry.reset();
    }
    for (const std::shared_ptr<DiscoveryEntry>& entry : entries) {
        entry->stopped = true;
        if (entry->joined) netLeaveGroup(entry->socket, entry->group, entry->local);
        // Wakes a receive blocked on it where the platform allows (Linux); elsewhere the
        // thread sees the stop at its next poll.
        netShutdown(entry->socket);
    }
    entries.clear();
    dropWaitingHandOvers();
    for (int waited = 0; runningReceivers > 0 && waited < kStopWaitMilliseconds; waited += 10) sleepMilliseconds(10);
}

void sendDiscoveryDatagram(const std::string& kind) {
    std::string datagram = discoveryDatagram(kind, instanceNumber);
    if (datagram.empty()) return;
    std::vector<std::shared_ptr<DiscoveryEntry>> entries;
    {
        std::lock_guard<std::mutex> guard(tableLock);
        entries = discoveryTable;
    }
    for (const std::shared_ptr<DiscoveryEntry>& entry : entries) {
        noteAsked(entry->group);
        if (netSendTo(entry->socket, datagram.data(), kDiscoveryDatagramLength, entry->group, entry->settings.port) < 0)
            printDiagnostic("Sending error (%d) on %s", netLastError(), netDotted(entry->group).c_str());
    }
    // The same datagram to the peers met before, for where the group does not pass.
    for (const std::string& peer : rememberedPeers()) sendDiscoveryDatagramTo(kind, peer);
}

void sendDiscoveryDatagramTo(const std::string& kind, const std::string& peer) {
    std::string datagram = discoveryDatagram(kind, instanceNumber);
    uint32_t address = 0;
    if (datagram.empty() || !netParseDotted(peer, &address)) return;
    std::shared_ptr<DiscoveryEntry> entry = socketTowards(address);
    if (entry) sendOne(entry, datagram, address);
}

bool discoveryTick() {
    if (!portGetRecipient().empty()) return true;
    sendDiscoveryDatagram(kNotifyKind);
    int ticks = ++emptyTicks;
    if (lookAroundOn && ticks >= kLookAroundAfterTicks) startLookAround();
    if (ticks == kNobodyFoundTicks) portSetStatusText(IDS_NOBODY_FOUND);
    return false;
}

int discoverySocketCount() {
    std::lock_guard<std::mutex> guard(tableLock);
    return static_cast<int>(discoveryTable.size());
}

std::vector<AdapterOutcome> discoveryOutcomes() {
    std::lock_guard<std::mutex> guard(tableLock);
    return outcomes;
}

void setLookAround(bool on) { lookAroundOn = on; }
bool lookAroundEnabled() { return lookAroundOn; }

std::vector<DiscoverySubnet> discoverySubnets() {
    std::lock_guard<std::mutex> guard(tableLock);
    std::vector<DiscoverySubnet> subnets;
    subnets.reserve(discoveryTable.size());
    for (const std::shared_ptr<DiscoveryEntry>& entry : discoveryTable) subnets.push_back({entry->local, entry->mask});
    return subnets;
}

void sendDiscoveryDatagramFrom(uint32_t adapter, const std::string& datagram, uint32_t address) {
    std::shared_ptr<DiscoveryEntry> chosen;
    {
        std::lock_guard<std::mutex> guard(tableLock);
        for (const std::shared_ptr<DiscoveryEntry>& entry : discoveryTable)
            if (entry->local == adapter) chosen = entry;
    }
    if (chosen) sendOne(chosen, datagram, address);
}
