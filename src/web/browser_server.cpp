// The web server behind browser access. The HTTP library parses requests and writes
// responses; the connections are this file's own: it accepts them, bounds how many run,
// how long a request's head may take and how large it may be, reads an upload's body
// straight into the receiver, and cuts them all when access ends.
#include "web/browser_access.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <memory>
#include <mutex>
#include <set>

#define CPPHTTPLIB_USE_POLL
#include <httplib.h>

#include "platform/files.h"
#include "platform/net.h"
#include "platform/threads.h"
#include "policy/receive_policy.h"
#include "transfer/listener.h"
#include "transfer/receiver.h"
#include "web/access_token.h"
#include "web/browser_page.h"
#include "web/browser_upload.h"
#include "web/offered_files.h"

namespace {
constexpr size_t kStreamBuffer = 64 * 1024;
constexpr int kWaitSlice = 200;           // milliseconds between two looks at the stop flag
constexpr int kStopWait = 5000;           // how long stopping waits for connection threads
constexpr int kLingerMilliseconds = 1000; // unread request bytes drained before a close
constexpr int64_t kLingerBytes = 1024 * 1024;
constexpr size_t kDownloadChunk = 256 * 1024;
constexpr int kBacklog = 16;

std::mutex stateLock;  // everything below that is not atomic
BrowserAccessOptions running;
std::string token;
Socket listener = kInvalidSocket;
std::vector<Socket> liveConnections;
std::vector<OfferedFile> offered;  // the latest list the page was given
std::set<uint32_t> acceptedSenders;
std::atomic<int> connectionCount{0};
std::atomic<bool> listening{false};
std::atomic<bool> stopping{false};

constexpr size_t kHeldBodyLimit = 64 * 1024;

// Every response: nothing in it may run (the page's own script and style get a policy of
// their own), and nothing is kept, framed, sniffed, or told where it came from.
const char kSecurityPolicy[] = "Content-Security-Policy";
const httplib::Headers kSecurityHeaders = {
    {kSecurityPolicy, "default-src 'none'; frame-ancestors 'none'; base-uri 'none'; form-action 'none'"},
    {"X-Content-Type-Options", "nosniff"},
    {"Referrer-Policy", "no-referrer"},
    {"Cache-Control", "no-store"},
    {"X-Frame-Options", "DENY"},
};

uint32_t elapsedSince(uint32_t start) { return tickCount() - start; }

// One connection as the HTTP library reads and writes it. Until the request's head is
// complete, reads share one deadline and one byte budget, so a client that sends its
// headers a byte at a time, or without end, is cut; afterwards each read may wait for
// the idle limit.
struct ConnectionStream final : httplib::Stream {
    explicit ConnectionStream(Socket s) : socket_(s), buffer_(kStreamBuffer), arrived_(tickCount()) {}

    void headComplete() { headDone_ = true; }
    // The handler wrote the whole response itself: the library's is dropped.
    void answered() { answered_ = true; }

    bool is_readable() const override { return start_ < end_; }
    bool is_writable() const override { return !stopping; }

    ssize_t read(char* ptr, size_t size) override {
        if (start_ == end_ && !fill(size >= kStreamBuffer ? ptr : nullptr, size)) return -1;
        if (direct_ > 0) {
            ssize_t n = direct_;
            direct_ = 0;
            return n;
        }
        size_t n = std::min(size, end_ - start_);
        std::memcpy(ptr, buffer_.data() + start_, n);
        start_ += n;
        return static_cast<ssize_t>(n);
    }

