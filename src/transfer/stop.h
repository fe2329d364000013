// Stop (the main window's button 108, the command-line peer's interrupt): ends the
// running reception and send.
#pragma once

// Sets cancelRequested and shuts the running connections down. Their owner threads, whose
// receives and sends then fail, close their own handles and return the buttons to idle,
// so no handle is ever closed twice. The bar goes to 0 and the status line shows
// "Canceled.", also when nothing is running.
void stopTransfers();
