#include "discovery/discovery.h"

#include <atomic>
#include <climits>
#include <cstdio>
#include <memory>

#include "core/central_state.h"
#include "core/text_routines.h"
#include "core/window_port.h"
#include "discovery/hand_over.h"
#include "discovery/own_address.h"
#include "platform/adapters.h"
#include "platform/multicast.h"
#include "platform/threads.h"

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
    std::string localText;
    DiscoverySettings settings;
    std::atomic<bool> stopped{false};
    ~DiscoveryEntry() { netClose(socket); }
};

// Written only by startDiscoveryOn and stopDiscovery, read by sendDiscoveryDatagram:
// all on the start-up and window threads, one after the other.
std::vector<std::shared_ptr<DiscoveryEntry>> discoveryTable;
std::atomic<int> runningReceivers{0};

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

DiscoveryAsk judgeDiscoveryDatagram(const char* bytes, int length) {
    DiscoveryFields f = parseDiscoveryDatagram(bytes, length);
    if (f.number <= 0 || f.number == instanceNumber || f.tag != kDiscoveryTag) return DiscoveryAsk::Nothing;
    if (f.kind == kNotifyKind) return DiscoveryAsk::Notify;
    if (f.kind == kRequestKind) return DiscoveryAsk::Request;
    return DiscoveryAsk::Nothing;
}

void answerDiscoveryDatagram(DiscoveryAsk ask, const std::string& sender, uint16_t handOverPort) {
    if (ask == DiscoveryAsk::Notify) {
        if (portGetRecipient().empty()) portSetRecipient(sender);
        handOverAddress(sender, false, handOverPort);
    } else if (ask == DiscoveryAsk::Request) {
        portSetRecipient(sender);
        handOverAddress(sender, true, handOverPort);
    }
}

namespace {
// One adapter's receive thread. Ends when discovery stops or a receive fails; an
// over-long datagram arrives cut to 45 bytes and is judged like any other.
void discoveryReceiveLoop(void* cell) {
    std::shared_ptr<DiscoveryEntry> entry = *static_cast<std::shared_ptr<DiscoveryEntry>*>(cell);
    delete static_cast<std::shared_ptr<DiscoveryEntry>*>(cell);
    char buffer[kDiscoveryDatagramLength + 1];
    while (!entry->stopped) {
        uint32_t from = 0;
        int n = netRecvFrom(entry->socket, buffer, kDiscoveryDatagramLength, &from);
        if (entry->stopped) break;
        if (n < 0) {
            if (netLastErrorWasTimeout()) continue;
            break;
        }
        DiscoveryAsk ask = judgeDiscoveryDatagram(buffer, n);
        if (ask == DiscoveryAsk::Nothing) continue;
        std::string sender = netDotted(from);
        if (entry->settings.observer) entry->settings.observer(ask, sender);
        if (entry->settings.answer) answerDiscoveryDatagram(ask, sender, entry->settings.handOverPort);
    }
    entry.reset();  // may close the socket
    --runningReceivers;
}

// The set-up steps of one adapter; nullptr after printing the failing step.
std::shared_ptr<DiscoveryEntry> openDiscoverySocket(const std::string& adapter, const DiscoverySettings& settings) {
    const char* a = adapter.c_str();
    auto entry = std::make_shared<DiscoveryEntry>();
    entry->group = settings.group;
    entry->localText = adapter;
    entry->settings = settings;
    if (!netParseDotted(adapter, &entry->local)) {
        printDiagnostic("Bind error (%d) on %s", -1, a);
        return nullptr;
    }
    entry->socket = netUdpSocket();
    if (entry->socket == kInvalidSocket) {
        printDiagnostic("Socket error (%d) on %s", netLastError(), a);
        return nullptr;
    }
    int rc;
    if ((rc = netSetReuseAddress(entry->socket)) != 0) {
        printDiagnostic("Reuse address error (%d) on %s", rc, a);
        return nullptr;
    }
    if ((rc = netBindForGroup(entry->socket, settings.group, entry->local, settings.port)) != 0) {
        printDiagnostic("Bind error (%d) on %s", rc, a);
        return nullptr;
    }
    if ((rc = netJoinGroup(entry->socket, settings.group, entry->local)) != 0) {
        printDiagnostic("Add membership error (%d) on %s", rc, a);
        return nullptr;
    }
    if ((rc = netSetMulticastTtl(entry->socket, kDiscoveryTtl)) != 0) {
        printDiagnostic("Multicast error (%d) on %s", rc, a);
        return nullptr;
    }
    // Two copies on one host must hear each other; their own datagrams they drop by number.
    netSetMulticastLoop(entry->socket, true);
    netSetReceiveTimeout(entry->socket, kReceivePollMilliseconds);
    return entry;
}
}  // namespace

int startDiscoveryOn(const std::vector<std::string>& adapterAddresses, const DiscoverySettings& settings) {
    int opened = 0;
    for (const std::string& adapter : adapterAddresses) {
        std::shared_ptr<DiscoveryEntry> entry = openDiscoverySocket(adapter, settings);
        if (!entry) continue;
        auto* cell = new std::shared_ptr<DiscoveryEntry>(entry);
        ++runningReceivers;
        if (!startThread(discoveryReceiveLoop, cell)) {
            --runningReceivers;
            delete cell;
            continue;
        }
        discoveryTable.push_back(entry);
        ++opened;
    }
    return opened;
}

void startDiscovery() {
    std::vector<AdapterRecord> adapters;
    if (!fetchAdapterList(&adapters)) return;
    startDiscoveryOn(discoveryAddressesOf(adapters), DiscoverySettings());
}

void stopDiscovery() {
    for (const std::shared_ptr<DiscoveryEntry>& entry : discoveryTable) {
        entry->stopped = true;
        netLeaveGroup(entry->socket, entry->group, entry->local);
        // Wakes a receive blocked on it where the platform allows (Linux); elsewhere the
        // thread sees the stop at its next poll.
        netShutdown(entry->socket);
    }
    discoveryTable.clear();
    for (int waited = 0; runningReceivers > 0 && waited < kStopWaitMilliseconds; waited += 10)
        sleepMilliseconds(10);
}

void sendDiscoveryDatagram(const std::string& kind) {
    std::string datagram = discoveryDatagram(kind, instanceNumber);
    if (datagram.empty()) return;
    for (const std::shared_ptr<DiscoveryEntry>& entry : discoveryTable) {
        if (netSendTo(entry->socket, datagram.data(), kDiscoveryDatagramLength, entry->group,
                      entry->settings.port) < 0)
            printDiagnostic("Sending error (%d) on %s", netLastError(), netDotted(entry->group).c_str());
    }
}

bool discoveryTick() {
    if (!portGetRecipient().empty()) return true;
    sendDiscoveryDatagram(kNotifyKind);
    return false;
}

int discoverySocketCount() { return static_cast<int>(discoveryTable.size()); }
