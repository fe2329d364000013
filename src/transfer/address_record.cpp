// An address record: the hand-over that discovery's answer sends as a stream's first record.
#include "core/central_state.h"
#include "core/window_port.h"
#include "peers/asked_peers.h"
#include "peers/remembered_peers.h"
#include "resource.h"
#include "transfer/reception.h"
#include "transfer/stop.h"

namespace {
constexpr size_t kAddressLimit = 15;  // characters of a dotted IPv4 address

// Four decimal numbers of 1 to 3 digits, each up to 255, between three dots: nothing else.
bool isDottedAddress(const std::string& text) {
    if (text.size() > kAddressLimit) return false;
    int parts = 0, digits = 0, value = 0;
    for (char c : text) {
        if (c == '.' && digits > 0 && parts < 3) {
            ++parts;
            digits = value = 0;
        } else if (c >= '0' && c <= '9' && digits < 3) {
            ++digits;
            value = value * 10 + (c - '0');
            if (value > 255) return false;
        } else {
            return false;
        }
    }
    return parts == 3 && digits > 0;
}
}  // namespace

// Reads exactly the record's Size bytes, keeping the first ones (up to the block buffer)
// for the address text, so that the stream stays in step whatever Size says.
void receiveAddress(Reception& r, const Record& record) {
    // Only a stream that starts with it is a hand-over; within a transfer it is passed over.
    const bool handOver = r.records == 1;
    if (handOver) r.transfer = false;
    bool valid = false;  // a hand-over whose text is a plain dotted address
    if (record.size > 0) {
        int want = record.size < kHeaderBlockLimit ? static_cast<int>(record.size) : kHeaderBlockLimit;
        int got = 0;
        while (got < want) {
            int n = readContent(r.reader, r.block.data() + got, want - got);
            if (n <= 0) break;
            got += n;
        }
        if (got == want) skipContent(r.reader, record.size - want);
        const std::string text(r.block.data(), static_cast<size_t>(got));
        valid = handOver && record.size >= 7 && isDottedAddress(text.substr(0, text.find('\0')));
    }
    if (!handOver) return;
    if (valid) {
        // An empty field takes the address. One the user already has is replaced only by
        // an answer to a datagram this copy sent moments before: any host may send a record
        // nobody asked for, and the user's next send would go where it says. The
        // connection's own source becomes the recipient, never the text: a handshake
        // proved that address, while the text could name any host (a peer's text names its
        // own address, one we may not reach when it has several).
        if (portGetRecipient().empty() || ((record.flags & 1) && askedLately(r.sender)))
            portSetRecipient(netDotted(r.sender));
        // Remembered only as an answer to this copy's discovery (rememberHandOver asks).
        rememberHandOver(r.sender);
        notePeerHeard(r.sender);
    }
    writeUnlessStopped(cancelRequested, [] { portSetStatusText(IDS_RECIPIENT_RECEIVED); });
}
