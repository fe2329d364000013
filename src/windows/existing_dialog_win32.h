// The question about files whose names the store folder already has: "Files from <address>
// have names the store folder already has:", the names, Replace, Keep both (the default: it
// loses nothing) and Skip, and "Do this for all files already there".
#pragma once
#include <string>
#include <vector>

#include "core/window_port.h"

// Shows the question on the dialog thread, topmost and with no owner. No answer within
// milliseconds, closing it, a Stop or the program's end is Unanswered.
ExistingAnswer askAboutExisting(const std::string& address, const std::vector<std::string>& names, int milliseconds);
