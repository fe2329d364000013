// The Windows program's waiting for another copy to pair with it. Its private listener
// answers a pairing request only while its user waits for one, and only the first request
// that comes then: outside a wait a request ends with nothing shown, and a man in the
// middle cannot abort one pairing and try again against the same wait.
#pragma once
#include <cstdint>

#include "private/private_channel.h"

enum class PairingWaitState {
    Waiting,  // open, no request yet
    Pairing,  // a request took the wait: its pairing runs
    Ended,    // over: the pairing's result, or NoAnswer when none came (time out, cancelled)
};

// Opens a wait of milliseconds, replacing the last one.
void openPairingWait(int milliseconds);
// Ends the wait unless a request took it already.
void closePairingWait();
// The listener's side: true for the first request within an open wait (and never again
// for that wait); *generation tells the wait it took.
bool takePairingWait(unsigned* generation);
// Tells the wait that took a request how its pairing ended, and from which address.
void endPairingWait(unsigned generation, PairResult result, uint32_t address);
// Where the current wait is: its result and the requester's address once Ended, and the
// milliseconds left while Waiting.
PairingWaitState pairingWaitState(PairResult* result, uint32_t* address, int* millisecondsLeft);
