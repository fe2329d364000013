// Who may send files to this program: everyone, anyone the user says yes to, only listed
// senders, or nobody (receiving paused). Process-wide, set by the front end from its
// settings and changed while connections arrive; every connection is judged on the
// policy of the moment it arrives.
#pragma once
#include <atomic>
#include <cstdint>
#include <vector>

#include "policy/sender_list.h"

// The stored numbers are those of the choices.
enum class AcceptFrom { Everyone = 0, Ask = 1, Listed = 2, Nobody = 3 };
// A stored number: one that names no choice admits nobody, never more than the user chose.
AcceptFrom acceptFromStored(uint32_t value);

void setReceivePolicy(AcceptFrom choice, const std::vector<SenderRange>& listed);
AcceptFrom receivePolicyChoice();

// Why a connection from address is refused as it arrives, before it has sent a byte.
enum class Refusal { None, Paused, NotListed, DeclinedRecently };
Refusal refusalOnArrival(uint32_t address, uint32_t now);

// An address whose transfer was declined or left unanswered is refused without a
// question for this long, so that no host can keep asking.
constexpr uint32_t kDeclinedMilliseconds = 30000;
void rememberDeclined(uint32_t address, uint32_t now);
// Forgets every declined address (a new choice of policy starts afresh).
void forgetDeclined();

// How long a question waits for its answer before it counts as declined: well below the
// sender's stall limit, so that an accepted transfer still finds its sender waiting.
constexpr int kAskMilliseconds = 30000;
// The limit in use; tests shorten it.
extern std::atomic<int> askMilliseconds;
