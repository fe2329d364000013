#include "send/text_send.h"

#include <atomic>
#include <ctime>
#include <optional>

#include "core/peer_text.h"
#include "core/text_routines.h"
#include "core/window_port.h"
#include "history/history.h"
#include "private/private_channel.h"
#include "private/private_framing.h"
#include "private/private_text.h"
#include "resource.h"
#include "transfer/link.h"
#include "transfer/stop.h"
#include "trust/trusted_list.h"

namespace {
// The text's connection, where Stop reaches it beside a send of files that may run too.
std::atomic<Socket> textSocket{kInvalidSocket};

TextSendResult checked(const std::string& text) {
    if (text.empty()) return TextSendResult::Empty;
    if (text.size() > static_cast<size_t>(kMostTextBytes)) return TextSendResult::TooLong;
    return textIsValid(text) ? TextSendResult::Stored : TextSendResult::NotValid;
}

// Over the session that choosePrivateRoute opened with the TEXT line.
TextSendResult overRoute(PrivateRoute route, Link& link, const std::string& text, std::string* reason) {
    if (route == PrivateRoute::KeyChanged) return TextSendResult::KeyChanged;
    if (route == PrivateRoute::Plain) return TextSendResult::NotTrusted;
    if (route != PrivateRoute::Private) return TextSendResult::NoAnswer;
    const TextAnswer answer = sendTextOver(link, text, reason);
    return answer == TextAnswer::Stored    ? TextSendResult::Stored
           : answer == TextAnswer::Refused ? TextSendResult::Refused
                                           : TextSendResult::NoAnswer;
}

// The user is told, and the history keeps, why a text did not go: the receiver's words when
// it refused, else the status text.
void recordSentText(const TextSendEnding& ending, const std::string& text) {
    HistoryEntry entry;
    entry.direction = HistoryDirection::Sent;
    entry.door = HistoryDoor::Text;
    entry.address = ending.address;
    entry.peer = ending.name;
    entry.time = static_cast<int64_t>(time(nullptr));
    entry.outcome = ending.result == TextSendResult::Stored ? HistoryOutcome::Complete : HistoryOutcome::Refused;
    if (ending.result == TextSendResult::Stored) entry.bytes = static_cast<int64_t>(text.size());
    else if (ending.result == TextSendResult::Refused) entry.reason = ending.reason;
    else entry.reason = fillPlaceholders(portText(textSendTextId(ending.result)), ending.name);
    entry.text = text.substr(0, kHistoryMostTextBytes);
    recordHistory(std::move(entry));
}
}  // namespace

TextSendEnding sendText(const std::string& recipient, const std::string& text, uint16_t transferPort) {
    TextSendEnding ending;
    ending.name = recipient;
    ending.result = checked(text);
    if (ending.result != TextSendResult::Stored) return ending;
    uint32_t address = 0;
    if (!netResolve(recipient, &address)) {
        ending.result = TextSendResult::InvalidAddress;
        return ending;
    }
    ending.address = netDotted(address);
    // With no computer trusted, nothing is tried. A computer trusted by its ID alone may
    // not have been met at this address yet: the session shows its key, and the text's
    // line is written only once that key is trusted (choosePrivateRoute).
    const std::optional<std::string> trusted = trustedNameAt(address);
    if (!trusted && (!trustedListReadable() || trustedComputers().empty())) {
        ending.result = TextSendResult::NotTrusted;
        return ending;
    }
    if (trusted) ending.name = *trusted;
    const bool watched = watchTransferSlot(&textSocket);
    Link link;
    const PrivateChoice choice = choosePrivateRoute(address, transferPort, &link, textSocket, LineKind::Text,
                                                    textLengthText(text.size()));
    if (!choice.name.empty()) ending.name = choice.name;
    ending.result = overRoute(choice.route, link, text, &ending.reason);
    if (choice.route == PrivateRoute::Private) {
        forgetTransferSocket(textSocket);
        linkClose(link);
    }
    if (watched) unwatchTransferSlot(&textSocket);
    recordSentText(ending, text);
    return ending;
}

int textSendTextId(TextSendResult result) {
    switch (result) {
        case TextSendResult::Stored: return IDS_TEXT_SENT;
        case TextSendResult::Empty: return IDS_TEXT_EMPTY;
        case TextSendResult::TooLong: return IDS_TEXT_TOO_LONG;
        case TextSendResult::NotValid: return IDS_TEXT_NOT_VALID_HERE;
        case TextSendResult::InvalidAddress: return IDS_TEXT_NO_ADDRESS;
        case TextSendResult::NotTrusted: return IDS_TEXT_NOT_TRUSTED;
        case TextSendResult::KeyChanged: return IDS_SEND_KEY_CHANGED;
        case TextSendResult::Refused: return IDS_TEXT_REFUSED;
        default: return IDS_TEXT_NOT_SENT;
    }
}
