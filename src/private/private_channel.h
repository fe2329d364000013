// The private channel on TCP port 2906: our own copies, TLS 1.3 with pinned keys. A
// connection carries one request line, then a transfer (the same records as port 2904,
// then the receiver's final answer) or a pairing. Port 2904 is not touched by any of it.
#pragma once
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/net.h"
#include "private/private_framing.h"
#include "transfer/link.h"
#include "transfer/receiver.h"

constexpr uint16_t kPrivatePort = 2906;
constexpr int kRequestLineLimit = 128;             // bytes of a request line, its line feed included
constexpr int kAnswerLineLimit = 256;              // bytes of a final answer line
constexpr int kPrivateConnectMilliseconds = 2000;  // a sender's connect to the private port
constexpr int kRequestMilliseconds = 10000;        // the request line, after the handshake
constexpr int kRefusedDrainMilliseconds = 2000;    // what a refused sender still writes is read
constexpr int kPairQuestionMilliseconds = 60000;   // "Trust this computer?" stays open
constexpr int kMostPendingHandshakes = 32;         // handshakes and requests at once...
constexpr int kMostPendingFromOneSource = 2;       // ...and from one address
constexpr int kFirstBytesMilliseconds = 3000;      // a connection's hello comes whole this soon
constexpr int kMostWaitingForHandshake = 64;       // connections waiting for it at once, as many
                                                   // from one address as handshakes
constexpr int kMostUntrustedAtWork = 4;            // transfers and pairings of untrusted keys at once
// An address whose completed handshakes end without a request this often within a
// minute is not taken for a minute: it could be trying sessions until their pairing
// code matches another one's.
constexpr int kMostSilentSessionsPerMinute = 8;

// The port of the private channel in this process: kPrivatePort; another one for tests;
// 0 for none (no listener, and a sender finds no private answer anywhere). A send to
// another port than kTransferPort looks for a private answer only on a port chosen here
// other than kPrivatePort: the standard ports go together.
extern std::atomic<uint16_t> privatePort;

// "Send only encrypted" (the Windows setting, the command line's --private-only): a send
// that would go in the clear, to any address, stops before anything is written.
extern std::atomic<bool> sendOnlyEncrypted;

// The user chose address as the trusted computer called name (the Windows recipient
// menu): it is not sent to in the clear without the user's word, even if the key was never
// met there. The most recent kMostTrusted choices are kept for the process's life.
void noteChosenAsTrusted(uint32_t address, const std::string& name);

// How a send to an address goes, decided before anything of the transfer is written.
enum class PrivateRoute {
    Private,     // the recipient's key is trusted: the private channel (session open)
    Plain,       // no private answer, or an untrusted copy at an address no trusted
                 // computer had: the 3.0 wire
    KeyChanged,  // a trusted computer's address answers with another key: nothing is sent
    NotPrivate,  // a trusted computer's address gives no private answer: nothing is sent
};
// A trusted computer's address is any address its key answered at (trust/trusted_list.h),
// or one the user chose it at (noteChosenAsTrusted). Where 2906 took the connection but
// gave no session and some computer is trusted, it may be one not met there yet: NotPrivate.
struct PrivateChoice {
    PrivateRoute route = PrivateRoute::Plain;
    bool untrustedCopy = false;  // Plain, but a copy of ours answered: pairing is offered
    std::string name;            // the trusted computer's name (Private, KeyChanged, NotPrivate)
    std::string id;              // the peer's computer ID when it answered
    std::string trouble;         // NotPrivate for a pinned list that cannot be read: why
};

// The Windows program's thread procedure (and the command-line receiver's): listens on
// kPrivatePort until the process ends, handshakes each connection on a bounded set of
// threads, and runs its transfer, or its pairing while the user waits for one
// (private/pairing_wait.h; a receiver on the command line never does: its terminal
// belongs to the transfers' questions).
void privateListenerThread(void* unused);
// How its set-up went: -1 before it tried, then 0 (listening) or the socket error code.
int privateListenerError();

// Called on its thread as each private reception ends (the command-line receiver's
// --once); null: nothing.
void setPrivateReceptionEnded(void (*ended)(ReceiveResult result));

// The sender's side, inside runSend. The route to address, whose transfers go to
// transferPort (see privatePort); for Private the session is open in *link (its socket
// published for Stop in slot: sendSocket, or a recipient's of a send to several) and its
// request written (an offer, or a text's line). Remembers where a trusted computer answered.
// onlyId, when set, is the one key the send may reach (a cut send's next try): any other
// key there, trusted or not, is KeyChanged, and no private answer is NotPrivate.
PrivateChoice choosePrivateRoute(uint32_t address, uint16_t transferPort, Link* link, std::atomic<Socket>& slot,
                                 LineKind request = LineKind::Offer, const std::string& requestText = std::string(),
                                 const std::string& onlyId = std::string());
// The name of the trusted computer met at address, or chosen there (noteChosenAsTrusted);
// nothing when none was, or the pinned list cannot be read.
std::optional<std::string> trustedNameAt(uint32_t address);

// Pairing from this side with the copy at address: connects, shows the code, asks the
// user (portAskTrust) and pins the key when both said yes. The result as shown.
enum class PairResult { Paired, Declined, PeerDeclined, NoAnswer, Failed };
PairResult pairWith(uint32_t address);
// The other side of it: listens on the private port until one copy asks to pair, and
// answers it as pairWith does (other requests are closed). Failed when it cannot listen.
PairResult awaitPairing();
