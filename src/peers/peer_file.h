// The command-line peer keeps its remembered peers in a file of its XDG state folder:
// $XDG_STATE_HOME/quorvalinthexa/peers (~/.local/state/quorvalinthexa/peers when that is
// unset or not absolute), one dotted address a line, a '?' after one that only answered
// discovery. Several runs of the peer may keep it at once (a long-running `receive`, a
// `send`): each change is made under a lock on "peers.lock" beside it.
#pragma once
#include <string>
#include <vector>

#include "peers/remembered_peers.h"

// More than 16 addresses of 15 characters never need this much; a larger file is read
// only this far.
constexpr size_t kPeerFileMostBytes = 4096;

// The file's path from XDG_STATE_HOME or HOME; "" when neither gives one.
std::string peerFilePath();
// The stored text, at most kPeerFileMostBytes; "" for a missing, unreadable or
// non-regular file (a FIFO is never opened for a blocking read).
std::string readPeerFile(const std::string& path);
// Writes the list, one address a line, in place of the file at path (locked_file.h), so
// that a reader never sees half a list; the folders are made 0700 where missing. False
// when any step failed (nothing is left half-written).
bool writePeerFile(const std::string& path, const std::vector<std::string>& peers);
// The keeper of a list in the file at path: under the file's lock (locked_file.h) reads
// it, runs edit, writes what it returns when that differs, and returns it. Where the lock
// or the write cannot be had, the edit still runs on what could be read and its result is
// returned; a file that exists but cannot be read is left as it is.
std::string editPeerFile(const std::string& path, const PeerTextEdit& edit);

// `discover` writes the numbers it printed here (the folder of path, "numbered"), so that
// `send N` a moment later names the same peer however the list changed meanwhile.
std::string numberedPeersPath(const std::string& path);
