// Content moved between a connection and a file inside the system (splice and sendfile
// on Linux), so that large content never passes through this process. Where the system
// offers no such way, each call says so and the caller copies through a buffer.
#pragma once
#include <climits>

#include "platform/files.h"
#include "platform/net.h"

constexpr int kNoDirectPath = INT_MIN;  // nothing was moved: copy instead

// Moves up to size bytes from the connection into the file at its position. Returns the
// bytes taken from the connection (>0), 0 when it closed, <0 on an error or a receive
// time-out (netLastErrorWasTimeout tells). *written turns false when the file refused
// bytes: those were taken from the connection all the same, and dropped.
int socketToFile(Socket s, FileHandle f, int size, bool* written);

// Sends up to size bytes of the file from its position. Returns the bytes sent (>0), 0
// when the file has no more, <0 when the send or the read failed.
int fileToSocket(FileHandle f, Socket s, int size);
