#include "web/access_token.h"

#include <cstdint>

#include "platform/random.h"

std::string newAccessToken() {
    unsigned char bytes[16];
    if (!systemRandomBytes(bytes, sizeof bytes)) return std::string();
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
    std::string token;
    uint32_t bits = 0;
    int held = 0;
    for (unsigned char byte : bytes) {
        bits = (bits << 8) | byte;
        held += 8;
        while (held >= 5) {
            held -= 5;
            token += kAlphabet[(bits >> held) & 31];
        }
    }
    if (held > 0) token += kAlphabet[(bits << (5 - held)) & 31];
    return token;
}

bool accessTokenMatches(std::string_view given, const std::string& token) {
    if (token.empty()) return false;
    unsigned difference = given.size() == token.size() ? 0 : 1;
    for (size_t i = 0; i < token.size(); ++i) {
        unsigned char g = i < given.size() ? static_cast<unsigned char>(given[i]) : 0;
        difference |= g ^ static_cast<unsigned char>(token[i]);
    }
    return difference == 0;
}
