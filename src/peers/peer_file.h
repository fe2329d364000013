// The command-line peer keeps its remembered peers in a file of its XDG state folder:
// $XDG_STATE_HOME/quorvalinthexa/peers (~/.local/state/quorvalinthexa/peers when that is
// unset or not absolute), one dotted address a line.
#pragma once
#include <string>
#include <vector>

// More than 16 addresses of 15 characters never need this much; a larger file is read
// only this far.
constexpr size_t kPeerFileMostBytes = 4096;

// The file's path from XDG_STATE_HOME or HOME; "" when neither gives one.
std::string peerFilePath();
// The stored text, at most kPeerFileMostBytes; "" for a missing, unreadable or
// non-regular file (a FIFO is never opened for a blocking read).
std::string readPeerFile(const std::string& path);
// Writes the list, one address a line, to a temporary file beside path and renames it
// over path, so that a reader never sees half a list; the folders are made 0700 where
// missing. False when any step failed (nothing is left half-written).
bool writePeerFile(const std::string& path, const std::vector<std::string>& peers);