    ssize_t write(const char* ptr, size_t size) override {
        if (answered_) return static_cast<ssize_t>(size);
        if (stopping || !netSendAll(socket_, ptr, size)) return -1;
        return static_cast<ssize_t>(size);
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        uint32_t address = 0;
        ip = netPeerAddress(socket_, &address) ? netDotted(address) : std::string();
        port = 0;
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        ip.clear();
        port = 0;
    }
    socket_t socket() const override { return static_cast<socket_t>(socket_); }

private:
    // Waits for bytes within the head's deadline or the idle limit, looking at the stop
    // flag between slices; then receives into target (a large read) or the buffer.
    bool fill(char* target, size_t size) {
        int budget = headDone_ ? kConnectionIdleMilliseconds
                               : kRequestHeadMilliseconds - static_cast<int>(elapsedSince(arrived_));
        uint32_t waitStart = tickCount();
        for (;;) {
            if (stopping) return false;
            int left = budget - static_cast<int>(elapsedSince(waitStart));
            if (left <= 0) return false;
            if (netWaitReadable(socket_, std::min(left, kWaitSlice))) break;
        }
        size_t room = kStreamBuffer;
        if (!headDone_) {  // the head's budget bounds what is taken before it is complete
            if (headBytes_ >= kRequestHeadLimit) return false;
            room = std::min(room, static_cast<size_t>(kRequestHeadLimit - headBytes_));
            target = nullptr;
        }
        int n = netRecv(socket_, target ? target : buffer_.data(),
                        static_cast<int>(target ? std::min(size, static_cast<size_t>(INT_MAX)) : room));
        if (n <= 0) return false;
        if (!headDone_) headBytes_ += n;
        if (target) direct_ = n;
        else start_ = 0, end_ = static_cast<size_t>(n);
        return true;
    }

    Socket socket_;
    std::vector<char> buffer_;
    size_t start_ = 0, end_ = 0;
    ssize_t direct_ = 0;  // bytes the last fill put straight into the caller's buffer
    bool headDone_ = false;
    bool answered_ = false;
    uint32_t arrived_;
    int headBytes_ = 0;
};

thread_local ConnectionStream* currentStream = nullptr;

// The library's request processing is protected: this is the one way in from a
// connection that this file accepted itself.
struct PageServer : httplib::Server {
    void serve(ConnectionStream& stream) {
        bool closed = true;
        process_request(stream, true, closed, [&stream](httplib::Request&) { stream.headComplete(); });
    }
};

std::string tokenNow() {
    std::lock_guard<std::mutex> guard(stateLock);
    return token;
}

// "/<token>/..." with the right token: what follows the token's slash; false otherwise.
bool tokenPath(const std::string& path, std::string* rest) {
    std::string now = tokenNow();
    if (path.size() < kAccessTokenLength + 2 || path[0] != '/') return false;
    bool matches = accessTokenMatches(std::string_view(path).substr(1, kAccessTokenLength), now);
    if (!matches || path[kAccessTokenLength + 1] != '/') return false;
    *rest = path.substr(kAccessTokenLength + 2);
    return true;
}

void sendPage(httplib::Response& res) {
    std::string language;
    {
        std::lock_guard<std::mutex> guard(stateLock);
        language = running.language;
    }
    // A nonce of its own for each page: its style and script run, nothing injected does.
    std::string nonce = newAccessToken();
    res.headers.erase(kSecurityPolicy);
    res.set_header(kSecurityPolicy, browserPageSecurityPolicy(nonce));
    res.set_content(browserPageHtml(language, nonce), "text/html; charset=utf-8");
}

void sendList(httplib::Response& res) {
    std::function<std::vector<std::string>()> paths;
    {
        std::lock_guard<std::mutex> guard(stateLock);
        paths = running.offeredPaths;
    }
    std::vector<OfferedFile> files = paths ? listOfferedFiles(paths()) : std::vector<OfferedFile>();
    std::string json = offeredFilesJson(files);
    {
        std::lock_guard<std::mutex> guard(stateLock);
        offered = std::move(files);
    }
    res.set_content(json, "application/json");
}

// A download names a place in the list the page was given last. Its response is written
// here, straight from the file to the connection in large pieces; what the library writes
// after the handler is dropped.
void sendFile(const httplib::Request& req, httplib::Response& res) {
    res.status = 404;
    OfferedFile file;
    {
        std::lock_guard<std::mutex> guard(stateLock);
        const std::string number = req.matches[1];
        size_t index = number.size() <= 6 ? std::stoul(number) : offered.size();
        if (index >= offered.size()) return;
        file = offered[index];
    }
    int64_t size = -1;
    FileHandle handle = fileOpenRead(file.localPath, &size);
    if (handle == kInvalidFile || size < 0) {
        if (handle != kInvalidFile) fileClose(handle);
        return;  // gone since the list was made
    }
    std::string head = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                       std::to_string(size) + "\r\nContent-Disposition: " + attachmentDisposition(file.name) +
                       "\r\n";
    for (const auto& header : kSecurityHeaders) head += header.first + ": " + header.second + "\r\n";
    head += "Connection: close\r\n\r\n";
    ConnectionStream& stream = *currentStream;
    bool sent = stream.write(head.data(), head.size()) >= 0;
    // A file that shrank meanwhile ends the response short, which the browser reports
    // as a failed download rather than a whole one.
    std::vector<char> chunk(kDownloadChunk);
    for (int64_t left = req.method == "HEAD" ? 0 : size; sent && left > 0;) {
        int64_t n = fileRead(handle, chunk.data(), static_cast<size_t>(std::min<int64_t>(left, kDownloadChunk)));
        sent = n > 0 && stream.write(chunk.data(), static_cast<size_t>(n)) >= 0;
        left -= n;
    }
    fileClose(handle);
    stream.answered();
}

// Content-Length as the only framing: digits only, within 63 bits.
bool bodyLength(const httplib::Request& req, int64_t* length) {
    if (req.has_header("Transfer-Encoding") || !req.has_header("Content-Length")) return false;
    std::string text = req.get_header_value("Content-Length");
    if (text.empty() || text.size() > 19) return false;
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        if (value > (INT64_MAX - (c - '0')) / 10) return false;
        value = value * 10 + (c - '0');
    }
    *length = value;
    return true;
}

