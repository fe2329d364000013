// The sender's side of the private channel: which route a send takes, and the receiver's
// final answer.
#include <ctime>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "core/central_state.h"
#include "private/private_channel.h"
#include "private/private_session.h"
#include "transfer/stop.h"
#include "trust/identity.h"
#include "trust/tls_channel.h"
#include "trust/trusted_list.h"
#include "trust/trusted_store.h"

std::atomic<uint16_t> privatePort{kPrivatePort};
std::atomic<bool> sendOnlyEncrypted{false};

namespace {
std::mutex chosenLock;
std::vector<std::pair<uint32_t, std::string>> chosen;  // newest last

// The name of the trusted computer the user chose at address, if any.
std::optional<std::string> chosenAsTrusted(uint32_t address) {
    std::lock_guard<std::mutex> guard(chosenLock);
    for (auto it = chosen.rbegin(); it != chosen.rend(); ++it)
        if (it->first == address) return it->second;
    return std::nullopt;
}

// A session with the copy at address, or nullptr: nothing answers there privately (no
// listener, no handshake in time, or no identity of ours to show it). *accepted tells
// whether something took the connection on the private port all the same.
TlsSession* openSession(Socket s, uint32_t address, uint16_t transferPort, bool* accepted) {
    const uint16_t port = privatePort;
    *accepted = false;
    if (port == 0 || (transferPort != kTransferPort && port == kPrivatePort)) return nullptr;
    if (loadIdentity() != IdentityState::Ready) return nullptr;
    if (netConnectWithTimeout(s, address, port, kPrivateConnectMilliseconds) != 0) return nullptr;
    *accepted = true;
    return tlsConnect(s);
}
}  // namespace

void noteChosenAsTrusted(uint32_t address, const std::string& name) {
    if (address == 0) return;
    std::lock_guard<std::mutex> guard(chosenLock);
    if (chosen.size() >= kMostTrusted) chosen.erase(chosen.begin());
    chosen.emplace_back(address, name);
}

std::optional<std::string> trustedNameAt(uint32_t address) {
    if (!trustedListReadable()) return std::nullopt;
    const std::optional<TrustedComputer> known = findTrustedByAddress(address);
    return known ? known->name : chosenAsTrusted(address);
}

PrivateChoice choosePrivateRoute(uint32_t address, uint16_t transferPort, Link* link, std::atomic<Socket>& slot,
                                 LineKind request, const std::string& requestText, const std::string& onlyId) {
    PrivateChoice choice;
    // Who is trusted is unknown while the list cannot be read: nobody is sent to in the
    // clear on that account.
    if (!trustedListReadable()) {
        choice.route = PrivateRoute::NotPrivate;
        choice.trouble = trustedStoreTrouble();
        return choice;
    }
    const std::optional<TrustedComputer> known = findTrustedByAddress(address);
    std::optional<std::string> there = known ? known->name : chosenAsTrusted(address);
    // A try again goes to the computer the send reached, wherever its address went since.
    const std::optional<TrustedComputer> pinnedTo = onlyId.empty() ? std::nullopt : findTrusted(onlyId);
    if (!onlyId.empty()) there = pinnedTo ? pinnedTo->name : std::string();
    const Socket s = netTcpSocket();
    publishTransferSocket(slot, s);  // Stop ends the attempt
    bool accepted = false;
    TlsSession* session = openSession(s, address, transferPort, &accepted);
    Link opened = session ? tlsLink(s, session) : plainLink(s);
    if (session) {
        choice.id = tlsPeerId(session);
        const std::optional<TrustedComputer> trusted = findTrusted(choice.id);
        if (trusted && (onlyId.empty() || choice.id == onlyId)) {
            noteTrustedSeen(choice.id, address, static_cast<int64_t>(time(nullptr)));
            choice.route = PrivateRoute::Private;
            choice.name = trusted->name;
            *link = opened;
            // The request goes ahead of the manifest or text; a failed write fails theirs.
            writePrivateLine(*link, request, requestText);
            return choice;
        }
        linkFinish(opened);
        choice.untrustedCopy = true;
    }
    forgetTransferSocket(slot);
    linkClose(opened);
    // An address is never trust, but a trusted computer's address that answers with
    // another key, or not at all, is not sent to in the clear without the user's say.
    if (there) {
        choice.route = session ? PrivateRoute::KeyChanged : PrivateRoute::NotPrivate;
        choice.name = *there;
        choice.untrustedCopy = false;
    } else if (!session && accepted && !trustedComputers().empty()) {
        // The private port took the connection but gave no session (crowded, cut, or
        // something else answering there): this may be a trusted computer not met at this
        // address yet, which is not sent to in the clear without the user's say.
        choice.route = PrivateRoute::NotPrivate;
    }
    return choice;
}
