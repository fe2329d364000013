// Connections to the transfer port between their arrival and their first bytes, all
// waited for in one loop on the listener's thread, so that a connection that sends
// nothing costs no thread. As it arrives, each is judged by the receive policy:
// - an admitted one waits for its first bytes (a sender writes its header as soon as it
//   is connected) for 5 seconds, or the stall limit if that is shorter, and then for its
//   header block to come whole, read here into memory; only then does it go on to its
//   reception on a thread of its own, so that a connection that trickles or holds a
//   header costs no thread either. One that stays silent, or closes without a byte, is
//   closed here;
// - a refused one is read for a moment, into memory and no further than its first
//   record, to tell an address hand-over (which discovery sends unasked) from a transfer:
//   a refused transfer shows its refusal on the status line, a hand-over (or a connection
//   that sent nothing) is closed without a word. Both are reset: nothing is stored, no
//   recipient is taken.
// At most kMostArrivalsWaiting connections wait, kArrivalsFromOneAddress of them from one
// address; a crowd gives up only its own places (doors/first_bytes.h), so that silent
// connections from a few addresses cannot shut a sender out.
#pragma once
#include <cstddef>

#include "platform/net.h"
#include "transfer/protocol.h"
#include "transfer/receiver.h"

constexpr int kMostArrivalsWaiting = 64;
constexpr int kArrivalsFromOneAddress = 8;
// How long a connection may stay silent after it arrived; the stall limit, if shorter, wins.
constexpr int kFirstByteMilliseconds = 5000;
// How long a refused connection is read to tell what it carries.
constexpr int kRefusedReadMilliseconds = 1000;
// What an admitted connection's header block is read to before its reception starts.
constexpr size_t kArrivalHeadLimit = kHeaderBlockLimit + 2;

// Takes the connections of listener until it is closed (stopListening) and hands each
// one with its first bytes to take, on a thread of its own (closed when none can start).
// Returns 0.
using ArrivalTaker = void (*)(const Arrival& arrival);
int receiveArrivals(Socket listener, ArrivalTaker take);
