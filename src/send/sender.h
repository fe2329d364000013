// The sender: one transfer from the analysed selection to the recipient, on the thread
// that calls it, talking to the window only through the window port.
//
// The Windows program's sender thread:
//     prepareSend();
//     DialogBoxParamW(... dialog 105 ...);   // its thread calls analyzeSelection()
//     runSend(recipient read from control 103, kTransferPort);
// The command-line peer calls analyzeSelection() directly in between.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "platform/net.h"

// A receiver that takes no byte for this long ends the send as incomplete.
constexpr int kSendStallMilliseconds = 60000;

enum class SendResult {
    Complete,         // "Transfer complete."
    Incomplete,       // "Some files may not sent.": files of this side were left out or cut
    NotTaken,         // "Some files may not sent.": the receiver turned the connection away,
                      // reset it, or did not close it in order after the last byte
    Cancelled,        // Stop, or Cancel in the analysis: no result text
    NothingSelected,  // error box 134
    InvalidAddress,   // error box "Invalid address %s\n"
    ConnectError,     // error box "Connect error %d\n"
    KeyChanged,       // a trusted computer's address answered with another key: nothing sent
    NotPrivate,       // a trusted computer's address gave no private answer: nothing sent
    NotEncrypted,     // only encrypted sends are allowed (sendOnlyEncrypted), and this one
                      // would have gone in the clear: nothing sent
};

// Shows "Preparing...", empties the manifest, the directory list and the total, and
// clears sendCancelRequested. The selection analysis runs next.
void prepareSend();

// Everything after the analysis: nothing when sendCancelRequested is set (the status keeps
// "Preparing..." and the buttons stay as they are); otherwise checks the selection,
// connects to recipient (dotted address or host name) on port, streams the directory
// records and files, shows the result and returns the buttons to idle. stallMilliseconds
// is how long a send may make no progress before the transfer ends as incomplete.
// Unless plain, a recipient that answers on the private channel (private/private_channel.h)
// with a trusted key gets the same records there, encrypted; a trusted computer that does
// not, or answers with another key, gets nothing (KeyChanged, NotPrivate). A plain send
// tells the window port so (portSetInTheClear) before its first status text. With
// sendOnlyEncrypted, plain is ignored and nothing goes in the clear (NotEncrypted).
SendResult runSend(const std::string& recipient, uint16_t port, int stallMilliseconds = kSendStallMilliseconds,
                   bool plain = false);

// The running (or last) transfer's content progress, for a front end that shows speed or
// the time left. Written by the sending thread between its calls to the window port;
// read it from a window port function called by that thread.
struct SendProgress {
    int64_t sent = 0;        // content bytes the connection has taken
    int64_t total = 0;       // the announced total
    uint32_t startTick = 0;  // tickCount() when file content began
};
SendProgress sendProgress();

// One recipient of a send to several (send/send_many.h), filled by the thread that
// sends to it. Its thread writes the atomics as it goes and the texts before it sets
// ended; others read the texts only once ended is set.
struct RecipientSend {
    std::string recipient;                       // as the user gave it
    std::atomic<Socket> socket{kInvalidSocket};  // where Stop can shut it down
    std::atomic<int64_t> sent{0}, total{0};
    std::atomic<bool> started{false};  // content is going out
    std::atomic<bool> ended{false};
    // Set by the send to several before it shuts the connection down: the recipient fell
    // below the floor of progress (send/progress_floor.h) and ends as not taken.
    std::atomic<bool> givenUp{false};
    SendResult result = SendResult::Cancelled;
    std::string reason;   // the text the user is told when it did not take everything
    std::string address;  // the dotted address it resolved to, when it did
    std::string trusted;  // the trusted computer's name, when it went privately
    // Set before its thread starts when the send to several looked the recipient up
    // already: whether it resolved, and to which address.
    bool looked = false, found = false;
    uint32_t resolved = 0;
};

// The send to one recipient of several, on the calling thread: the same connection, route,
// records and ending as runSend, but nothing goes to the window port; its progress, result
// and texts go to *one. The caller has checked the selection and set the buttons.
SendResult runSendTo(RecipientSend* one, uint16_t port, int stallMilliseconds, bool plain);
