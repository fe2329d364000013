// The pairing's comparison code: six digits that both ends of one TLS session derive from
// its exported keying material (which the pairing's nonces go into) and both computer
// IDs. A man in the middle holds two sessions with two sets of keys and nonces he could
// not choose after seeing the other's, so the two screens show different codes.
#pragma once
#include <cstddef>
#include <string>

// exported: the session's keying material (tlsComparisonCode); the initiator's ID first.
std::string comparisonCode(const unsigned char* exported, size_t size, const std::string& initiatorId,
                           const std::string& responderId);
