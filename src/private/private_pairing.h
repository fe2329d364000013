// Pairing over the private channel: both users compare the session's code and say
// whether to trust the other computer; each side pins the other's key only when its own
// user and the other side both said yes.
#pragma once
#include <cstdint>
#include <string>

#include "private/private_channel.h"
#include "transfer/link.h"

// The server's side of a "QVP/1 PAIR <name>" request from address. One pairing at a
// time: a request while another is open is closed.
PairResult answerPairing(Link& link, uint32_t address, const std::string& peerName);
