// The receiver: reads one accepted connection from start to end on the calling thread,
// writes the folders and files it describes under the store path, and reports through
// the window port. Only one reception runs at a time; a connection that arrives
// meanwhile is closed at once, unless the running reception is about to end: then it
// waits for that end, about two seconds at most. A connection that sends nothing within
// a few seconds is closed before it may take the admission. The receive policy is asked
// as a connection arrives (receiving paused, a sender not listed), and, when the user
// wants to be asked, before the first record that would store something; a transfer
// larger than the store's free space is refused after its header. The connection is closed
// in order only when everything on it was taken; otherwise with a reset, which is how the
// sender learns that its transfer did not arrive. At most one of the receiver's error
// boxes is open at a time; a connection that would raise another is only closed.
//
// The listener starts it on a thread of its own for every accepted connection:
//     startThread(receiverThread, reinterpret_cast<void*>(connection));
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>

#include "platform/net.h"
#include "transfer/protocol.h"

// A peer that sends no byte for this long ends its reception (as incomplete).
constexpr int kReceiveStallMilliseconds = 60000;
// The stall limit in use; tests shorten it.
extern std::atomic<int> receiveStallMilliseconds;

enum class ReceiveResult {
    TurnedAway,    // another reception was running (and not about to end): closed, nothing shown
    NoStorePath,   // error box 123
    WrongVersion,  // error box 122
    Complete,      // "Receiving complete."
    Incomplete,    // "Some files were not received."
    Cancelled,     // Stop: no result text
    AddressTaken,  // the connection carried an address record: no result text
    NothingSent,   // closed or silent before its first byte: status cleared, nothing shown
    Refused,       // the receive policy refused it (paused, not listed, declined): status text
    NoRoom,        // its Total does not fit the store folder's volume: status text
};

// What a transfer leaves free on the store folder's volume at the least, for the folder
// entries its records add: one whose Total would take more is refused before anything
// is written.
constexpr int64_t kFreeSpaceReserve = 64 * 1024;

// Who may send is settled as a connection arrives: when the receive policy refuses sender
// (receiving paused, not listed, declined a moment ago), turnAway closes the connection,
// the status line tells why, and the result is true.
bool refusedOnArrival(uint32_t sender, const std::function<void()>& turnAway);

// The whole reception of one connection, which it owns and closes.
ReceiveResult receiveConnection(Socket connection);

// What a reception that does not come from port 2904 may differ in.
struct ReceiveTerms {
    uint32_t sender = 0;    // the address a question names
    bool accepted = false;  // the user already said yes to this sender: no question
    bool dropCut = false;   // a new file that did not arrive whole is removed, not kept
};
// The same reception over a stream read through reader (an in-memory stream in tests and
// fuzzing, a browser's upload). connection is the handle that Stop shuts down and that is
// closed at the end; kInvalidSocket when the stream has none.
ReceiveResult receiveStream(StreamReader reader, Socket connection, const ReceiveTerms& terms = {});

// Thread procedure: the connection handle travels by value inside the pointer.
void receiverThread(void* connection);

// The program is closing: no connection is admitted from now on, a running reception is
// stopped, and the call waits up to milliseconds for every reception to have ended (its
// partial files removed or kept as a Stop leaves them). True when none runs any more.
bool endReceiving(int milliseconds);

// The running (or last) reception's content progress, for a front end that shows more
// than the window does. Written by the receiving thread between its port calls.
struct ReceiveProgress {
    int64_t received = 0;    // content bytes received for all file records
    int64_t total = 0;       // the announced "Total"
    uint32_t startTick = 0;  // tickCount() when the connection header was accepted
};
ReceiveProgress receiveProgress();

// received * 100 / total truncated, clamped to 0..100; 0 while total is 0 or negative.
int receivePercent(int64_t received, int64_t total);
// The average speed in KiB/s: (received / 1024) / whole elapsed seconds (at least 1).
int64_t receiveRate(int64_t received, uint32_t elapsedMilliseconds);