void answer(httplib::Response& res, UploadOutcome outcome) {
    res.status = uploadStatus(outcome);
    if (outcome == UploadOutcome::Busy) res.set_header("Retry-After", "1");
    res.set_content(uploadWord(outcome), "text/plain; charset=utf-8");
}

void receiveBody(const httplib::Request& req, httplib::Response& res) {
    int64_t length = 0;
    if (!bodyLength(req, &length)) {
        res.status = 411;
        return;
    }
    std::string name = req.get_param_value("name");
    if (!uploadNameAllowed(name)) return answer(res, UploadOutcome::BadName);
    uint32_t sender = 0;
    netParseDotted(req.remote_addr, &sender);
    if (refusedOnArrival(sender, [] {})) return answer(res, UploadOutcome::Refused);
    bool accepted;
    {
        std::lock_guard<std::mutex> guard(stateLock);
        accepted = acceptedSenders.count(sender) > 0;
    }
    ConnectionStream* stream = currentStream;
    BodyRead read = [stream](char* buffer, int size) {
        ssize_t n = stream->read(buffer, static_cast<size_t>(size));
        return n > 0 ? static_cast<int>(n) : -1;
    };
    UploadOutcome outcome = receiveUpload(name, length, sender, accepted, read);
    // The user said yes to this browser once: its further files in this session are not asked about.
    if (outcome == UploadOutcome::Saved || outcome == UploadOutcome::NotSaved) {
        std::lock_guard<std::mutex> guard(stateLock);
        acceptedSenders.insert(sender);
    }
    answer(res, outcome);
}

PageServer& server() {
    static PageServer* made = [] {
        auto* s = new PageServer;
        s->set_default_headers(kSecurityHeaders);
        // A body the routes do not stream is read into memory: only a small one is.
        s->set_payload_max_length(kHeldBodyLimit);
        // Every request without the token gets the same empty 404, before any handler.
        s->set_pre_routing_handler([](const httplib::Request& req, httplib::Response& res) {
            std::string rest;
            if (tokenPath(req.path, &rest)) return httplib::Server::HandlerResponse::Unhandled;
            res.status = 404;
            return httplib::Server::HandlerResponse::Handled;
        });
        const std::string base = "/[A-Z2-7]{26}/";
        s->Get(base, [](const httplib::Request&, httplib::Response& res) { sendPage(res); });
        s->Get(base + "files", [](const httplib::Request&, httplib::Response& res) { sendList(res); });
        s->Get(base + "files/([0-9]+)",
               [](const httplib::Request& req, httplib::Response& res) { sendFile(req, res); });
        s->Put(base + "files", [](const httplib::Request& req, httplib::Response& res,
                                  const httplib::ContentReader&) { receiveBody(req, res); });
        return s;
    }();
    return *made;
}

