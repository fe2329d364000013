// The sending end of test streams: a loopback connection that writes raw bytes.
#pragma once
#include <cstdint>
#include <string>

#include "platform/net.h"

// A loopback port free at the moment of asking: tests running side by side never share one.
uint16_t freePort();
// Connects to 127.0.0.1:port; kInvalidSocket on failure.
Socket feederConnect(uint16_t port);
// Writes all bytes; false when the receiver has gone.
bool feederSend(Socket s, const std::string& bytes);
// True when the receiver has closed its end (the next read sees the end or a reset),
// waiting at most milliseconds.
bool feederSeesClose(Socket s, int milliseconds);
// Connects, writes everything and closes.
bool feedStream(uint16_t port, const std::string& bytes);
