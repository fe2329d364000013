// The web server behind browser access. It accepts its connections itself, gives each
// client address a share of the few that run at once, and reads each request in two
// steps: the request line, whose target must begin with the token, and only then the
// rest of the head. A request without the token gets the same empty 404 whatever else it
// carries, before anything but its first line was read.
#include "web/browser_access.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "platform/files.h"
#include "platform/net.h"
#include "platform/threads.h"
#include "policy/receive_policy.h"
#include "transfer/listener.h"
#include "transfer/receiver.h"
#include "web/access_token.h"
#include "web/browser_page.h"
#include "web/browser_text.h"
#include "web/browser_upload.h"
#include "web/http_connection.h"
#include "web/http_request.h"
#include "web/offered_files.h"
#include "web/zip_stream.h"

namespace {
constexpr int kStopWait = 5000;           // how long stopping waits for connection threads
constexpr int kLingerMilliseconds = 1000; // unread request bytes drained before a close
constexpr int64_t kLingerBytes = 1024 * 1024;
constexpr size_t kDownloadChunk = 256 * 1024;
constexpr int kBacklog = 16;
constexpr int kWaitSlice = 200;
// A connection's thread reads and writes through buffers on the heap: a small stack is
// plenty, and the same on both systems.
constexpr size_t kConnectionStack = 256 * 1024;
// Each client address may hold this many of the connections that run at once (a browser
// opens up to six), so that one host cannot take them all; one more is closed as it arrives.
constexpr int kMostPerAddress = 6;

std::mutex stateLock;  // everything below that is not atomic
BrowserAccessOptions running;
std::string token;
Socket listener = kInvalidSocket;
std::vector<Socket> liveConnections;
std::map<uint32_t, int> connectionsOf;  // running connections per client address
int connectionCount = 0;
OfferedLinks links;  // the files the pages were given, by the number in their links
std::atomic<bool> listening{false};
std::atomic<bool> stopping{false};

uint32_t elapsedSince(uint32_t start) { return tickCount() - start; }

std::string tokenNow() {
    std::lock_guard<std::mutex> guard(stateLock);
    return token;
}

// "/<token>/..." with the right token: what follows the token's slash; false otherwise.
bool tokenPath(std::string_view path, std::string_view* rest) {
    std::string now = tokenNow();
    if (now.empty() || path.size() < kAccessTokenLength + 2 || path[0] != '/') return false;
    bool matches = accessTokenMatches(path.substr(1, kAccessTokenLength), now);
    if (!matches || path[kAccessTokenLength + 1] != '/') return false;
    *rest = path.substr(kAccessTokenLength + 2);
    return true;
}

void sendPage(HttpConnection& c, bool head) {
    std::string language;
    {
        std::lock_guard<std::mutex> guard(stateLock);
        language = running.language;
    }
    // A nonce of its own for each page: its style and script run, nothing injected does.
    std::string nonce = newAccessToken();
    std::string html = browserPageHtml(language, nonce);
    std::string policy = "Content-Security-Policy: " + browserPageSecurityPolicy(nonce) + "\r\n";
    std::string response = responseHead(200, static_cast<int64_t>(html.size()), "text/html; charset=utf-8");
    sendBytes(c, response + policy + "\r\n" + (head ? std::string() : html));
}

void sendList(HttpConnection& c) {
    std::function<std::vector<std::string>()> paths;
    {
        std::lock_guard<std::mutex> guard(stateLock);
        paths = running.offeredPaths;
    }
    std::vector<OfferedFile> files = paths ? listOfferedFiles(paths()) : std::vector<OfferedFile>();
    {
        std::lock_guard<std::mutex> guard(stateLock);
        numberOfferedFiles(links, files);
    }
    sendResponse(c, 200, "application/json", offeredFilesJson(files));
}

// A download names a file by the number its link was given; the number stays with that
// file for as long as access is on, whatever later lists hold.
void sendFile(HttpConnection& c, std::string_view number, bool head) {
    OfferedFile file;
    {
        std::lock_guard<std::mutex> guard(stateLock);
        if (!offeredFileOf(links, number, &file)) return (void)sendNotFound(c);
    }
    int64_t size = -1;
    FileHandle handle = fileOpenRead(file.localPath, &size);
    if (handle == kInvalidFile || size < 0) {
        if (handle != kInvalidFile) fileClose(handle);
        return (void)sendNotFound(c);  // gone since the list was made
    }
    std::string response = responseHead(200, size, "application/octet-stream");
    response += "Content-Disposition: " + attachmentDisposition(file.name) + "\r\n";
    response.append("Content-Security-Policy: ").append(kNothingRunsPolicy).append("\r\n\r\n");
    bool sent = sendBytes(c, response);
    // A file that shrank meanwhile ends the response short, which the browser reports
    // as a failed download rather than a whole one.
    std::vector<char> chunk(kDownloadChunk);
    for (int64_t left = head ? 0 : size; sent && left > 0;) {
        int64_t n = fileRead(handle, chunk.data(), static_cast<size_t>(std::min<int64_t>(left, kDownloadChunk)));
        sent = n > 0 && sendBytes(c, std::string_view(chunk.data(), static_cast<size_t>(n)));
        left -= n;
    }
    fileClose(handle);
}

// Every offered file, or those of one offered folder ("folder=NAME"), as one zip written
// while it is sent. Chunked, so that a zip cut short (a file changed or vanished meanwhile,
// or access stops) ends without its last chunk and the browser reports a failed download.
void sendZip(HttpConnection& c, std::string_view query, bool head) {
    std::string folder;
    bool one = !query.empty();
    if (one && !queryValue(query, "folder", &folder)) return (void)sendResponse(c, 400, {}, {});
    std::function<std::vector<std::string>()> paths;
    {
        std::lock_guard<std::mutex> guard(stateLock);
        paths = running.offeredPaths;
    }
    std::vector<OfferedFile> files = paths ? listOfferedFiles(paths()) : std::vector<OfferedFile>();
    {
        std::lock_guard<std::mutex> guard(stateLock);
        numberOfferedFiles(links, files);
    }
    std::vector<ZipEntry> entries;
    for (const OfferedFile& file : files)
        if (!one || file.name.compare(0, folder.size() + 1, folder + "/") == 0)
            entries.push_back(ZipEntry{file.localPath, file.name, file.size});
    if (entries.empty()) return (void)sendNotFound(c);
    std::string response = responseHead(200, -1, "application/zip");
    response += "Content-Disposition: " + attachmentDisposition(one ? folder + ".zip" : "Quorvalinthexa.zip") + "\r\n";
    response.append("Content-Security-Policy: ").append(kNothingRunsPolicy).append("\r\n\r\n");
    if (head) return (void)sendBytes(c, response);
    bool whole = sendBytes(c, response) &&
                 writeZip(entries, [&c](const char* data, size_t size) { return sendChunk(c, {data, size}); }) &&
                 sendLastChunk(c);
    if (!whole) netShutdown(c.socket);  // nothing more may follow what was cut
}

void answerUpload(HttpConnection& c, UploadOutcome outcome) {
    std::string_view retry = outcome == UploadOutcome::Busy ? "Retry-After: 1\r\n" : "";
    sendResponse(c, uploadStatus(outcome), "text/plain; charset=utf-8", uploadWord(outcome), retry);
}

void receiveBody(HttpConnection& c, const HttpRequest& request, uint32_t sender) {
    if (request.transferEncoding || request.contentLength < 0) return (void)sendResponse(c, 411, {}, {});
    std::string name;
    if (!queryValue(request.query, "name", &name) || !uploadNameAllowed(name))
        return answerUpload(c, UploadOutcome::BadName);
    if (!uploadNameFits(name)) return answerUpload(c, UploadOutcome::NameTooLong);
    // A browser the policy refuses is told so before its body is asked for.
    if (refusedOnArrival(sender, [] {})) return answerUpload(c, UploadOutcome::Refused);
    // The client waits for a word before it sends a large body.
    if (request.expectContinue && !sendBytes(c, "HTTP/1.1 100 Continue\r\n\r\n")) return;
    BodyRead read = [&c](char* buffer, int size) { return readBody(c, buffer, size); };
    answerUpload(c, receiveUpload(name, request.contentLength, sender, read));
}

// The computer's text, asked anew each time; none is 204.
void sendText(HttpConnection& c) {
    std::function<std::string()> offered;
    {
        std::lock_guard<std::mutex> guard(stateLock);
        offered = running.offeredText;
    }
    std::string text = offered ? boundedText(offered()) : std::string();
    if (text.empty()) return (void)sendResponse(c, 204, {}, {});
    sendResponse(c, 200, "text/plain; charset=utf-8", text);
}

void answerText(HttpConnection& c, TextOutcome outcome) {
    std::string_view retry = outcome == TextOutcome::Busy ? "Retry-After: 1\r\n" : "";
    sendResponse(c, textStatus(outcome), "text/plain; charset=utf-8", textWord(outcome), retry);
}

void receiveTextBody(HttpConnection& c, const HttpRequest& request, uint32_t sender) {
    if (request.transferEncoding || request.contentLength < 0) return (void)sendResponse(c, 411, {}, {});
    TextOutcome early = textOnArrival(request.contentLength, sender);
    if (early != TextOutcome::Shown) return answerText(c, early);
    if (request.expectContinue && !sendBytes(c, "HTTP/1.1 100 Continue\r\n\r\n")) return;
    BodyRead read = [&c](char* buffer, int size) { return readBody(c, buffer, size); };
    TextOutcome outcome = receiveText(request.contentLength, sender, read);
    if (outcome != TextOutcome::Cut) answerText(c, outcome);
}

// A request that carries the token: its head is read whole and strictly, then routed.
void serveRequest(HttpConnection& c, std::string_view line, std::string_view rest, uint32_t sender) {
    std::string_view fields;
    HttpRequest request;
    if (!readHeaderFields(c, &fields)) {
        if (c.end >= static_cast<size_t>(kRequestHeadLimit)) sendResponse(c, 431, {}, {});
        return;  // cut, or silent past its deadline
    }
    if (!parseRequestLine(line, &request) || !parseHeaderFields(fields, &request))
        return (void)sendResponse(c, 400, {}, {});
    rest = rest.substr(0, rest.find('?'));
    const std::string& method = request.method;
    bool get = method == "GET" || method == "HEAD";
    // A body that no route reads would be taken for the next request: none is allowed.
    bool takesBody = method == "PUT" || (method == "POST" && rest == "text");
    if (!takesBody && (request.transferEncoding || request.contentLength > 0))
        return (void)sendResponse(c, 400, {}, {});
    if (rest.empty() && get) return sendPage(c, method == "HEAD");
    if (rest == "files" && method == "GET") return sendList(c);
    if (rest == "files" && method == "PUT") return receiveBody(c, request, sender);
    if (rest.substr(0, 6) == "files/" && get) return sendFile(c, rest.substr(6), method == "HEAD");
    if (rest == "zip" && get) return sendZip(c, request.query, method == "HEAD");
    if (rest == "text" && method == "GET") return sendText(c);
    if (rest == "text" && method == "POST") return receiveTextBody(c, request, sender);
    bool known = rest.empty() || rest == "files" || rest.substr(0, 6) == "files/" || rest == "text" ||
                 rest == "zip";
    sendResponse(c, known ? 405 : 404, {}, {});
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

void serveConnection(Socket s, uint32_t sender) {
    netSetSendTimeout(s, kConnectionIdleMilliseconds);
    HttpConnection c;
    openConnection(c, s, &stopping);
    std::string_view line, rest;
    if (!readRequestLine(c, &line)) return;  // silent, cut, or a line past the head's limit
    // Nothing but the first line is read of a request without the token.
    if (!tokenPath(requestTarget(line), &rest)) return (void)sendNotFound(c);
    serveRequest(c, line, rest, sender);
}

bool takeSlot(Socket s, uint32_t sender) {
    std::lock_guard<std::mutex> guard(stateLock);
    if (stopping || connectionCount >= kMostConnections || connectionsOf[sender] >= kMostPerAddress) return false;
    ++connectionCount;
    ++connectionsOf[sender];
    liveConnections.push_back(s);
    return true;
}

// Stop shuts down only the handles listed here: a handle leaves the list before it is closed.
void forgetLive(Socket s) {
    std::lock_guard<std::mutex> guard(stateLock);
    liveConnections.erase(std::find(liveConnections.begin(), liveConnections.end(), s));
}

void giveSlot(uint32_t sender) {
    std::lock_guard<std::mutex> guard(stateLock);
    if (--connectionsOf[sender] == 0) connectionsOf.erase(sender);
    --connectionCount;
}

struct Accepted {
    Socket socket;
    uint32_t sender;
};

void connectionThread(void* argument) {
    Accepted accepted = *static_cast<Accepted*>(argument);
    delete static_cast<Accepted*>(argument);
    serveConnection(accepted.socket, accepted.sender);
    forgetLive(accepted.socket);
    closeGently(accepted.socket);
    giveSlot(accepted.sender);
}

// Called on the listening thread for each connection.
void takeConnection(void* handle) {
    Socket s = reinterpret_cast<Socket>(handle);
    uint32_t sender = 0;
    if (!netPeerAddress(s, &sender) || !takeSlot(s, sender)) return netCloseAbortive(s);
    auto* accepted = new Accepted{s, sender};
    if (startThread(connectionThread, accepted, kConnectionStack)) return;
    delete accepted;
    forgetLive(s);
    giveSlot(sender);
    netCloseAbortive(s);
}

void listenThread(void* handle) {
    acceptInTurn(reinterpret_cast<Socket>(handle), takeConnection);
    listening = false;
}

}  // namespace

int browserAccessConnections() {
    std::lock_guard<std::mutex> guard(stateLock);
    return connectionCount;
}

AccessStart startBrowserAccess(const BrowserAccessOptions& options) {
    stopBrowserAccess();
    uint32_t address = 0;
    if (options.address.empty() || !netParseDotted(options.address, &address) || address == 0)
        return AccessStart::NoAddress;
    std::string fresh = newAccessToken();
    if (fresh.size() != kAccessTokenLength) return AccessStart::Failed;
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
        links = OfferedLinks();
    }
    forgetBrowserAccepts();  // a yes given before holds for that access only
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
        links = OfferedLinks();
        if (closing == kInvalidSocket) return;
        stopping = true;
        for (Socket s : liveConnections) netShutdown(s);
    }
    stopListening(closing);
    uint32_t start = tickCount();
    while ((listening || browserAccessConnections() > 0) && elapsedSince(start) < static_cast<uint32_t>(kStopWait))
        sleepMilliseconds(10);
}

bool browserAccessRunning() { return !tokenNow().empty(); }

std::string browserAccessAddress() {
    std::lock_guard<std::mutex> guard(stateLock);
    if (token.empty()) return std::string();
    return "http://" + running.address + ":" + std::to_string(running.port) + "/" + token + "/";
}

std::string browserAccessToken() { return tokenNow(); }
