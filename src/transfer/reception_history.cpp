#include "transfer/reception_history.h"

#include <algorithm>
#include <ctime>
#include <mutex>

#include "core/text_routines.h"
#include "core/window_port.h"
#include "platform/net.h"
#include "resource.h"
#include "transfer/existing_files.h"
#include "transfer/partial_files.h"
#include "transfer/reception.h"

namespace {
// The last refusal recorded of each of the latest senders, until something is received
// from that sender. Small and bounded: a host with many addresses only makes more entries,
// which the history keeps under the bound of its noise.
constexpr size_t kRefusersKept = 16;
struct Refusal {
    uint32_t sender = 0;
    int text = 0;
    int64_t at = 0;
};
std::mutex refusalLock;
Refusal refusals[kRefusersKept];

// The sender's slot, else the one noted longest ago.
Refusal& refusalOf(uint32_t sender) {
    Refusal* oldest = &refusals[0];
    for (Refusal& refusal : refusals) {
        if (refusal.sender == sender) return refusal;
        if (refusal.at < oldest->at) oldest = &refusal;
    }
    return *oldest;
}

// Notes what is recorded now; true when it repeats the sender's last refusal.
bool repeatsRefusal(uint32_t sender, int textId, int64_t now) {
    std::lock_guard<std::mutex> guard(refusalLock);
    Refusal& last = refusalOf(sender);
    const bool repeated = textId != 0 && sender == last.sender && textId == last.text && now >= last.at &&
                          now - last.at < kRefusalQuietSeconds;
    last = {sender, textId, now};
    return repeated;
}
}  // namespace

void addHistoryName(std::vector<std::string>& names, const std::string& name) {
    if (name.empty() || names.size() >= kHistoryMostNames) return;
    // Files of one folder come together: the last name is the usual match.
    if (!names.empty() && names.back() == name) return;
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
}

std::string shownText(int textId, uint32_t sender) { return fillPlaceholders(portText(textId), netDotted(sender)); }

HistoryEntry receivedEntry(HistoryDoor door, uint32_t sender, HistoryOutcome outcome) {
    HistoryEntry entry;
    entry.direction = HistoryDirection::Received;
    entry.door = door;
    entry.address = netDotted(sender);
    entry.peer = entry.address;
    entry.outcome = outcome;
    return entry;
}

void recordReceived(HistoryEntry entry, uint32_t sender, int reason) {
    entry.time = static_cast<int64_t>(std::time(nullptr));
    const bool refusal = entry.outcome == HistoryOutcome::Refused &&
                         (entry.door != HistoryDoor::Text || entry.text.empty());
    if (repeatsRefusal(sender, refusal ? reason : 0, entry.time)) return;
    recordHistory(std::move(entry));
}

void recordRefusal(HistoryDoor door, uint32_t sender, int textId, const std::string& text, const std::string& peer) {
    HistoryEntry entry = receivedEntry(door, sender, HistoryOutcome::Refused);
    if (!peer.empty()) entry.peer = peer;
    entry.reason = shownText(textId, sender);
    entry.text = text;
    recordReceived(std::move(entry), sender, textId);
}

namespace {
// A private offer's tally beyond "complete" (resumed, skipped, refused files), "" for none.
std::string offerTally(const Reception& r) {
    if (!r.verified) return std::string();
    const VerifiedReception& v = *r.verified;
    return tallyText(TransferTally{v.stored, v.resumed, v.skipped, v.refused, true}, portText);
}
}  // namespace

// The reception's entry in the history. A connection that offered nothing to store (turned
// away while another reception ran, silent, an address hand-over, or a header without a
// folder or file, which nobody was asked about) leaves none; one refused before anything
// was written leaves one without names.
void recordReception(const Reception& r, const ReceiveTerms& terms, ReceiveResult result, int refusal) {
    HistoryOutcome outcome = HistoryOutcome::Refused;
    int reason = refusal;
    switch (result) {
        case ReceiveResult::Complete: outcome = HistoryOutcome::Complete; break;
        case ReceiveResult::Incomplete:
            outcome = HistoryOutcome::Incomplete;
            reason = IDS_RECEIVING_INCOMPLETE;
            break;
        case ReceiveResult::Cancelled:
            outcome = HistoryOutcome::Canceled;
            reason = IDS_CANCELED;
            break;
        case ReceiveResult::Refused:
        case ReceiveResult::NoRoom: break;
        case ReceiveResult::WrongVersion: reason = IDS_OLD_VERSION; break;
        case ReceiveResult::NoStorePath: reason = IDS_NO_STORE_PATH; break;
        default: return;
    }
    HistoryEntry entry = receivedEntry(terms.door, terms.sender, outcome);
    if (!terms.trustedName.empty()) entry.peer = terms.trustedName;
    entry.names = r.names;
    entry.files = r.filesTaken;
    entry.bytes = r.bytes;
    entry.folder = r.store;
    entry.reason = reason ? shownText(reason, terms.sender) : std::string();
    for (const std::string& more : {offerTally(r), existingEndsText(r.existing)})
        if (!more.empty()) entry.reason += (entry.reason.empty() ? "" : " ") + more;
    recordReceived(std::move(entry), terms.sender, reason);
}
