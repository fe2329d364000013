// Connections to browser access between their arrival and their first bytes, all waited
// for in one loop on the listening thread: one that sends nothing takes neither a thread
// nor one of the slots of the connections that run, so that silent connections, from any
// address, cannot shut browsers out. A browser sends its request as soon as it is
// connected; a connection that stays silent for kRequestLineMilliseconds, or closes
// without a byte, is closed here. At most kMostArrivalsWaitingForBytes wait, and
// kArrivalsForBytesFromOneAddress from one address: one more from an address gives up
// that address's oldest place (doors/first_bytes.h), so that a flood pushes out only its own.
#pragma once
#include "platform/net.h"

constexpr int kMostArrivalsWaitingForBytes = 64;
constexpr int kArrivalsForBytesFromOneAddress = 8;

// Takes the connections of listener, and hands each one that has sent bytes to take, on
// the calling thread, until ended() says so (it is asked every few tenths of a second at
// least); then closes the connections still waiting and listener. Only this thread closes
// the listener: a socket closed under another thread's wait is not safe everywhere.
void takeConnectionsThatSpeak(Socket listener, void (*take)(Socket connection), bool (*ended)(Socket listener));
