// After a private send that was cut, stopped or left incomplete, sending the same selection
// to the same computer again resumes it: the Send file button reads "Resume" while the
// recipient and the selection are still those of that send. What the last private send's
// answer counted ("3 files resumed, 997 already there") stays on the note line above the
// status until the next send.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "transfer/partial_files.h"

// All on the main window's thread.
// A send starts from the recipient field and the selection as they are now.
void noteSendStarted(HWND window);
// The sender thread has ended (kSendEndedMessage): the tally's note and the button's text.
void showSendEnded(HWND window);
// The recipient or the selection may have changed.
void refreshSendLabel(HWND window);
// Any thread: a private reception has ended with this tally; the same line shows it.
void showReceptionTally(const TransferTally& tally, const std::vector<std::string>& failed, const std::string& from);
