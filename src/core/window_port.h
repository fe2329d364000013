// The window port: the only way worker code (listener, receiver, sender, discovery,
// hand-over, banner) reaches "the main window". Plain functions, chosen at link time:
// the Windows program implements them on the main window's controls, the command-line
// peer on the terminal, the tests by recording every call.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Status line (control 113).
void portSetStatusText(int textId);                  // a narrow text of the string table
void portSetStatusFormatted(int textId, int value);  // that text with its %d filled (fillNumbers)
void portSetStatusEmpty();

// Progress bar (control 114, percent 0..100) and the taskbar button's progress.
void portSetProgress(int barPercent, int taskbarPercent);

// Send file (110) and Stop (108): Idle is Send on, Stop off; Transferring the reverse.
void portSetButtonsIdle();
void portSetButtonsTransferring();

// Recipient address (control 103), at most 15 characters.
std::string portGetRecipient();
void portSetRecipient(const std::string& address);

// Own address (control 102) and store path (control 111), as narrow text.
std::string portGetOwnAddress();
std::string portGetStorePath();

// The error box (showError): a modal box shows the text; afterwards Send and Stop show
// whether a transfer still runs (Transferring) or none does (Idle).
void portShowErrorText(int textId);                     // a wide text of the string table
void portShowErrorMessage(const std::string& message);  // a technical text, not translated

// A connection refused before anything was written (receiving paused, a sender not on the
// list, a declined question, no room): the status line shows the text, its %s (if any)
// being the sender's address. Nothing else changes; a network host never raises a box.
void portShowRefusal(int textId, const std::string& address);
// A narrow text of the string table in the language the user sees (English on the terminal),
// for what is kept beyond the status line (the history of transfers).
std::string portText(int textId);

// A text a browser or a trusted computer sent (UTF-8, at most 64 KiB, already allowed by
// the receive policy), from address (a browser's) or the trusted computer's name. It is
// shown as text only: nothing in it is ever run or opened.
void portShowText(const std::string& address, const std::string& utf8Text);

// Asks the user whether address may send a transfer of total bytes (0 or less: not told).
// No answer within milliseconds is Unanswered, and so is a Stop (cancelRequested) or the
// program's end meanwhile. The caller asks one question at a time.
// The values are what the question dialog ends with: none is 0 or -1, the values a dialog
// box returns when it could not be shown, so such a failure never reads as an answer.
enum class AskAnswer { Accepted = 1, Declined = 2, Unanswered = 3 };
AskAnswer portAskToReceive(const std::string& address, int64_t total, int milliseconds);

// A question dialog's end value as an answer: anything but Accepted or Declined (a dialog
// that failed to show, timed out or was stopped) is Unanswered.
inline AskAnswer askAnswerOf(intptr_t dialogResult) {
    if (dialogResult == static_cast<intptr_t>(AskAnswer::Accepted)) return AskAnswer::Accepted;
    if (dialogResult == static_cast<intptr_t>(AskAnswer::Declined)) return AskAnswer::Declined;
    return AskAnswer::Unanswered;
}

// Files from address arrive under names the store folder already has (at most 20 named):
// replace them, keep both, or skip them; forAll, the same for every such file after them
// in this reception. No answer within milliseconds, a Stop, or nobody to ask is Unanswered.
enum class ExistingReply { Replace = 1, KeepBoth = 2, Skip = 3, Unanswered = 4 };
struct ExistingAnswer {
    ExistingReply reply = ExistingReply::Unanswered;
    bool forAll = false;
};
ExistingAnswer portAskExisting(const std::string& address, const std::vector<std::string>& names, int milliseconds);

// The private channel (port 2906). A pairing with the copy called name (UTF-8) whose
// computer ID is id: both screens show code (six digits); true when the user confirms
// "Trust this computer?" within milliseconds. One question at a time.
bool portAskTrust(const std::string& name, const std::string& id, const std::string& code, int milliseconds);
// The transfer running now goes over the private channel with the trusted computer called
// name (sending or receiving): the status line and the tray say so with a lock mark.
// Called before the transfer's first status text; an empty name ends the mark.
void portSetPrivatePeer(const std::string& name);
// A cut send to the trusted computer called name waits to try again: the status line says
// so and counts the seconds down to the next try (called as each second passes).
void portShowRetryWait(const std::string& name, int seconds);
// The send running now goes in the clear on port 2904 (true before its first status text,
// false after its last): its status texts say so.
void portSetInTheClear(bool inTheClear);

// Receptions from trusted computers that run side by side: each has a row of its own
// (row 0..3) under the status line, which with the bar then shows them all together.
// A row starts with the sender's name (UTF-8) and what it sends (a size text), moves by
// whole percents, and ends with its result (a narrow text of the string table).
void portRowStart(int row, const std::string& sender, const std::string& what);
void portRowProgress(int row, int percent);
void portRowEnd(int row, int textId);
