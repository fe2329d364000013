// Who may send files to this program: everyone, anyone the user says yes to, only listed
// senders, or nobody (receiving paused). Process-wide, set by the front end from its
// settings and changed while connections arrive. receiveVerdict is the one judgement of
// a sender, asked by port 2904 and by browser uploads alike.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "policy/sender_list.h"

// The stored numbers are those of the choices.
// TrustedWithoutAsking: trusted computers store without a question, everyone else is asked.
// TrustedOnly: only trusted computers (by their key, over the private channel) may send.
enum class AcceptFrom { Everyone = 0, Ask = 1, Listed = 2, Nobody = 3, TrustedWithoutAsking = 4, TrustedOnly = 5 };
// A stored number: one that names no choice admits nobody, never more than the user chose.
AcceptFrom acceptFromStored(uint32_t value);

// A choice or a list that differs from the one in force also forgets every browser the
// user said yes to: a yes holds for the policy it was given under.
void setReceivePolicy(AcceptFrom choice, const std::vector<SenderRange>& listed);
AcceptFrom receivePolicyChoice();

// What the policy says of a sender at this moment: it may store, the user is asked first,
// or it is refused (and why).
// NotTrusted: only trusted computers may send, and this sender is none (or not over the
// private channel, where alone a key is verified).
// StoppedRecently: a trusted computer whose transfer the user stopped a moment ago (it
// would otherwise try the cut transfer again by itself), known by its key from any address.
enum class Verdict { Allowed, Ask, Paused, NotListed, DeclinedRecently, NotTrusted, StoppedRecently };
bool refuses(Verdict verdict);
// byBrowser: the sender is a browser uploading through browser access, for which a yes
// the user gave it earlier counts. A sender on port 2904 is asked every time.
// trusted: the sender's key, verified by the private channel's handshake, is pinned (id:
// that key, when known). An address is never trust: port 2904 and browsers are always untrusted.
Verdict receiveVerdict(uint32_t address, uint32_t now, bool byBrowser, bool trusted = false,
                       const std::string& id = std::string());

// The user pressed Accept on the question about a browser's upload: that browser's
// further uploads are not asked about until the policy changes or browser access starts
// anew. Only a few browsers are kept; the oldest yes is forgotten first (it is asked again).
void rememberBrowserAccepted(uint32_t address);
// Forgets every such yes (browser access starts: its address and token are new).
void forgetBrowserAccepts();

// An address whose transfer was declined or left unanswered is refused without a
// question for this long, so that no host can keep asking.
constexpr uint32_t kDeclinedMilliseconds = 30000;
void rememberDeclined(uint32_t address, uint32_t now);
// A trusted computer's transfer the user stopped: its key (id), and any trusted computer at
// address, is refused for as long, under every choice, so that its sender's tries again end
// at once, from whichever of its addresses they come.
void rememberStopped(uint32_t address, const std::string& id, uint32_t now);
// Forgets every declined address (a new choice of policy starts afresh).
void forgetDeclined();

// How long a question waits for its answer before it counts as declined: well below the
// sender's stall limit, so that an accepted transfer still finds its sender waiting.
constexpr int kAskMilliseconds = 30000;
// The limit in use; tests shorten it.
extern std::atomic<int> askMilliseconds;
