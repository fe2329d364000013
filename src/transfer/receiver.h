// The receiver: reads one accepted connection from start to end on the calling thread,
// writes the folders and files it describes under the store path, and reports through
// the window port. Only one reception runs at a time; a connection that arrives
// meanwhile is closed at once, unless the running reception is about to end: then it
// waits for that end, about two seconds at most. Trusted computers' offers run beside it
// in side places of their own (transfer/side_reception.h). The receive policy's verdict is taken
// as a connection arrives (receiving paused, a sender not listed: refused), and, when the
// user wants to be asked, the question comes before the first record that would store
// something; a transfer larger than the store's free space is refused after its header.
// The connection is closed in order only when everything on it was taken; otherwise with
// a reset, which is how the sender learns that its transfer did not arrive. At most one
// of the receiver's error boxes is open at a time; a connection that would raise another
// is only closed.
//
// The listener (transfer/arrivals.h) waits for each connection's first bytes, and then
// runs receiveArrival on a thread of its own.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "history/history.h"
#include "platform/net.h"
#include "policy/receive_policy.h"
#include "store/existing_names.h"
#include "store/partial_record.h"
#include "store/store_files.h"  // the free space a transfer leaves
#include "transfer/answered_files.h"
#include "transfer/protocol.h"

// A peer that sends no byte for this long ends its reception (as incomplete).
constexpr int kReceiveStallMilliseconds = 60000;
// The stall limit in use; tests shorten it.
extern std::atomic<int> receiveStallMilliseconds;
// The connection header, and each record's block, must have arrived this long after
// their first byte: a peer that trickles them cannot hold the one reception. (Over a
// stream that cannot be given a time-out, the blank line that ends one may come later.)
constexpr int kHeaderBlockMilliseconds = 10000;

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
    Empty,         // "Receiving complete." for no folder or file: it proves nothing of its sender
};

// A connection as it arrived: its handle (the reception owns and closes it), the peer's
// address, how many Stops there had been (a Stop since then turns it away), and the
// receive policy's verdict of that moment.
struct Arrival {
    Socket connection = kInvalidSocket;
    uint32_t sender = 0;
    unsigned stops = 0;
    Verdict verdict = Verdict::Allowed;
    // What the listener read of it while it waited: its header block whole, or all it sent
    // before it closed. The reception reads these bytes first.
    std::string head;
    bool headerCame = false;  // head holds the header block whole
    uint32_t heard = 0;       // the tick of its latest bytes in head (0: none)
};
// The whole reception of an arrived connection. A refused one is only closed, with its
// refusal on the status line (the listener tells a refused hand-over apart first).
ReceiveResult receiveArrival(const Arrival& arrival);
// The same for a connection that arrives now.
ReceiveResult receiveConnection(Socket connection);

// The text id of a refusal by the policy (its %s the sender's address).
int refusalText(Verdict verdict);

// The status line's text for a sender the policy refused: "Receiving is paused: refused
// 10.0.0.7.", "Refused 10.0.0.7: not on the list of senders.", ...
void showRefusal(Verdict verdict, uint32_t sender);
// The status line's text for an upload of sender that the store's free space cannot take,
// and its refusal in the history.
void showNoRoom(uint32_t sender);

// A private offer's reception: each file's content is hashed as it arrives and takes its
// name only when the check block after it says the same hash; a record may say Skip:1
// (the file is there whole: no content) or Offset:n (its content continues the kept
// partial file of this sender from byte n). What became of each file is counted here.
// The private channel (private/private_receive.h) gives it its steps; a reception without
// them ends at its first file record, which is never stored unchecked.
constexpr size_t kMostFailedNamed = 20;
struct HashWorker;
struct VerifiedSteps;  // transfer/reception.h
struct ArrivedBatch;   // private/arrived_batch.h
struct VerifiedReception {
    std::string senderId;
    bool keepCut = false;                 // a cut file stays as a partial file (a trusted sender, days > 0)
    HashWorker* worker = nullptr;         // where content is hashed (nullptr: on the reception's thread)
    std::vector<PartialRecord> partials;  // this sender's kept partial files, as offered
    OfferAnswers answers;                 // what was answered HAVE: only these skip or resume
    // Answers the manifest over the stream's session, called once the reception is admitted
    // (and the user, when asked about the manifest's Total in offered, said yes); false when
    // the answers failed.
    bool (*answer)(VerifiedReception& v, StreamReader& reader) = nullptr;
    void* answerContext = nullptr;
    const VerifiedSteps* steps = nullptr;  // its file records, and its end
    ArrivedBatch* arrived = nullptr;       // checked files waiting to take their names together
    int64_t offered = 0;
    std::string what;  // its first top-level name, and how many more: "Photos (+2)" (shown text)
    int stored = 0, resumed = 0, skipped = 0, refused = 0;
    std::vector<std::string> failed;    // the names of refused files, the first kMostFailedNamed
    std::vector<PartialRecord> kept;    // cut in this reception: to be recorded
    std::vector<std::string> finished;  // temporaries of partial files that are gone now

