#include "trust/comparison_code.h"

#include <openssl/evp.h>

#include <cstdint>
#include <cstdio>

std::string comparisonCode(const unsigned char* exported, size_t size, const std::string& initiatorId,
                           const std::string& responderId) {
    // Both ends hash the same bytes: the IDs in the order of their roles, so that the
    // code of A pairing with B is not the code of B pairing with A.
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    bool done = context && EVP_DigestInit_ex(context, EVP_sha256(), nullptr) &&
                EVP_DigestUpdate(context, exported, size) &&
                EVP_DigestUpdate(context, initiatorId.data(), initiatorId.size()) &&
                EVP_DigestUpdate(context, responderId.data(), responderId.size()) &&
                EVP_DigestFinal_ex(context, digest, &length) && length >= 4;
    EVP_MD_CTX_free(context);
    if (!done) return std::string();
    uint32_t number = (uint32_t(digest[0]) << 24) | (uint32_t(digest[1]) << 16) | (uint32_t(digest[2]) << 8) |
                      digest[3];
    char code[8];
    snprintf(code, sizeof code, "%06u", static_cast<unsigned>(number % 1000000));
    return code;
}
