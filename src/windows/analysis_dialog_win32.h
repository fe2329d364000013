// The sender thread of the Windows program, with its analysis dialog (105).
#pragma once

// Thread procedure started by Send file: prepares, runs the selection analysis under the
// modal analysis dialog, then sends to the recipient address of the main window.
void senderThread(void* unused);
