#include "transfer/text_reception.h"

#include "core/central_state.h"
#include "core/peer_text.h"
#include "core/window_port.h"
#include "doors/reception.h"
#include "platform/threads.h"
#include "policy/receive_policy.h"
#include "resource.h"
#include "transfer/reception.h"
#include "transfer/reception_history.h"
#include "transfer/stop.h"

ReceiveResult admitText(const TextSender& from, const std::string& text, int* refusal) {
    const uint32_t sender = from.address;
    const bool byBrowser = from.trustedName.empty();
    const int64_t size = static_cast<int64_t>(text.size());
    const unsigned stops = stopCount;
    const std::string words = text.substr(0, kHistoryMostTextBytes);
    const Verdict verdict = receiveVerdict(sender, tickCount(), byBrowser, !byBrowser);
    if (refuses(verdict)) {
        showRefusal(verdict, sender);
        recordRefusal(HistoryDoor::Text, sender, *refusal = refusalText(verdict), words, from.trustedName);
        return ReceiveResult::Refused;
    }
    if (verdict == Verdict::Allowed) return ReceiveResult::Complete;
    if (receivingEnded || !takeFreeReception()) return ReceiveResult::TurnedAway;
    ++receptionsRunning;                   // the program's end stops the question and waits for it
    holdReception(kInvalidSocket, false);  // a connection arriving meanwhile is turned away at once
    int answer = claimReception(stops, kInvalidSocket) ? askUser(sender, size, byBrowser) : kAskStopped;
    forgetTransferSocket(receiveSocket);
    releaseReception();
    --receptionsRunning;
    if (answer > 0) {
        portShowRefusal(answer, netDotted(sender));
        recordRefusal(HistoryDoor::Text, sender, *refusal = answer, words, from.trustedName);
    }
    return answer == 0 ? ReceiveResult::Complete : answer > 0 ? ReceiveResult::Refused : ReceiveResult::Cancelled;
}

void showAdmittedText(const TextSender& from, const std::string& text) {
    const bool trusted = !from.trustedName.empty();
    portShowText(trusted ? from.trustedName : netDotted(from.address), text);
    HistoryEntry entry = receivedEntry(HistoryDoor::Text, from.address, HistoryOutcome::Complete);
    if (trusted) entry.peer = from.trustedName;
    entry.bytes = static_cast<int64_t>(text.size());
    entry.text = text.substr(0, kHistoryMostTextBytes);
    recordReceived(std::move(entry), from.address, 0);
}

int receiveTrustedText(const TextSender& from, const std::string& text) {
    if (!textIsValid(text)) {
        portShowRefusal(IDS_TEXT_NOT_VALID, netDotted(from.address));
        recordRefusal(HistoryDoor::Text, from.address, IDS_TEXT_NOT_VALID, std::string(), from.trustedName);
        return IDS_TEXT_NOT_VALID;
    }
    int refusal = IDS_CANCELED;
    switch (admitText(from, text, &refusal)) {
        case ReceiveResult::Complete: showAdmittedText(from, text); return 0;
        case ReceiveResult::TurnedAway: return IDS_TEXT_BUSY;
        default: return refusal;
    }
}

int refuseStrangerText(uint32_t sender) {
    showRefusal(Verdict::NotTrusted, sender);
    recordRefusal(HistoryDoor::Text, sender, IDS_REFUSED_NOT_TRUSTED);
    return IDS_REFUSED_NOT_TRUSTED;
}
