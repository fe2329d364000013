// Stop (the main window's button 108, the command-line peer's interrupt): ends the
// running reception and send, and keeps "Canceled." on the status line.
#pragma once
#include <atomic>

#include "platform/net.h"

// Sets the cancel flags of both directions and shuts the published connections down.
// Their owner threads, whose receives and sends then fail, close their own handles and
// return the buttons to idle. The bar goes to 0 and the status line shows "Canceled.",
// also when nothing is running. shutdown is netShutdown; tests watch the handles with it
// (a reception on port 2904 is shut for reading only: see claimReception).
void stopTransfers(void (*shutdown)(Socket) = netShutdown);
// How many Stops there have been. A connection that arrived before a Stop is turned away
// even when it wins the admission after it (it waited for an ending reception).
extern std::atomic<unsigned> stopCount;

// A reception's half of the Stop handshake, in one step under Stop's lock: when there has
// been no Stop since its connection arrived (stopCount is still stopsAtArrival), its
// cancel flag is cleared and connection is published where Stop reaches it, and the
// answer is true. So a Stop lands either before this step, and the reception does not
// start, or after it, and the reception sees the flag and its connection shut down.
// plainWire: a sender on port 2904, which reads an orderly end as all it sent taken: its
// connection is shut for reading only (the receiver never writes to it), and its thread
// ends it; a Stop also makes that end a reset, should the process end first.
bool claimReception(unsigned stopsAtArrival, Socket connection, bool plainWire = false);

// A side reception's half of the Stop handshake (doors/side_places.h), as claimReception
// is the one reception's: when there has been no Stop since its stream arrived, its own
// cancel flag is cleared and connection published in its slot, and Stop sets that flag and
// shuts that connection down until releaseSideReception. A side reception that starts so
// never undoes a Stop meant for the others. place: its side place.
bool claimSideReception(int place, unsigned stopsAtArrival, std::atomic<bool>* cancel, std::atomic<Socket>* slot,
                        Socket connection);
void releaseSideReception(int place);
// Stops the side reception in place alone (its row's Stop), as Stop stops every one.
void stopSideReception(int place);

// Shuts the running reception's connection down when it is still connection (published
// by claimReception): a waiting sender pushes out a reception that does not progress.
// False when another one, or none, runs now.
bool shutReception(Socket connection);

// Where Stop can reach a transfer's connection (receiveSocket, sendSocket). Stop shuts
// connections down only while it holds the lock these take, so once forgetTransferSocket
// has returned, its owner may close the handle: no Stop can reach it any more, however
// soon the system hands the same value to another socket.
void publishTransferSocket(std::atomic<Socket>& slot, Socket connection);
void forgetTransferSocket(std::atomic<Socket>& slot);

// A send to several publishes each recipient's connection in a slot of its own; Stop shuts
// down the connection of every slot watched, besides the two above. At most
// kMostWatchedSlots at once: false when there is no room (the slot is not watched).
constexpr int kMostWatchedSlots = 16;
bool watchTransferSlot(std::atomic<Socket>* slot);
void unwatchTransferSlot(std::atomic<Socket>* slot);
// Shuts down the one connection in slot (if any) as Stop would, leaving the others be.
void shutDownTransferSlot(std::atomic<Socket>& slot);

// True while the receiver's question about a browser's upload or text is open: ending
// browser access ends it (stopBrowserQuestion).
extern std::atomic<bool> browserQuestionOpen;
// Browser access is ending: a browser's question that is open ends unanswered as on Stop,
// and the reception it holds ends with it; nothing else is stopped.
void stopBrowserQuestion(void (*shutdown)(Socket) = netShutdown);

// Stop's texts: the bar at 0 and "Canceled.".
void showCanceled();

// A transfer thread's status or progress write, made only while its transfer is not
// stopped (stopped: that direction's cancel flag). A Stop that comes while the write is
// being made has its texts shown again after it, so that "Canceled." stays whichever
// thread writes last.
template <typename Write>
void writeUnlessStopped(const std::atomic<bool>& stopped, Write write) {
    if (stopped) return;
    write();
    if (stopped) showCanceled();
}
