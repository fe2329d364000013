// One send to several recipients at once: the selection is analysed once, and the
// manifest (read only from then on) goes out on one connection per recipient, each on a
// thread of its own, each with its own route (the private channel to a trusted computer,
// port 2904 to the others). One recipient's refusal, reset, unreachable address or
// changed key never stops the others, nor does one that takes its content too slowly;
// Stop stops them all.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "send/sender.h"

constexpr size_t kMostRecipients = 16;
// A recipient as the user types it: a dotted address or a host name.
constexpr size_t kMostRecipientBytes = 253;

// The items of a recipient list ("10.0.0.5, 10.0.0.7"), separated by commas, spaces
// trimmed. False, with the reason in *why, for an empty item, an item given twice, one
// too long, or more than kMostRecipients.
bool splitRecipients(const std::string& text, std::vector<std::string>* recipients, std::string* why);

struct RecipientOutcome {
    std::string recipient;
    SendResult result = SendResult::Cancelled;
    std::string reason;   // "" when it took everything
    std::string trusted;  // the trusted computer's name when it went privately; "": in the clear
};

// After the analysis, on the calling thread: looks every recipient up at once, drops a
// second name of an address already in the list (sentOnceNotes() says which), sends to
// the others at once and returns when all have ended, their outcomes in the order kept.
// Through the window port it shows "Sending" and the bar of the content sent to all over
// the content due to all, then leaves the status line to the caller; watch (may be null)
// is called on this thread a few times a second while the sends run, and ended (may be
// null) once for each recipient as it ends, on this thread too. A recipient that falls
// below the floor of progress (send/progress_floor.h) is given up: its connection is
// shut down and it ends as NotTaken with kBelowFloorReason. With nothing selected, the
// error box of the single send is shown and every outcome is NothingSelected.
std::vector<RecipientOutcome> runSendToMany(const std::vector<std::string>& recipients, uint16_t port,
                                            int stallMilliseconds = kSendStallMilliseconds, bool plain = false,
                                            void (*watch)() = nullptr,
                                            void (*ended)(const RecipientOutcome&) = nullptr);

// Each recipient's progress in the running (or last) send to several, for a front end.
enum class RecipientState { Connecting, Sending, Ended };
struct RecipientProgress {
    std::string recipient;
    int64_t sent = 0, total = 0;
    RecipientState state = RecipientState::Connecting;
    SendResult result = SendResult::Cancelled;  // once Ended
};
std::vector<RecipientProgress> recipientProgress();

// "10.0.0.05 is 10.0.0.5: sent once", a line per recipient the last send to several
// dropped as another name of an earlier one's address.
std::vector<std::string> sentOnceNotes();

// How many of outcomes took everything.
int countTaken(const std::vector<RecipientOutcome>& outcomes);
// "10.0.0.7: Receiving is paused.; 10.0.0.9: Connect error 111" for the ones that did not.
std::string notTakenText(const std::vector<RecipientOutcome>& outcomes);
