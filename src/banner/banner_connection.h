// The banner exchange's connection to a banner server: resolved by name, connected and
// bounded in time, so that a silent server cannot hold the banner thread.
#pragma once
#include <cstdint>
#include <string>

#include "platform/net.h"

// A connected TCP socket to host:port with the given send/receive/connect time-out,
// or kInvalidSocket when the name does not resolve or the connection fails.
Socket openBannerConnection(const std::string& host, uint16_t port, int timeoutMilliseconds);
