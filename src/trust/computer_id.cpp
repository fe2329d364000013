#include "trust/computer_id.h"

#include <openssl/evp.h>

namespace {
const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
constexpr size_t kIdBytes = 20;  // 160 bits: 32 characters of 5 bits, no padding
constexpr size_t kGroup = 4;

int valueOf(char c) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= '2' && c <= '7') return c - '2' + 26;
    return -1;
}

std::string grouped(const std::string& plain) {
    std::string shown;
    for (size_t i = 0; i < plain.size(); ++i) {
        if (i > 0 && i % kGroup == 0) shown += '-';
        shown += plain[i];
    }
    return shown;
}
}  // namespace

std::string computerIdOfKey(const unsigned char* der, size_t size) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!EVP_Digest(der, size, digest, &length, EVP_sha256(), nullptr) || length < kIdBytes) return std::string();
    std::string plain;
    unsigned bits = 0;
    int held = 0;
    for (size_t i = 0; i < kIdBytes; ++i) {
        bits = (bits << 8) | digest[i];
        held += 8;
        while (held >= 5) {
            held -= 5;
            plain += kAlphabet[(bits >> held) & 31];
        }
    }
    return grouped(plain);
}

std::string parseComputerId(const std::string& text) {
    std::string plain;
    for (char c : text) {
        if (c == '-' || c == ' ') continue;
        int value = valueOf(c);
        if (value < 0 || plain.size() == kComputerIdLength) return std::string();
        plain += kAlphabet[value];
    }
    return plain.size() == kComputerIdLength ? grouped(plain) : std::string();
}