// A response sent before the request's body was read is followed by the close; the
// rest of the body is read and dropped for a moment first, so that the close does not
// turn into a reset that would take the response with it.
void closeGently(Socket s) {
    netShutdownSend(s);
    char drop[16 * 1024];
    int64_t dropped = 0;
    uint32_t start = tickCount();
    while (!stopping && dropped < kLingerBytes && elapsedSince(start) < static_cast<uint32_t>(kLingerMilliseconds) &&
           netWaitReadable(s, kWaitSlice)) {
        int n = netRecv(s, drop, sizeof drop);
        if (n <= 0) break;
        dropped += n;
    }
    netClose(s);
}

void serveConnection(void* handle) {
    Socket s = reinterpret_cast<Socket>(handle);
    netSetSendTimeout(s, kConnectionIdleMilliseconds);
    {
        ConnectionStream stream(s);
        currentStream = &stream;
        server().serve(stream);
        currentStream = nullptr;
    }
    {
        std::lock_guard<std::mutex> guard(stateLock);
        liveConnections.erase(std::find(liveConnections.begin(), liveConnections.end(), s));
    }
    closeGently(s);
    --connectionCount;
}

// Called on the listening thread for each connection: a few run at once, one more is
// closed as it arrives.
void takeConnection(void* handle) {
    Socket s = reinterpret_cast<Socket>(handle);
    if (stopping || connectionCount.fetch_add(1) >= kMostConnections) {
        --connectionCount;
        netCloseAbortive(s);
        return;
    }
    {
        std::lock_guard<std::mutex> guard(stateLock);
        liveConnections.push_back(s);
    }
    if (startThread(serveConnection, handle)) return;
    {
        std::lock_guard<std::mutex> guard(stateLock);
        liveConnections.erase(std::find(liveConnections.begin(), liveConnections.end(), s));
    }
    --connectionCount;
    netCloseAbortive(s);
}

void listenThread(void* handle) {
    acceptEach(reinterpret_cast<Socket>(handle), takeConnection, false);
    listening = false;
}
}  // namespace

AccessStart startBrowserAccess(const BrowserAccessOptions& options) {
    stopBrowserAccess();
    uint32_t address = 0;
    if (options.address.empty() || !netParseDotted(options.address, &address) || address == 0)
        return AccessStart::NoAddress;
    std::string fresh = newAccessToken();
    if (fresh.size() != kAccessTokenLength) return AccessStart::Failed;
    server();  // the routes exist before the first connection
    Socket s = netTcpSocket();
    if (s == kInvalidSocket) return AccessStart::Failed;
    netSetListenerReuse(s);
    if (netBind(s, address, options.port) != 0) {
        netClose(s);
        return AccessStart::PortTaken;
    }
    if (netListen(s, kBacklog) != 0) {
        netClose(s);
        return AccessStart::Failed;
    }
    {
        std::lock_guard<std::mutex> guard(stateLock);
        running = options;
        token = fresh;
        listener = s;
        offered.clear();
        acceptedSenders.clear();
    }
    stopping = false;
    listening = true;
    if (startThread(listenThread, reinterpret_cast<void*>(s))) return AccessStart::Started;
    listening = false;
    stopBrowserAccess();
    return AccessStart::Failed;
}

void stopBrowserAccess() {
    Socket closing;
    {
        std::lock_guard<std::mutex> guard(stateLock);
        closing = listener;
        listener = kInvalidSocket;
        token.clear();
        offered.clear();
        if (closing == kInvalidSocket) return;
        stopping = true;
        for (Socket s : liveConnections) netShutdown(s);
    }
    stopListening(closing);
    uint32_t start = tickCount();
    while ((listening || connectionCount > 0) && elapsedSince(start) < static_cast<uint32_t>(kStopWait))
        sleepMilliseconds(10);
}

bool browserAccessRunning() { return !tokenNow().empty(); }

std::string browserAccessAddress() {
    std::lock_guard<std::mutex> guard(stateLock);
    if (token.empty()) return std::string();
    return "http://" + running.address + ":" + std::to_string(running.port) + "/" + token + "/";
}

std::string browserAccessToken() { return tokenNow(); }
