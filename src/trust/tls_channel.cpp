#include "trust/tls_channel.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/threads.h"
#include "trust/comparison_code.h"
#include "trust/computer_id.h"
#include "trust/identity.h"
#include "trust/identity_key.h"

struct TlsSession {
    SSL* ssl = nullptr;
    Socket socket = kInvalidSocket;
    std::string peerId;
    // During the handshake every read waits at most until this tick count; after it the
    // socket's own receive time-out applies.
    bool handshaking = false;
    uint32_t deadline = 0;
    bool timedOut = false;  // the last read failed for a time-out
    // While tlsWrite runs, the records of one SSL_write gather here and go out in one
    // send: a quarter of the system calls, and whole segments on the wire.
    bool gathering = false;
    std::string gathered;
};

namespace {
// A private-use label: this exporter is the pairing's own.
const char kExporterLabel[] = "EXPERIMENTAL-quorvalinthexa-pairing";
constexpr size_t kExportedBytes = 32;
constexpr size_t kMostWrittenAtOnce = 64 * 1024;
const char kCipherSuites[] = "TLS_AES_128_GCM_SHA256:TLS_AES_256_GCM_SHA384:TLS_CHACHA20_POLY1305_SHA256";

// The session's BIO reads and writes through the sockets seam: no SIGPIPE, the same
// calls on both systems, and a handshake that a silent peer cannot hold past its limit.
int bioRead(BIO* bio, char* buffer, int size) {
    auto* session = static_cast<TlsSession*>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    session->timedOut = false;
    if (!session->handshaking) {
        int n = netRecv(session->socket, buffer, size);
        if (n < 0 && netLastErrorWasTimeout()) {
            // Resumable: SSL_read reports SSL_ERROR_WANT_READ and the session goes on.
            session->timedOut = true;
            BIO_set_retry_read(bio);
        }
        return n;
    }
    for (;;) {
        int left = static_cast<int>(session->deadline - tickCount());
        if (left <= 0 || !netWaitReadable(session->socket, left)) {
            session->timedOut = true;
            return -1;
        }
        int n = netRecvArrived(session->socket, buffer, size);
        if (n != kNetNothingYet) return n;
        // Readable with nothing to take (Windows at the peer's close): the end, not a retry.
        if (netClosedWithoutBytes(session->socket)) return 0;
    }
}

int bioWrite(BIO* bio, const char* data, int size) {
    auto* session = static_cast<TlsSession*>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    if (session->gathering) {
        session->gathered.append(data, static_cast<size_t>(size));
        return size;
    }
    return netSendAll(session->socket, data, static_cast<size_t>(size)) ? size : -1;
}

long bioControl(BIO*, int command, long, void*) { return command == BIO_CTRL_FLUSH ? 1 : 0; }

BIO_METHOD* socketMethod() {
    static BIO_METHOD* method = [] {
        BIO_METHOD* made = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "quorvalinthexa socket");
        if (made) {
            BIO_meth_set_read(made, bioRead);
            BIO_meth_set_write(made, bioWrite);
            BIO_meth_set_ctrl(made, bioControl);
        }
        return made;
    }();
    return method;
}

// Any certificate passes the handshake: there is no authority, the caller pins keys.
int acceptAny(int, X509_STORE_CTX*) { return 1; }

SSL_CTX* makeContext(EVP_PKEY* key, X509* certificate) {
    SSL_CTX* context = SSL_CTX_new(TLS_method());
    bool ready = context && SSL_CTX_set_min_proto_version(context, TLS1_3_VERSION) &&
                 SSL_CTX_set_max_proto_version(context, TLS1_3_VERSION) &&
                 SSL_CTX_use_certificate(context, certificate) == 1 && SSL_CTX_use_PrivateKey(context, key) == 1;
    if (!ready) {
        SSL_CTX_free(context);
        return nullptr;
    }
    // The server asks for the client's certificate and ends a handshake without one.
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT, acceptAny);
    // One session per connection: nothing to resume, and nothing kept in the shared context.
    SSL_CTX_set_num_tickets(context, 0);
    SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_OFF);
    // AES-128-GCM first: both ends are ours, and it is the fastest suite where the
    // processor has AES instructions (the others stay for a peer that lacks them).
    SSL_CTX_set_ciphersuites(context, kCipherSuites);
    SSL_CTX_set_read_ahead(context, 1);
    SSL_CTX_set_mode(context, SSL_MODE_AUTO_RETRY);
    return context;
}

// One context for every session, made for the identity loaded now: sessions share it
// read-only. It holds a reference to the certificate it was made with, so a new identity
// (a first start, or one loaded again) is told apart and gets a context of its own.
std::mutex contextLock;
SSL_CTX* sharedContext = nullptr;
X509* sharedCertificate = nullptr;

// The context for a new session, with a reference of the caller's own; nullptr when no
// identity is loaded and none could be.
SSL_CTX* currentContext() {
    EVP_PKEY* key = nullptr;
    X509* certificate = nullptr;
    if (!identityKeys(&key, &certificate)) return nullptr;
    std::lock_guard<std::mutex> guard(contextLock);
    if (certificate != sharedCertificate) {
        SSL_CTX_free(sharedContext);
        X509_free(sharedCertificate);
        sharedContext = makeContext(key, certificate);
        sharedCertificate = sharedContext ? certificate : nullptr;
        if (sharedContext) certificate = nullptr;  // held by the cache now
    }
    SSL_CTX* context = sharedContext;
    if (context) SSL_CTX_up_ref(context);
    EVP_PKEY_free(key);
    X509_free(certificate);
    return context;
}

