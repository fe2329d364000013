// The window port: the only way worker code (listener, receiver, sender, discovery,
// hand-over, banner) reaches "the main window". Plain functions, chosen at link time:
// the Windows program implements them on the main window's controls, the command-line
// peer on the terminal, the tests by recording every call.
#pragma once
#include <cstdint>
#include <string>

// Status line (control 113).
void portSetStatusText(int textId);                  // a narrow text of the string table
void portSetStatusFormatted(int textId, int value);  // that text used as a format with one %d
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
void portShowErrorText(int textId);                   // a wide text of the string table
void portShowErrorMessage(const std::string& message); // a technical text, not translated

// A connection refused before anything was written (receiving paused, a sender not on the
// list, a declined question, no room): the status line shows the text, its %s (if any)
// being the sender's address. Nothing else changes; a network host never raises a box.
void portShowRefusal(int textId, const std::string& address);

// Asks the user whether address may send a transfer of total bytes (0 or less: not told).
// No answer within milliseconds is Unanswered, and so is a Stop (cancelRequested) or the
// program's end meanwhile. The caller asks one question at a time.
enum class AskAnswer { Accepted, Declined, Unanswered };
AskAnswer portAskToReceive(const std::string& address, int64_t total, int milliseconds);
