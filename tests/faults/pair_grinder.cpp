// A man in the middle of a pairing who does the best he can against its codes:
//   qv_pair_grinder LISTEN_ADDR LISTEN_PORT TARGET_ADDR TARGET_PORT
// Prints "listening", then serves pairings one after another. The copy that pairs (leg
// 1) connects to it; it ends that TLS session with a key of its own. It connects to the
// waiting copy at TARGET (leg 2) with another key, passes the request on and commits to
// nothing (a random commitment). Leg 1 gets the waiting copy's name and a nonce of ours,
// and reveals its nonce: leg 1's code is known. On leg 2, once the waiting copy's nonce
// is in, it grinds nonces until leg 2's code equals leg 1's and reveals that one, then
// relays the plain bytes between the two sessions. A waiting copy that checks the reveal
// against the commitment ends the pairing there. It prints "leg 1 code N" and "leg 2
// ground after N tries" (or "no nonce found after N tries") on standard error.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "trust/comparison_code.h"
#include "trust/computer_id.h"

namespace {
const char kLabel[] = "EXPERIMENTAL-quorvalinthexa-pairing";
constexpr double kGrindSeconds = 9;  // the waiting copy takes the reveal within 10 s

EVP_PKEY* newKey() {
    EVP_PKEY* key = nullptr;
    EVP_PKEY_CTX* context = EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr);
    if (!context || EVP_PKEY_keygen_init(context) <= 0 || EVP_PKEY_keygen(context, &key) <= 0) key = nullptr;
    EVP_PKEY_CTX_free(context);
    return key;
}

std::string idOf(EVP_PKEY* key) {
    unsigned char* der = nullptr;
    const int size = i2d_PUBKEY(key, &der);
    if (size <= 0) return std::string();
    std::string id = computerIdOfKey(der, static_cast<size_t>(size));
    OPENSSL_free(der);
    return id;
}

std::string peerIdOf(SSL* ssl) {
    X509* certificate = SSL_get0_peer_certificate(ssl);
    return certificate ? idOf(X509_get0_pubkey(certificate)) : std::string();
}

void useKey(SSL* ssl, EVP_PKEY* key) {
    X509* made = X509_new();
    X509_NAME* name = X509_get_subject_name(made);
    X509_set_version(made, X509_VERSION_3);
    ASN1_INTEGER_set(X509_get_serialNumber(made), 1);
    X509_gmtime_adj(X509_getm_notBefore(made), -3600);
    X509_gmtime_adj(X509_getm_notAfter(made), 3600);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("m"), -1, -1, 0);
    X509_set_issuer_name(made, name);
    X509_set_pubkey(made, key);
    X509_sign(made, key, nullptr);
    SSL_use_certificate(ssl, made);
    SSL_use_PrivateKey(ssl, key);
    X509_free(made);
}

int acceptAny(int, X509_STORE_CTX*) { return 1; }

std::string randomHex() {
    unsigned char bytes[32];
    RAND_bytes(bytes, sizeof bytes);
    std::string hex;
    for (unsigned char b : bytes) hex += "0123456789abcdef"[b >> 4], hex += "0123456789abcdef"[b & 15];
    return hex;
}

// The code as both ends of a session work it out: the initiator's nonce and ID first.
std::string codeOf(SSL* ssl, const std::string& nonces, const std::string& initiatorId,
                   const std::string& responderId) {
    unsigned char exported[32];
    if (SSL_export_keying_material(ssl, exported, sizeof exported, kLabel, strlen(kLabel),
                                   reinterpret_cast<const unsigned char*>(nonces.data()), nonces.size(), 1) != 1)
        return std::string();
    return comparisonCode(exported, sizeof exported, initiatorId, responderId);
}

int connectTo(const char* address, int port) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, address, &to.sin_addr);
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    if (connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) return s;
    close(s);
    return -1;
}

// One line of the channel, its line feed included ("" when the session ended first).
std::string readLine(SSL* ssl) {
    std::string line;
    char c = 0;
    while (line.size() < 256 && SSL_read(ssl, &c, 1) == 1) {
        line += c;
        if (c == '\n') return line;
    }
    return std::string();
}
void writeLine(SSL* ssl, const std::string& line) { SSL_write(ssl, line.data(), static_cast<int>(line.size())); }
// The hex of a "QVP/1 WORD <hex>" line.
std::string hexOf(const std::string& line) {
    const size_t space = line.rfind(' ');
    return space == std::string::npos ? std::string() : line.substr(space + 1, 64);
}