std::string peerIdOf(SSL* ssl) {
    X509* certificate = SSL_get0_peer_certificate(ssl);
    EVP_PKEY* key = certificate ? X509_get0_pubkey(certificate) : nullptr;
    unsigned char* der = nullptr;
    int size = key ? i2d_PUBKEY(key, &der) : 0;
    if (size <= 0) return std::string();
    std::string id = computerIdOfKey(der, static_cast<size_t>(size));
    OPENSSL_free(der);
    return id;
}

TlsSession* handshake(Socket socket, int milliseconds, bool server) {
    SSL_CTX* context = currentContext();
    SSL* ssl = context ? SSL_new(context) : nullptr;
    SSL_CTX_free(context);  // the session holds its own reference
    BIO* bio = ssl && socketMethod() ? BIO_new(socketMethod()) : nullptr;
    if (!bio) {
        SSL_free(ssl);
        return nullptr;
    }
    auto* session = new TlsSession;
    session->ssl = ssl;
    session->socket = socket;
    BIO_set_data(bio, session);
    BIO_set_init(bio, 1);
    SSL_set_bio(ssl, bio, bio);
    if (server) SSL_set_accept_state(ssl);
    else SSL_set_connect_state(ssl);
    session->handshaking = true;
    session->deadline = tickCount() + static_cast<uint32_t>(std::max(milliseconds, 1));
    bool done = SSL_do_handshake(ssl) == 1;
    session->handshaking = false;
    if (done) session->peerId = peerIdOf(ssl);
    ERR_clear_error();
    if (done && !session->peerId.empty()) return session;
    tlsClose(session);
    return nullptr;
}
}  // namespace

TlsSession* tlsConnect(Socket socket, int milliseconds) { return handshake(socket, milliseconds, false); }

HelloArrival tlsHelloArrival(Socket socket) {
    constexpr int kRecordHeader = 5;
    constexpr int kMostRecord = 16384 + 256;  // a record's plaintext, and room for its expansion
    constexpr unsigned char kHandshake = 0x16;
    thread_local std::vector<unsigned char> bytes(kRecordHeader + kMostRecord);
    const int n = netPeekArrived(socket, bytes.data(), static_cast<int>(bytes.size()));
    if (n == kNetNothingYet) return HelloArrival::Partial;
    if (n <= 0) return HelloArrival::Closed;
    if (bytes[0] != kHandshake) return HelloArrival::NotTls;
    if (n < kRecordHeader) return HelloArrival::Partial;
    const int length = bytes[3] << 8 | bytes[4];
    if (length > kMostRecord) return HelloArrival::NotTls;
    return n >= kRecordHeader + length ? HelloArrival::Whole : HelloArrival::Partial;
}

TlsSession* tlsAccept(Socket socket, int milliseconds) { return handshake(socket, milliseconds, true); }

std::string tlsPeerId(const TlsSession* session) { return session->peerId; }

std::string tlsCipherSuite(const TlsSession* session) {
    const SSL_CIPHER* suite = SSL_get_current_cipher(session->ssl);
    return suite ? SSL_CIPHER_standard_name(suite) : std::string();
}

std::string tlsComparisonCode(TlsSession* session, const std::string& nonces, bool initiator) {
    unsigned char exported[kExportedBytes];
    const auto* context = reinterpret_cast<const unsigned char*>(nonces.data());
    if (nonces.empty() || SSL_export_keying_material(session->ssl, exported, sizeof exported, kExporterLabel,
                                                     strlen(kExporterLabel), context, nonces.size(), 1) != 1)
        return std::string();
    const std::string& own = ownComputerId();
    return initiator ? comparisonCode(exported, sizeof exported, own, session->peerId)
                     : comparisonCode(exported, sizeof exported, session->peerId, own);
}

int tlsRead(TlsSession* session, char* buffer, int size) {
    if (size <= 0) return -1;
    int n = SSL_read(session->ssl, buffer, size);
    if (n > 0) return n;
    int error = SSL_get_error(session->ssl, n);
    ERR_clear_error();
    if (error == SSL_ERROR_ZERO_RETURN) return 0;  // close_notify
    if (error == SSL_ERROR_WANT_READ && session->timedOut) return -2;
    return -1;  // a cut stream ends without close_notify: an error, never an end
}

bool tlsWrite(TlsSession* session, const void* data, size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        int piece = static_cast<int>(std::min(size, kMostWrittenAtOnce));
        session->gathering = true;
        session->gathered.clear();
        const bool encrypted = SSL_write(session->ssl, bytes, piece) == piece;
        session->gathering = false;
        if (!encrypted || !netSendAll(session->socket, session->gathered.data(), session->gathered.size())) {
            ERR_clear_error();
            return false;
        }
        bytes += piece;
        size -= static_cast<size_t>(piece);
    }
    return true;
}

bool tlsFinish(TlsSession* session) {
    int result = SSL_shutdown(session->ssl);
    ERR_clear_error();
    return result >= 0;
}

bool tlsReadable(TlsSession* session, int milliseconds) {
    if (SSL_pending(session->ssl) > 0 || SSL_has_pending(session->ssl)) return true;
    return netWaitReadable(session->socket, milliseconds);
}

bool tlsHolds(TlsSession* session) { return SSL_pending(session->ssl) > 0; }

void tlsClose(TlsSession* session) {
    if (!session) return;
    SSL_free(session->ssl);
    delete session;
}

Socket tlsSocket(const TlsSession* session) { return session->socket; }
