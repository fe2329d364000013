// The program's central state shared by all threads. Every item is one byte or one word,
// written by one side and polled by the other; atomics make that explicit. The two
// connection handles are also published and forgotten under Stop's lock (transfer/stop.h).
#pragma once
#include <atomic>

#include "platform/net.h"

// Identifies this running copy in discovery datagrams (1 to 10,000,000).
extern int instanceNumber;
// Hide the main window to the tray at its first paint.
extern std::atomic<bool> startInTray;
// Each direction has its own cancel flag, and each clears only its own, so that a
// reception that starts never undoes a Cancel in the analysis and that Cancel never
// ends a reception. Stop sets both.
// The reception's: set by Stop, cleared when a reception starts.
extern std::atomic<bool> cancelRequested;
// The reception's open question is taken back (a trusted computer came for the reception
// it holds): the question ends unanswered at once. Cleared when a question opens.
extern std::atomic<bool> questionWithdrawn;
// The send's and its selection analysis's: set by Stop and by Cancel in the analysis
// dialog, cleared when a send is prepared.
extern std::atomic<bool> sendCancelRequested;
// A reception is running; only one runs at a time.
extern std::atomic<bool> receiveInProgress;
// A sender thread runs. Send file may be enabled again while one runs (a reception that
// ends first returns the buttons to idle); a second sender would empty the manifest
// under the first, so a click then starts nothing.
extern std::atomic<bool> sendInProgress;
// The connections of the running reception and send; kInvalidSocket when none.
extern std::atomic<Socket> receiveSocket;
extern std::atomic<Socket> sendSocket;

// Draws instanceNumber from a seed (start-up seeds with the tick count).
void drawInstanceNumber(unsigned seed);
