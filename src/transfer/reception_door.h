// The receiver's side of the doors' admission (doors/reception.h): how a connection on the
// transfer port or a private offer asks for the one reception, and the web server's check
// of the receive policy as an upload's request arrives.
#pragma once
#include <cstdint>
#include <functional>

#include "history/history.h"
#include "platform/net.h"

// What asks for the one reception: connection (kInvalidSocket: a stream without one),
// whose reception reach is what a newcomer may shut down to push it out.
struct ReceptionAsk {
    Socket connection = kInvalidSocket;
    Socket reach = kInvalidSocket;
    unsigned stops = 0;       // the Stops counted as it arrived
    uint32_t source = 0;      // its address
    bool trusted = false;     // a trusted key's session
    bool headerCame = false;  // its header was read whole already
};
// Takes the reception for it. A sender on the transfer port may push a holder out only
// once its own header has arrived whole. False: turned away.
bool admitConnection(const ReceptionAsk& ask);

// True once a header block has arrived whole on connection (left in place for the
// reception to read), or as much as a block may hold; false when it is closed or has not
// within milliseconds.
bool headerArrived(Socket connection, int milliseconds);

// The web server's check as an upload's request arrives: when the receive policy refuses
// sender, turnAway closes, the status line tells why, the history records the refusal
// (through door: an upload or a text), and the result is true. (An upload's reception
// judges the policy itself; this only answers before its body is read.)
bool refusedOnArrival(uint32_t sender, HistoryDoor door, const std::function<void()>& turnAway);