// Relays the plain bytes both ways until either side ends.
void relay(SSL* one, SSL* two) {
    SSL* sides[2] = {one, two};
    char buffer[16384];
    for (;;) {
        pollfd fds[2] = {{SSL_get_fd(one), POLLIN, 0}, {SSL_get_fd(two), POLLIN, 0}};
        if (SSL_pending(one) == 0 && SSL_pending(two) == 0 && poll(fds, 2, -1) < 0) return;
        for (int i = 0; i < 2; ++i) {
            if (SSL_pending(sides[i]) == 0 && !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            const int n = SSL_read(sides[i], buffer, sizeof buffer);
            if (n <= 0) {
                SSL_shutdown(sides[1 - i]);
                return;
            }
            if (SSL_write(sides[1 - i], buffer, n) != n) return;
        }
    }
}

// Leg 2's nonce for leg 2's code to equal wanted, tried until the time is up; "" if none.
std::string grind(SSL* leg2, const std::string& wanted, const std::string& theirNonce, const std::string& ourId,
                  const std::string& theirId) {
    const auto start = std::chrono::steady_clock::now();
    std::string nonce = randomHex();
    long tries = 0;
    for (;; ++tries) {
        if ((tries & 1023) == 0 &&
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() > kGrindSeconds)
            break;
        for (size_t i = 0; i < 16; ++i) nonce[i] = "0123456789abcdef"[(tries >> (4 * i)) & 15];
        if (codeOf(leg2, nonce + theirNonce, ourId, theirId) == wanted) {
            fprintf(stderr, "leg 2 ground after %ld tries\n", tries + 1);
            return nonce;
        }
    }
    fprintf(stderr, "no nonce found after %ld tries\n", tries);
    return std::string();
}

void serve(SSL_CTX* context, EVP_PKEY* key1, EVP_PKEY* key2, int listener, const char* target, int port) {
    SSL* leg1 = SSL_new(context);
    SSL* leg2 = SSL_new(context);
    useKey(leg1, key1);
    useKey(leg2, key2);
    SSL_set_fd(leg1, accept(listener, nullptr, nullptr));
    SSL_set_fd(leg2, connectTo(target, port));
    if (SSL_accept(leg1) == 1 && SSL_connect(leg2) == 1) {
        const std::string request = readLine(leg1);
        readLine(leg1);  // the pairing copy's commitment: kept from the waiting one
        writeLine(leg2, request);
        writeLine(leg2, "QVP/1 COMMIT " + randomHex() + "\n");  // to nothing
        writeLine(leg1, readLine(leg2));                        // the waiting copy's name
        const std::string theirNonce = hexOf(readLine(leg2));
        const std::string ourNonce = randomHex();
        writeLine(leg1, "QVP/1 NONCE " + ourNonce + "\n");
        const std::string pairingNonce = hexOf(readLine(leg1));
        const std::string code1 = codeOf(leg1, pairingNonce + ourNonce, peerIdOf(leg1), idOf(key1));
        fprintf(stderr, "leg 1 code %s\n", code1.c_str());
        const std::string ground = grind(leg2, code1, theirNonce, idOf(key2), peerIdOf(leg2));
        writeLine(leg2, "QVP/1 REVEAL " + (ground.empty() ? randomHex() : ground) + "\n");
        relay(leg1, leg2);
    }
    for (SSL* leg : {leg1, leg2}) {
        close(SSL_get_fd(leg));
        SSL_free(leg);
    }
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        fputs("usage: qv_pair_grinder LISTEN_ADDR LISTEN_PORT TARGET_ADDR TARGET_PORT\n", stderr);
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(static_cast<uint16_t>(atoi(argv[2])));
    inet_pton(AF_INET, argv[1], &at.sin_addr);
    if (bind(listener, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || listen(listener, 4) != 0) return 1;
    printf("listening\n");
    fflush(stdout);
    SSL_CTX* context = SSL_CTX_new(TLS_method());
    SSL_CTX_set_min_proto_version(context, TLS1_3_VERSION);
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT, acceptAny);
    EVP_PKEY* key1 = newKey();
    EVP_PKEY* key2 = newKey();
    for (;;) serve(context, key1, key2, listener, argv[3], atoi(argv[4]));
}
