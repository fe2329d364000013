// The discovery datagrams this copy sent lately, so that an address handed over to it can
// be told apart: an answer to one of them, or a record that nobody asked for (which any
// host on the network can send to port 2904).
#pragma once
#include <cstdint>

#include "platform/threads.h"

// How long after a datagram a hand-over still counts as its answer: the peer answers at
// once, but its connect may wait out a lost SYN or two.
constexpr uint32_t kAnswerWindowMilliseconds = 10000;

// Notes a datagram sent to destination (host order): a multicast address is the group,
// which any copy on the link may answer; anything else is that one peer. Any thread.
void noteAsked(uint32_t destination, uint32_t now = tickCount());
// Whether a hand-over from peer answers a datagram this copy sent within the window: to
// peer itself, or to the group when peer is on the subnet of one of this host's
// adapters. Any thread.
bool askedLately(uint32_t peer, uint32_t now = tickCount());
// Forgets every datagram noted: a test starts from a copy that asked nobody.
void forgetAsked();
