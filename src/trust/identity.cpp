#include "trust/identity.h"

#include <openssl/bio.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>

#include <mutex>

#include "trust/computer_id.h"
#include "trust/identity_key.h"
#include "trust/identity_store.h"

namespace {
const char kCommonName[] = "quorvalinthexa";
// The certificate is only a carrier of the key (peers pin the key, not the certificate),
// so it never expires: RFC 5280's "no well-defined expiration date".
const char kNotAfter[] = "99991231235959Z";

std::mutex lock;
EVP_PKEY* key = nullptr;
X509* certificate = nullptr;
std::string id;

std::string idOfKey(EVP_PKEY* pkey) {
    unsigned char* der = nullptr;
    int size = i2d_PUBKEY(pkey, &der);
    if (size <= 0) return std::string();
    std::string shown = computerIdOfKey(der, static_cast<size_t>(size));
    OPENSSL_free(der);
    return shown;
}

X509* makeCertificate(EVP_PKEY* pkey) {
    X509* made = X509_new();
    unsigned char serial[16];
    bool done = made && RAND_bytes(serial, sizeof serial) == 1;
    serial[0] &= 0x7F;  // a positive serial number
    BIGNUM* number = done ? BN_bin2bn(serial, sizeof serial, nullptr) : nullptr;
    X509_NAME* name = X509_get_subject_name(made);
    done = number && X509_set_version(made, X509_VERSION_3) &&
           BN_to_ASN1_INTEGER(number, X509_get_serialNumber(made)) &&
           X509_gmtime_adj(X509_getm_notBefore(made), -24 * 3600) &&
           ASN1_TIME_set_string(X509_getm_notAfter(made), kNotAfter) &&
           X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(kCommonName), -1,
                                      -1, 0) &&
           X509_set_issuer_name(made, name) && X509_set_pubkey(made, pkey) && X509_sign(made, pkey, nullptr) > 0;
    BN_free(number);
    if (done) return made;
    X509_free(made);
    return nullptr;
}

std::string pemOf(EVP_PKEY* pkey, X509* cert) {
    BIO* out = BIO_new(BIO_s_mem());
    std::string text;
    if (out && PEM_write_bio_PrivateKey(out, pkey, nullptr, nullptr, 0, nullptr, nullptr) &&
        PEM_write_bio_X509(out, cert)) {
        char* data = nullptr;
        long size = BIO_get_mem_data(out, &data);
        if (size > 0) text.assign(data, static_cast<size_t>(size));
    }
    BIO_free(out);
    return text;
}

// The key and the certificate of a stored text; false unless both are there and match.
bool parsePem(const std::string& pem, EVP_PKEY** pkey, X509** cert) {
    BIO* in = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    *pkey = in ? PEM_read_bio_PrivateKey(in, nullptr, nullptr, nullptr) : nullptr;
    *cert = *pkey ? PEM_read_bio_X509(in, nullptr, nullptr, nullptr) : nullptr;
    BIO_free(in);
    if (*cert && EVP_PKEY_get_id(*pkey) == EVP_PKEY_ED25519 && X509_check_private_key(*cert, *pkey) == 1) return true;
    EVP_PKEY_free(*pkey);
    X509_free(*cert);
    *pkey = nullptr;
    *cert = nullptr;
    return false;
}

void keep(EVP_PKEY* pkey, X509* cert) {
    key = pkey;
    certificate = cert;
    id = idOfKey(pkey);
}

// Makes a key and stores it. A key that cannot be stored is not used: a pairing made
// with it would be lost with the next start.
IdentityState makeIdentity(const std::string& path) {
    EVP_PKEY* pkey = EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519");
    X509* cert = pkey ? makeCertificate(pkey) : nullptr;
    if (!cert) {
        EVP_PKEY_free(pkey);
        return IdentityState::NotStored;
    }
    std::string pem = pemOf(pkey, cert);
    if (!pem.empty() && !path.empty() && writeIdentityText(path, pem)) {
        keep(pkey, cert);
        return IdentityState::Ready;
    }
    EVP_PKEY_free(pkey);
    X509_free(cert);
    // Another process may have stored its key first: that one is ours too.
    std::string stored;
    if (path.empty() || readIdentityText(path, &stored) != StoredIdentity::Read) return IdentityState::NotStored;
    if (!parsePem(stored, &pkey, &cert)) return IdentityState::Unreadable;
    keep(pkey, cert);
    return IdentityState::Ready;
}
}  // namespace

IdentityState loadIdentity(std::string* where) {
    std::lock_guard<std::mutex> guard(lock);
    const std::string path = identityPath();
    if (where) *where = path;
    if (key) return IdentityState::Ready;
    std::string pem;
    switch (path.empty() ? StoredIdentity::Missing : readIdentityText(path, &pem)) {
        case StoredIdentity::Missing: return makeIdentity(path);
        case StoredIdentity::Unreadable: return IdentityState::Unreadable;
        case StoredIdentity::Exposed: return IdentityState::Exposed;
        case StoredIdentity::Read: break;
    }
    EVP_PKEY* pkey = nullptr;
    X509* cert = nullptr;
    if (!parsePem(pem, &pkey, &cert)) return IdentityState::Unreadable;
    keep(pkey, cert);
    return IdentityState::Ready;
}

std::string identityTrouble(IdentityState state, const std::string& path) {
    const std::string folder = path.substr(0, path.find_last_of("/\\"));
    switch (state) {
        case IdentityState::Ready: return std::string();
        case IdentityState::Unreadable: return path + " exists but cannot be read; it was left as it is";
        case IdentityState::Exposed:
            return path + " or its folder may be read by others and could not be made private; as their owner, run " +
                   "'chmod 700 " + folder + "' and 'chmod 600 " + path + "'";
        case IdentityState::NotStored: break;
    }
    return "could not store a new key in " + (path.empty() ? std::string("(no home)") : path);
}

std::string ownComputerId() {
    std::lock_guard<std::mutex> guard(lock);
    return id;
}

bool identityKeys(EVP_PKEY** pkey, X509** cert) {
    loadIdentity();
    std::lock_guard<std::mutex> guard(lock);
    if (!key) return false;
    EVP_PKEY_up_ref(key);
    X509_up_ref(certificate);
    *pkey = key;
    *cert = certificate;
    return true;
}

void forgetIdentity() {
    std::lock_guard<std::mutex> guard(lock);
    EVP_PKEY_free(key);
    X509_free(certificate);
    key = nullptr;
    certificate = nullptr;
    id.clear();
}