    // Its reception's Stop (the one reception's or its side place's), set before answer.
    const std::atomic<bool>* cancel = nullptr;
};

// Browser uploads overlap one another: together they hold the one reception that port 2904
// would take (a connection arriving there meanwhile waits or is turned away as it would for
// any reception), the status line and the bar show their bytes together, and the result
// is shown when the last of them ends. Each piece of an upload joins with the Stops counted
// when its request arrived; a Stop since then ends it.
//
// The receive policy about a browser's new upload of size bytes: Complete when it may be
// stored (allowed, or the user said yes, now or before), Refused with the status line
// telling why (and the refusal in the history), TurnedAway while a reception on port 2904
// runs and a question would be needed, Cancelled by a Stop during the question. Uploads of
// one browser that arrive together make one question; the others wait for its answer.
ReceiveResult admitBrowserUpload(uint32_t sender, int64_t size, unsigned stops);
// The receiver's box for a missing store folder, as a reception shows it (not while one of
// its boxes is open).
void showNoStorePathBox();
// Who sends a piece and where it goes, for the uploads' entry in the history.
struct BrowserPiece {
    uint32_t sender = 0;
    std::string store;
};
// Joins the browser uploads that run, for a piece that brings up to total bytes: TurnedAway
// while a reception on port 2904 runs or the program closes, Cancelled after a Stop since
// stops, Complete when joined.
ReceiveResult joinBrowserUploads(unsigned stops, int64_t total, const BrowserPiece& piece);
// bytes of a joined piece arrived.
void browserUploadProgress(int64_t bytes);
// A joined piece ends: cut (not every byte arrived or was written), or it made a file whole
// (storedName: the top-level name it is stored under; existing: what became of it when its
// name was taken, for the history). When the last running piece ends
// with a file whole, one cut, or a Stop, the uploads make one entry in the history.
enum class PieceEnd { Cut, Taken, FileWhole };
void leaveBrowserUploads(PieceEnd end, const std::string& storedName = std::string(),
                         const ExistingEnd& existing = ExistingEnd());

// What a reception that does not come from port 2904 may differ in.
struct ReceiveTerms {
    uint32_t sender = 0;     // the address a question names
    bool byBrowser = false;  // a browser's upload: the user's yes to it holds for its next ones
    bool dropCut = false;    // a new file that did not arrive whole is removed, not kept
    bool syncWhole = false;  // a whole new file is written to the disk before it is closed (it goes on to
                             // replace another), as a file that replaces another always is
    // The Stops counted when the stream's request arrived: a Stop since then turns it away,
    // as it does a connection on port 2904. None: those of the moment it starts.
    std::optional<unsigned> stops;
    // A handle that Stop shuts down while the reception runs and that it leaves open (a
    // browser's connection, which answers after it); given up before receiveStream returns.
    Socket shutOnStop = kInvalidSocket;
    // The private channel: the sender's key is pinned as the trusted computer called
    // trustedName (the policy may then let it store without a question, and the status
    // line names it once the reception is admitted).
    bool trusted = false;
    std::string trustedName;
    // The stream must end in order (a TLS session's close_notify): one that fails, even
    // after the last byte, leaves the reception incomplete.
    bool orderlyEnd = false;
    // The header block came whole before the reception started (the listener read it ahead).
    bool headerCame = false;
    // Receives the text id of a refusal (its %s the sender's address), 0 for none.
    int* refusal = nullptr;
    VerifiedReception* verified = nullptr;     // a private offer's reception
    HistoryDoor door = HistoryDoor::Transfer;  // where its entry in the history says it came in
};
// The same reception over a stream read through reader (an in-memory stream in tests and
// fuzzing, a browser's upload), judged by the receive policy as it starts. connection is
// the handle that Stop shuts down and that is closed at the end; kInvalidSocket when the
// stream has none.
ReceiveResult receiveStream(StreamReader reader, Socket connection, const ReceiveTerms& terms = {});

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
