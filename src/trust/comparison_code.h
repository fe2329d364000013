// The pairing's comparison code: six digits that both ends of one TLS session derive from
// its exported keying material and both computer IDs. A man in the middle holds two
// sessions with two sets of keys, so the two screens show different codes.
#pragma once
#include <cstddef>
#include <string>

// exported: the session's keying material (tlsExportForPairing); the IDs in either order.
std::string comparisonCode(const unsigned char* exported, size_t size, const std::string& idA, const std::string& idB);
