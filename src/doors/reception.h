// The one reception that runs at a time (receiveInProgress), who holds it, and when a
// newcomer may take it. A connection that finds it held is turned away at once, unless:
// - the holder is about to end: the newcomer waits for it (a sender that starts right
//   after another one closed must not fail while the last bytes are still taken);
// - the holder does not progress: a stranger's has read no header past kStartingGrace,
//   or nothing after its header past kStartingGrace either, or it stored less than
//   kFloorBytesPerSecond over the last kFloorWindow (content, and
//   the records of the folders and files it stored), or its content all came and it stays
//   open: then a newcomer that is a real sender (its header whole) shuts the holder's
//   connection down and takes the reception once it is given up;
// - the newcomer is a trusted key's session and the holder is not: a stranger never keeps
//   a trusted computer out.
// A holder below the floor is never taken for one about to end. Newcomers wait in a line
// of a few places, a share of them per address; a trusted computer's comes first, then the
// one whose address tried least in the last minute, so that a crowd that tries again and
// again never stays ahead of a sender that tries once (doors/reception.cpp).
// A holder whose user is being asked is pushed out by a trusted computer only: its question
// is taken back (questionWithdrawn). Against anyone else the question has its own limit.
#pragma once
#include <atomic>
#include <cstdint>

#include "platform/net.h"

constexpr uint32_t kStartingGrace = 2000;
constexpr uint32_t kFloorWindow = 3000;
constexpr int64_t kFloorBytesPerSecond = 8 * 1024;
constexpr int kMostWaitingForReception = 8;  // newcomers waiting for it at once...
constexpr int kWaitingFromOneAddress = 2;    // ...and from one address

struct Newcomer {
    uint32_t source = 0;                               // its address: a share of the waiting places
    const std::atomic<unsigned>* stopCount = nullptr;  // the Stops counted: a Stop ends its wait
    unsigned stops = 0;                                // ...since it arrived
    bool trusted = false;                              // a trusted key's session
    // True once it has shown itself a real sender, waiting at most milliseconds for it;
    // none: it has already (a private offer's manifest was read).
    bool (*shows)(Socket connection, int milliseconds) = nullptr;
    Socket connection = kInvalidSocket;
    // Shuts the holder's published connection down, if it still is: false when not.
    bool (*shut)(Socket holder) = nullptr;
};

// Takes the reception for a newcomer, waiting for it or pushing its holder out as above.
// False: it is turned away.
bool admitReception(const Newcomer& newcomer);
// True while the holder would give the reception up to a waiting sender.
bool receptionYields();
// Takes the reception only when nobody holds it.
bool takeFreeReception();

// The holder's side, from its admission on. reach is the connection a newcomer may shut
// down (kInvalidSocket: none; such a holder is never pushed out).
void holdReception(Socket reach, bool trusted);
void receptionReading(int64_t total);      // its content starts: announced total, or 0
void receptionAddTotal(int64_t more);      // a browser upload's piece announces more
void receptionReceived(int64_t received);  // content so far
void receptionStored(int64_t bytes);       // a folder or file record of bytes stored
void receptionAsking(bool asking);         // its user is asked, or answered
void receptionEnding();                    // past reading
void releaseReception();                   // given up: the next one may take it

// Pushes a stranger's reception out for a trusted computer's that waits for what it holds
// (a name it writes), as a trusted newcomer would: its question is taken back, or its
// connection shut down. False when none runs, or a trusted computer's holds it.
bool pushStrangerOut(bool (*shut)(Socket holder));

// True while a stranger holds the one reception with its user's question open: a trusted
// computer that comes takes the question back and the reception with it.
bool strangerAsking();
