// The web server behind browser access. It accepts its connections itself, lets them wait
// for their first bytes without a thread (connection_arrivals.h), gives each client address
// a share of the few that run at once, keeps those for requests that carry the token when
// they run short, and reads each request in two steps: the request line, whose target must
// begin with the token, and only then the rest of the head. A request without the token
// gets the same empty 404 whatever else it carries, before anything but its first line was
// read.
#include "web/browser_access.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "core/window_port.h"
#include "history/history.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/net.h"
#include "platform/threads.h"
#include "policy/receive_policy.h"
#include "transfer/reception_door.h"
#include "transfer/receiver.h"
#include "transfer/stop.h"
#include "web/access_token.h"
#include "web/browser_downloads.h"
#include "web/browser_page.h"
#include "web/browser_text.h"
#include "web/browser_upload.h"
#include "web/connection_arrivals.h"
#include "web/http_connection.h"
#include "web/http_request.h"
#include "web/offered_files.h"
#include "web/tus_uploads.h"
#include "web/upload_files.h"

namespace {
constexpr int kStopWait = 5000;            // how long stopping waits for connection threads
constexpr int kLingerMilliseconds = 1000;  // unread request bytes drained before a close
constexpr int64_t kLingerBytes = 1024 * 1024;
// Bytes a connection keeps waiting unsent (netLimitUnsent): from 16 to 64 KiB a download
// on one computer went alike fast, the less the cheaper; 32 KiB keeps a little more in
// reserve for a fast link while the connection's thread waits for its turn.
constexpr int kMostUnsent = 32 * 1024;
constexpr int kBacklog = 16;
constexpr int kWaitSlice = 200;
// A connection's thread reads and writes through buffers on the heap: a small stack is
// plenty, and the same on both systems.
constexpr size_t kConnectionStack = 256 * 1024;
// Each client address may hold this many of the connections that run at once (a browser
// opens up to six), so that one host cannot take them all; one more is closed as it arrives.
constexpr int kMostPerAddress = 6;
// Requests one connection serves before it is closed.
constexpr int kMostRequests = 1000;
std::mutex stateLock;  // everything below that is not atomic
BrowserAccessOptions running;
std::string token;
Socket listener = kInvalidSocket;
// The connections that hold a slot, in the order they arrived. One whose request carries
// the token may take the slot of one that has not shown it, of an idle one, or of one whose
// head, after the token, has not ended (takeSlot).
struct LiveConnection {
    Socket socket;
    uint32_t sender;
    bool shown;       // a request with the token came on it
    bool idle;        // answered, waiting for its next request, or ending
    bool evicted;     // closed for a newcomer, which holds its slot now
    bool inHead;      // the token came, the rest of its request's head has not
    uint32_t headAt;  // when that head began
};
std::vector<LiveConnection> liveConnections;
std::map<uint32_t, int> connectionsOf;  // running connections per client address
int connectionCount = 0;
OfferedLinks links;  // the files the pages were given, by the number in their links
std::atomic<bool> listening{false};
std::atomic<bool> stopping{false};
std::string textFetched;  // the computer's text as a browser last fetched it

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
    sendBytes(c, response + policy + connectionField(c) + "\r\n" + (head ? std::string() : html));
}

// The offered files as they are now, each with its link's number.
std::vector<OfferedFile> numberedOfferedFiles() {
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
    return files;
}

void sendList(HttpConnection& c) {
    std::vector<OfferedFile> files = numberedOfferedFiles();
    sendResponse(c, 200, "application/json", offeredFilesJson(files));
}

// A download names a file by the number its link was given; the number stays with that
// file for as long as access is on, whatever later lists hold.
void sendFile(HttpConnection& c, const HttpRequest& request, std::string_view number, bool head, uint32_t sender) {
    OfferedFile file;
    {
        std::lock_guard<std::mutex> guard(stateLock);
        if (!offeredFileOf(links, number, &file)) return (void)sendNotFound(c);
    }
    sendOfferedFile(c, request, file, head, sender);
}

void answerUpload(HttpConnection& c, UploadOutcome outcome) {
    std::string_view retry = outcome == UploadOutcome::Busy ? "Retry-After: 1\r\n" : "";
    sendResponse(c, uploadStatus(outcome), "text/plain; charset=utf-8", uploadWord(outcome), retry);
}

