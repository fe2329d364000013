// The secret in the browser address: whoever knows it may use the page while access is
// on, and nobody else learns even that the page exists.
#pragma once
#include <string>
#include <string_view>

// 26 characters of A-Z and 2-7 carrying 128 bits from the system's generator (upper case
// keeps the whole address in the QR code's compact alphanumeric mode). "" when the
// system gave no random bytes.
constexpr size_t kAccessTokenLength = 26;
std::string newAccessToken();

// Compares in a time that depends on the token's length only, never on where the given
// text first differs.
bool accessTokenMatches(std::string_view given, const std::string& token);
