// Content moved between a connection and a file inside the system (splice and sendfile
// on Linux), so that large content never passes through this process. Where the system
// offers no such way, each call says so and the caller copies through a buffer.
#pragma once
#include <climits>

#include "platform/files.h"
#include "platform/net.h"

constexpr int kNoDirectPath = INT_MIN;        // nothing was moved: copy instead
constexpr int kFileReadFailed = INT_MIN + 1;  // the file could not be read: nothing was sent

// Moves up to size bytes from the connection into the file at its position. Returns the
// bytes taken from the connection (>0), 0 when it closed, <0 on an error or a receive
// time-out (netLastErrorWasTimeout tells). *written turns false when the file refused
// bytes: those were taken from the connection all the same, and dropped.
int socketToFile(Socket s, FileHandle f, int size, bool* written);

// Sends up to size bytes of the file from its position. Returns the bytes sent (>0), 0
// when the file has no more, kFileReadFailed when the file could not be read, and -1
// when the send failed (the connection was reset, shut down, or timed out).
int fileToSocket(FileHandle f, Socket s, int size);