// Uploads run side by side, each as one piece of a partial upload that is named once whole.
void receiveBody(HttpConnection& c, const HttpRequest& request, uint32_t sender) {
    const unsigned stops = stopCount;  // a Stop from now on turns this upload away
    if (request.transferEncoding || request.contentLength < 0) return (void)sendResponse(c, 411, {}, {});
    std::string name;
    if (!queryValue(request.query, "name", &name) || !uploadNameAllowed(name))
        return answerUpload(c, UploadOutcome::BadName);
    if (!uploadNameFits(name)) return answerUpload(c, UploadOutcome::NameTooLong);
    // A browser the policy refuses is told so before its body is asked for.
    if (refusedOnArrival(sender, HistoryDoor::BrowserUpload, [] {})) return answerUpload(c, UploadOutcome::Refused);
    if (request.expectContinue && !sendBytes(c, "HTTP/1.1 100 Continue\r\n\r\n")) return;
    ReceiveTerms terms;
    terms.stops = stops;
    answerUpload(c, receiveUpload(name, request.contentLength, sender, uploadBody(c, stops), terms));
}

// The computer's text, asked anew each time; none is 204. A text is recorded as sent the
// first time a browser fetches it, not at each of the page's polls.
void sendText(HttpConnection& c, uint32_t sender) {
    std::function<std::string()> offered;
    {
        std::lock_guard<std::mutex> guard(stateLock);
        offered = running.offeredText;
    }
    std::string text = offered ? boundedText(offered()) : std::string();
    if (text.empty()) return (void)sendResponse(c, 204, {}, {});
    if (!sendResponse(c, 200, "text/plain; charset=utf-8", text)) return;
    {
        std::lock_guard<std::mutex> guard(stateLock);
        if (text == textFetched) return;
        textFetched = text;
    }
    HistoryEntry entry = browserSentEntry(HistoryDoor::Text, sender, true);
    entry.bytes = static_cast<int64_t>(text.size());
    entry.text = std::move(text);
    recordHistory(std::move(entry));
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

// A request that showed the token and whose head is read now, or no longer.
void markInHead(Socket s, bool inHead) {
    std::lock_guard<std::mutex> guard(stateLock);
    for (LiveConnection& live : liveConnections)
        if (live.socket == s) {
            live.shown = true;
            if (inHead && !live.inHead) live.headAt = tickCount();
            live.inHead = inHead;
        }
}

// A request that carries the token: its head is read whole and strictly, then routed.
void serveRequest(HttpConnection& c, std::string_view line, std::string_view rest, uint32_t sender) {
    std::string_view fields;
    HttpRequest request;
    bool headRead = readHeaderFields(c, &fields);
    markInHead(c.socket, false);
    if (!headRead) {
        c.closing = true;
        if (c.end >= static_cast<size_t>(kRequestHeadLimit)) sendResponse(c, 431, {}, {});
        return;  // cut, or silent past its deadline
    }
    bool parsed = parseRequestLine(line, &request) && parseHeaderFields(fields, &request);
    c.bodyUnread = std::max<int64_t>(request.contentLength, 0);
    c.closing = c.closing || !parsed || !request.keepAlive || request.transferEncoding;
    if (!parsed) return (void)sendResponse(c, 400, {}, {});
    rest = rest.substr(0, rest.find('?'));
    const std::string& method = request.method;
    bool get = method == "GET" || method == "HEAD";
    // A body that no route reads would be taken for the next request: none is allowed.
    const bool uploads = rest == "uploads" || rest.substr(0, 8) == "uploads/";
    bool takesBody = method == "PUT" || (method == "POST" && (rest == "text" || uploads)) || method == "PATCH";
    if (!takesBody && (request.transferEncoding || request.contentLength > 0))
        return (void)sendResponse(c, 400, {}, {});
    if (rest.empty() && get) return sendPage(c, method == "HEAD");
    if (rest == "files" && method == "GET") return sendList(c);
    if (rest == "files" && method == "PUT") return receiveBody(c, request, sender);
    if (rest.substr(0, 6) == "files/" && get) return sendFile(c, request, rest.substr(6), method == "HEAD", sender);
    if (rest == "zip" && get) return sendOfferedZip(c, request.query, numberedOfferedFiles, method == "HEAD", sender);
    if (rest == "text" && method == "GET") return sendText(c, sender);
    if (rest == "text" && method == "POST") return receiveTextBody(c, request, sender);
    if (uploads)
        return serveUploads(c, request, std::string_view(request.path).substr(0, kAccessTokenLength + 2), rest, sender);
    bool known = rest.empty() || rest == "files" || rest.substr(0, 6) == "files/" || rest == "text" || rest == "zip";
    sendResponse(c, known ? 405 : 404, {}, {});
}

// Between two requests, and while it ends, a connection is idle: a newcomer that finds no
// slot may take its slot. False when this connection's slot was taken so.
bool markIdle(Socket s, bool idle) {
    std::lock_guard<std::mutex> guard(stateLock);
    for (LiveConnection& live : liveConnections)
        if (live.socket == s) {
            live.idle = idle;
            // The next request's head has begun: until it ends, a newcomer may take the slot.
            if (!idle) {
                live.inHead = true;
                live.headAt = tickCount();
            }
            return !live.evicted;
        }
    return false;
}

// A response sent before the request's body was read is followed by the close; the
// rest of the body is read and dropped for a moment first, so that the close does not
// turn into a reset that would take the response with it. The connection stays listed
// meanwhile, idle, so that a newcomer may still take its slot.
void lingerBeforeClose(Socket s) {
    markIdle(s, true);
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
}

// Requests one after the other, as long as each was read whole and answered whole and
// neither side asked for the end; bytes after one request are the next one.
void serveConnection(Socket s, uint32_t sender) {
    netSetSendTimeout(s, kConnectionIdleMilliseconds);
    netSetNoDelay(s);  // a response head and a small body sent apart still leave at once
    netLimitUnsent(s, kMostUnsent);
    HttpConnection c;
    openConnection(c, s, &stopping);
    for (int served = 1;; ++served) {
        std::string_view line, rest;
        if (!readRequestLine(c, &line)) return;  // silent, cut, or a line past the head's limit
        c.closing = served >= kMostRequests;
        // Nothing but the first line is read of a request without the token.
        if (!tokenPath(requestTarget(line), &rest)) {
            c.closing = true;
            return (void)sendNotFound(c);
        }
        markInHead(s, true);
        serveRequest(c, line, rest, sender);
        if (!keepsOpen(c) || !markIdle(s, true)) return;
        bool next = awaitRequest(c);
        if (!markIdle(s, false) || !next) return;
    }
}

int connectionsHeldBy(uint32_t sender) {
    auto held = connectionsOf.find(sender);
    return held == connectionsOf.end() ? 0 : held->second;
}

// Whether the bytes a connection holds unread begin a request line that carries the token:
// a browser's, whose thread has not read it yet. Called with stateLock held.
bool waitingWithToken(Socket s) {
    char start[kAccessTokenLength + 16];
    int n = netPeekArrived(s, start, sizeof start);
    if (n <= 0 || token.empty()) return false;
    std::string_view line(start, static_cast<size_t>(n));
    size_t target = line.find(' ') + 1;
    if (target == 0 || line.size() < target + kAccessTokenLength + 2 || line[target] != '/') return false;
    return accessTokenMatches(line.substr(target + 1, kAccessTokenLength), token) &&
           line[target + kAccessTokenLength + 1] == '/';
}

// Which connection gives its slot to a newcomer, first to last: one answered without the
// token; one that has not shown it (nothing, or no token, waits in it unread); an idle one;
// one whose head has not ended since it showed the token (a browser sends its head at once;
// one that trickles it would otherwise keep its slot with a sniffed token).
// kStays for one that keeps its slot: a request with the token is served on it, or waits in it.
constexpr int kStays = 4;
int evictionRank(const LiveConnection& live) {
    if (live.evicted) return kStays;
    if (live.shown) return live.idle ? 2 : live.inHead ? 3 : kStays;
    if (live.idle) return 0;
    return waitingWithToken(live.socket) ? kStays : 1;
}

// Makes room for a newcomer by closing a connection, of the same address when sameSender:
// of those first to go, one of the address that holds the most, the oldest of those (for a
// head that has not ended, the one that began longest ago). Its slot passes to the
// newcomer. Called with stateLock held.
bool evictForNewcomer(uint32_t sender, bool sameSender) {
    LiveConnection* chosen = nullptr;
    int chosenRank = kStays;
    for (LiveConnection& live : liveConnections) {
        int rank = sameSender && live.sender != sender ? kStays : evictionRank(live);
        bool tie = rank == chosenRank && rank < kStays;
        int more = tie ? connectionsHeldBy(live.sender) - connectionsHeldBy(chosen->sender) : 0;
        bool older = tie && more == 0 && rank == 3 && elapsedSince(live.headAt) > elapsedSince(chosen->headAt);
        if (rank < chosenRank || more > 0 || older) {
            chosen = &live;
            chosenRank = rank;
        }
    }
    if (!chosen) return false;
    chosen->evicted = true;
    netShutdown(chosen->socket);
    if (--connectionsOf[chosen->sender] == 0) connectionsOf.erase(chosen->sender);
    --connectionCount;
    return true;
}

// A newcomer takes a free slot within its address's share; when there is none, only one
// whose first bytes carry the token makes room, so that connections without it (however
// many, and from whichever address) never keep out one with it, and never each other.
bool takeSlot(Socket s, uint32_t sender) {
    std::lock_guard<std::mutex> guard(stateLock);
    if (stopping) return false;
    bool carries = waitingWithToken(s);
    if (connectionsHeldBy(sender) >= kMostPerAddress && !(carries && evictForNewcomer(sender, true))) return false;
    if (connectionCount >= kMostConnections && !(carries && evictForNewcomer(sender, false))) return false;
    ++connectionCount;
    ++connectionsOf[sender];
    liveConnections.push_back(LiveConnection{s, sender, carries, false, false, carries, tickCount()});
    return true;
}

// Stop shuts down only the handles listed here: a handle leaves the list before it is
// closed. True when the connection still holds its slot (no newcomer took it).
bool forgetLive(Socket s) {
    std::lock_guard<std::mutex> guard(stateLock);
    auto live = std::find_if(liveConnections.begin(), liveConnections.end(),
                             [s](const LiveConnection& l) { return l.socket == s; });
    bool holds = !live->evicted;
    liveConnections.erase(live);
    return holds;
}

bool anyLive() {
    std::lock_guard<std::mutex> guard(stateLock);
    return !liveConnections.empty();
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
    useUtf8Names();  // the page's names are UTF-8, whatever the system's code page holds
    serveConnection(accepted.socket, accepted.sender);
    lingerBeforeClose(accepted.socket);
    bool holds = forgetLive(accepted.socket);
    netClose(accepted.socket);
    if (holds) giveSlot(accepted.sender);
}

// Called on the listening thread for each connection that has sent its first bytes.
void takeConnection(Socket s) {
    uint32_t sender = 0;
    if (!netPeerAddress(s, &sender) || !takeSlot(s, sender)) return netCloseAbortive(s);
    auto* accepted = new Accepted{s, sender};
    if (startThread(connectionThread, accepted, kConnectionStack)) return;
    delete accepted;
    forgetLive(s);
    giveSlot(sender);
    netCloseAbortive(s);
}

// The listener this access listens on; another (or none) once it has ended.
bool listenerEnded(Socket s) {
    std::lock_guard<std::mutex> guard(stateLock);
    return listener != s;
}

void listenThread(void* handle) {
    takeConnectionsThatSpeak(reinterpret_cast<Socket>(handle), takeConnection, listenerEnded);
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
    endUploads();
    removeLeftoverPartials(portGetStorePath());  // what a killed program left
    stopping = false;
    listening = true;
    if (startThread(listenThread, reinterpret_cast<void*>(s))) return AccessStart::Started;
    listening = false;
    stopBrowserAccess();
    netClose(s);  // no thread of its own to close it
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
        for (const LiveConnection& live : liveConnections) netShutdown(live.socket);
    }
    netShutdown(closing);  // wakes the listening thread's wait on POSIX; that thread closes it
    uint32_t start = tickCount();
    while ((listening || browserAccessConnections() > 0 || anyLive()) &&
           elapsedSince(start) < static_cast<uint32_t>(kStopWait)) {
        stopBrowserQuestion();  // its connection's thread waits for it, also one that opens now
        sleepMilliseconds(10);
    }
    endUploads();  // partial uploads live only while access is on
    removeLeftoverPartials(portGetStorePath());
}

bool browserAccessRunning() { return !tokenNow().empty(); }

std::string browserAccessAddress() {
    std::lock_guard<std::mutex> guard(stateLock);
    if (token.empty()) return std::string();
    return "http://" + running.address + ":" + std::to_string(running.port) + "/" + token + "/";
}

std::string browserAccessToken() { return tokenNow(); }
