// The window port on the terminal, for the command-line peer's commands: each status text
// becomes a line on standard output, exactly as the program words it; on a terminal a
// progress bar with the latest speed text is drawn in place below them; error boxes
// become lines on standard error. The fields the workers read are set by the command.
#pragma once
#include <string>

void cliPortSetStorePath(const std::string& path);
void cliPortSetOwnAddress(const std::string& address);
// A line of its own on standard output, among the status lines.
void cliPortShowLine(const std::string& text);
// On a terminal, the text drawn beside the bar in place of the speed (a send to several
// shows each recipient's share there).
void cliPortSetBarText(const std::string& text);
// Erases a progress bar that is still drawn.
void cliPortEndProgressLine();
// pair --yes: every "Trust this computer?" is answered yes once its code is printed.
void cliPortTrustWithoutAsking(bool yes);
