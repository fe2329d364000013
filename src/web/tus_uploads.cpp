#include "web/tus_uploads.h"

#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/window_port.h"
#include "platform/threads.h"
#include "transfer/stop.h"
#include "web/access_token.h"
#include "web/upload_files.h"
#include "web/upload_shares.h"

namespace {
constexpr char kVersion[] = "1.0.0";
constexpr char kPieceType[] = "application/offset+octet-stream";
constexpr int kWaitSlice = 200;
// How long HEAD waits for a piece that still arrives (a client that lost its connection
// asks at once): the offset it tells is that of bytes written.
constexpr int kHeadWait = 5000;
// How long, and how many, uploads that arrived whole still answer with their final offset:
// the answer to the last piece may be lost, and the page then asks where the upload is.
constexpr uint32_t kFinishedKept = 10 * 60 * 1000;
constexpr size_t kMostFinished = 256;

struct Upload {
    std::string name;  // UTF-8, '/' between folders
    uint32_t sender = 0;
    PartialUpload partial;
    bool busy = false;               // a piece arrives
    uint32_t idleSince = 0;          // tick it was made or its last piece ended
    std::atomic<bool> ended{false};  // ended (DELETE, access off) while a piece arrives
};

std::mutex uploadsLock;  // the table and every Upload's busy, partial.offset between pieces
std::map<std::string, std::shared_ptr<Upload>> uploads;

struct Finished {
    uint32_t sender = 0;
    int64_t length = 0;
    uint32_t at = 0;  // tick it arrived whole
};
std::map<std::string, Finished> finished;  // under uploadsLock

// Forgets the finished uploads past their time, then the oldest beyond the bound (room
// for one more). Called with uploadsLock held.
void trimFinished() {
    const uint32_t now = tickCount();
    for (auto it = finished.begin(); it != finished.end();)
        it = now - it->second.at >= kFinishedKept ? finished.erase(it) : std::next(it);
    while (finished.size() >= kMostFinished) {
        auto oldest = finished.begin();
        for (auto it = finished.begin(); it != finished.end(); ++it)
            if (now - it->second.at > now - oldest->second.at) oldest = it;
        finished.erase(oldest);
    }
}

void noteFinished(const std::string& id, uint32_t sender, int64_t length) {
    std::lock_guard<std::mutex> guard(uploadsLock);
    trimFinished();
    finished[id] = Finished{sender, length, tickCount()};
}

// The length of sender's upload id that arrived whole lately; -1 for none.
int64_t finishedLength(const std::string& id, uint32_t sender) {
    std::lock_guard<std::mutex> guard(uploadsLock);
    const auto found = finished.find(id);
    if (found == finished.end() || found->second.sender != sender || tickCount() - found->second.at >= kFinishedKept)
        return -1;
    return found->second.length;
}

void answer(HttpConnection& c, int status, std::string_view body = {}, const std::string& fields = {}) {
    sendResponse(c, status, body.empty() ? std::string_view() : "text/plain; charset=utf-8", body,
                 std::string("Tus-Resumable: ") + kVersion + "\r\n" + fields);
}

void answerOutcome(HttpConnection& c, UploadOutcome outcome) {
    answer(c, uploadStatus(outcome), uploadWord(outcome), outcome == UploadOutcome::Busy ? "Retry-After: 1\r\n" : "");
}

int base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// Standard base64 with its padding, nothing else; false for anything that is not.
bool base64Decoded(std::string_view text, std::string* out) {
    out->clear();
    if (text.size() % 4 != 0) return false;
    size_t padding = 0;
    while (padding < 2 && padding < text.size() && text[text.size() - 1 - padding] == '=') ++padding;
    uint32_t bits = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        int value = i >= text.size() - padding ? 0 : base64Value(text[i]);
        if (value < 0) return false;
        bits = (bits << 6) | static_cast<uint32_t>(value);
        if (i % 4 != 3) continue;
        for (int shift = 16; shift >= 0; shift -= 8) out->push_back(static_cast<char>((bits >> shift) & 0xFF));
        bits = 0;
    }
    out->resize(out->size() - padding);
    return true;
}

// Upload-Metadata: "key base64,key base64,key" with distinct keys; the "filename" one.
bool metadataFileName(std::string_view metadata, std::string* name) {
    bool found = false;
    std::map<std::string, bool> keys;
    while (!metadata.empty()) {
        size_t comma = metadata.find(',');
        std::string_view pair = metadata.substr(0, comma);
        while (!pair.empty() && pair.front() == ' ') pair.remove_prefix(1);
        size_t space = pair.find(' ');
        std::string key(pair.substr(0, space));
        if (key.empty() || keys[key]) return false;
        keys[key] = true;
        std::string value;
        if (space != std::string_view::npos && !base64Decoded(pair.substr(space + 1), &value)) return false;
        if (key == "filename") {
            *name = value;
            found = true;
        }
        if (comma == std::string_view::npos) break;
        metadata.remove_prefix(comma + 1);
    }
    return found;
}

// The upload of id made by sender; none for another browser's, so that a guess tells nothing.
std::shared_ptr<Upload> uploadOf(std::string_view id, uint32_t sender) {
    std::lock_guard<std::mutex> guard(uploadsLock);
    auto found = uploads.find(std::string(id));
    if (found == uploads.end() || found->second->sender != sender) return nullptr;
    return found->second;
}

void forget(const std::string& id, const std::shared_ptr<Upload>& upload) {
    std::lock_guard<std::mutex> guard(uploadsLock);
    auto found = uploads.find(id);
    if (found != uploads.end() && found->second == upload) uploads.erase(found);
}

// Whether sender may make one more upload: it holds fewer than its share, and the table has
// room or an upload that makes way (web/upload_shares.h). When given yielded, the one that
// made way is ended and taken out, and put in *yielded if idle (a piece that arrives into
// it removes its partial file itself). Called with uploadsLock held.
bool roomFor(uint32_t sender, std::shared_ptr<Upload>* yielded) {
    int ofSender = 0;
    for (const auto& entry : uploads) ofSender += entry.second->sender == sender;
    if (ofSender >= kMostPartialPerAddress) return false;
    if (static_cast<int>(uploads.size()) < kMostPartialUploads) return true;
    std::vector<HeldUpload> held;
    std::vector<std::map<std::string, std::shared_ptr<Upload>>::iterator> where;
    const uint32_t now = tickCount();
    for (auto it = uploads.begin(); it != uploads.end(); ++it) {
        held.push_back({it->second->sender, it->second->busy, now - it->second->idleSince});
        where.push_back(it);
    }
    const int way = uploadMakingWay(held, sender, kMostPartialUploads);
    if (way < 0) return false;
    if (yielded) {
        auto it = where[static_cast<size_t>(way)];
        it->second->ended = true;
        if (!it->second->busy) *yielded = it->second;
        uploads.erase(it);
    }
    return true;
}

bool tooMany(uint32_t sender) {
    std::lock_guard<std::mutex> guard(uploadsLock);
    return !roomFor(sender, nullptr);
}

// Receives the request's body as the upload's next piece and answers: the offset reached,
// or why not. The upload is forgotten once whole, ended, stopped, or gone from the disk.
void receiveInto(HttpConnection& c, const HttpRequest& request, const std::string& id,
                 const std::shared_ptr<Upload>& upload, unsigned stops, int created, const std::string& fields) {
    if (request.expectContinue && request.contentLength > 0 && !sendBytes(c, "HTTP/1.1 100 Continue\r\n\r\n")) return;
    BodyRead read = uploadBody(c, stops, &upload->ended);
    const int64_t count = std::max<int64_t>(request.contentLength, 0);
    // An empty piece of a file that is not empty carries nothing to receive.
    UploadOutcome outcome = count == 0 && upload->partial.length > 0
                                ? UploadOutcome::Saved
                                : receivePiece(upload->partial, upload->name, count, read, stops);
    bool gone = upload->partial.file == kInvalidFile || outcome == UploadOutcome::Stopped;
    // Cut while it was made: its maker never learns where it is.
    gone = gone || (created && outcome == UploadOutcome::NotSaved);
    int64_t offset = 0;
    {
        // Ended meanwhile: whoever ended it saw it busy and left its partial file to this.
        std::lock_guard<std::mutex> guard(uploadsLock);
        upload->busy = false;
        upload->idleSince = tickCount();
        offset = upload->partial.offset;
        gone = gone || upload->ended;
    }
    if (gone) {
        dropPartial(upload->partial);
        forget(id, upload);
    }
    if (upload->ended) return answer(c, 404);
    if (outcome != UploadOutcome::Saved) return answerOutcome(c, outcome);
    if (offset == upload->partial.length) noteFinished(id, upload->sender, offset);
    answer(c, created ? created : 204, {}, fields + "Upload-Offset: " + std::to_string(offset) + "\r\n");
}

void create(HttpConnection& c, const HttpRequest& request, std::string_view base, uint32_t sender, unsigned stops) {
    int64_t length = 0;
    std::string name;
    if (!request.uploadDeferLength.empty() || !parseDecimal(request.uploadLength, &length)) return answer(c, 400);
    if (length > kTusMaxSize) return answer(c, 413);
    if (request.transferEncoding) return answer(c, 411);
    if (request.contentLength > 0 && request.contentType != kPieceType) return answer(c, 415);
    if (request.contentLength > length) return answer(c, 413);
    if (!metadataFileName(request.uploadMetadata, &name)) return answerOutcome(c, UploadOutcome::BadName);
    if (tooMany(sender)) return answer(c, 429);
    UploadOutcome outcome = admitUpload(name, length, sender, stops);
    auto upload = std::make_shared<Upload>();
    upload->name = name;
    upload->sender = sender;
    upload->busy = true;
    upload->partial.sender = sender;
    if (outcome == UploadOutcome::Saved) outcome = openPartial(length, &upload->partial);
    if (outcome != UploadOutcome::Saved) return answerOutcome(c, outcome);
    const std::string id = newAccessToken();
    std::shared_ptr<Upload> yielded;
    bool added = false;
    {
        std::lock_guard<std::mutex> guard(uploadsLock);
        upload->idleSince = tickCount();
        added = !id.empty() && roomFor(sender, &yielded);
        if (added) uploads[id] = upload;
    }
    if (yielded) dropPartial(yielded->partial);  // idle: no piece writes to it
    if (!added) {                                // others were made while it was asked about
        dropPartial(upload->partial);
        return answer(c, id.empty() ? 500 : 429);
    }
    std::string location = "Location: " + std::string(base) + "uploads/" + id + "\r\n";
    receiveInto(c, request, id, upload, stops, 201, location);
}

// A PATCH of an upload that arrived whole: done at its length with no bytes, else a conflict.
void patchFinished(HttpConnection& c, const HttpRequest& request, int64_t length) {
    int64_t offset = 0;
    if (request.contentType != kPieceType) return answer(c, 415);
    if (!parseDecimal(request.uploadOffset, &offset)) return answer(c, 400);
    if (offset != length || request.contentLength != 0) return answer(c, 409);
    answer(c, 204, {}, "Upload-Offset: " + std::to_string(length) + "\r\n");
}

void patch(HttpConnection& c, const HttpRequest& request, const std::string& id, uint32_t sender, unsigned stops) {
    std::shared_ptr<Upload> upload = uploadOf(id, sender);
    if (!upload) {
        const int64_t length = finishedLength(id, sender);
        return length < 0 ? answer(c, 404) : patchFinished(c, request, length);
    }
    if (request.contentType != kPieceType) return answer(c, 415);
    int64_t offset = 0;
    if (!parseDecimal(request.uploadOffset, &offset)) return answer(c, 400);
    if (request.transferEncoding || request.contentLength < 0) return answer(c, 411);
    {
        std::lock_guard<std::mutex> guard(uploadsLock);
        if (upload->ended) return answer(c, 404);  // made way for another, or ended
        if (upload->busy || offset != upload->partial.offset) return answer(c, 409);
        if (request.contentLength > upload->partial.length - offset) return answer(c, 413);
        upload->busy = true;
    }
    receiveInto(c, request, id, upload, stops, 0, {});
}

// The offset once no piece arrives; a piece that goes on past kHeadWait leaves it unknown.
void head(HttpConnection& c, const std::string& id, uint32_t sender) {
    std::shared_ptr<Upload> upload = uploadOf(id, sender);
    if (!upload) {
        const std::string length = std::to_string(finishedLength(id, sender));
        if (length == "-1") return answer(c, 404);
        return answer(c, 200, {}, "Upload-Offset: " + length + "\r\nUpload-Length: " + length + "\r\n");
    }
    const uint32_t start = tickCount();
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(uploadsLock);
            if (!upload->busy)
                return answer(c, 200, {},
                              "Upload-Offset: " + std::to_string(upload->partial.offset) +
                                  "\r\nUpload-Length: " + std::to_string(upload->partial.length) + "\r\n");
        }
        if (tickCount() - start >= static_cast<uint32_t>(kHeadWait) || (c.stopping && *c.stopping))
            return answerOutcome(c, UploadOutcome::Busy);
        sleepMilliseconds(kWaitSlice / 4);
    }
}

// A piece that still arrives ends at its next read and removes the partial file itself.
void terminate(HttpConnection& c, const std::string& id, uint32_t sender) {
    std::shared_ptr<Upload> upload = uploadOf(id, sender);
    if (!upload) return answer(c, 404);
    bool busy = false;
    {
        // Ended already (made way, or a DELETE beside this): whoever ended it drops it.
        std::lock_guard<std::mutex> guard(uploadsLock);
        if (upload->ended) return answer(c, 404);
        upload->ended = true;
        busy = upload->busy;
    }
    forget(id, upload);
    if (!busy) dropPartial(upload->partial);
    answer(c, 204);
}
}  // namespace

void serveUploads(HttpConnection& c, const HttpRequest& request, std::string_view base, std::string_view rest,
                  uint32_t sender) {
    const unsigned stops = stopCount;  // a Stop from now on ends this request's piece
    const std::string& method = request.method;
    const bool one = rest.size() > 8;  // "uploads/<id>"
    if (method == "OPTIONS")
        return answer(c, 204, {},
                      std::string("Tus-Version: ") + kVersion +
                          "\r\nTus-Extension: creation,creation-with-upload,termination\r\nTus-Max-Size: " +
                          std::to_string(kTusMaxSize) + "\r\n");
    if (request.tusResumable != kVersion) return answer(c, 412, {}, std::string("Tus-Version: ") + kVersion + "\r\n");
    const std::string id(one ? rest.substr(8) : std::string_view());
    if (!one && method == "POST") return create(c, request, base, sender, stops);
    if (one && method == "PATCH") return patch(c, request, id, sender, stops);
    if (one && method == "HEAD") return head(c, id, sender);
    if (one && method == "DELETE") return terminate(c, id, sender);
    answer(c, 405);
}

void endUploads() {
    std::vector<std::shared_ptr<Upload>> idle;
    {
        std::lock_guard<std::mutex> guard(uploadsLock);
        for (auto& entry : uploads) {
            entry.second->ended = true;
            if (!entry.second->busy) idle.push_back(entry.second);
        }
        uploads.clear();
        finished.clear();
    }
    for (auto& upload : idle) dropPartial(upload->partial);
}

BodyRead uploadBody(HttpConnection& c, unsigned stops, const std::atomic<bool>* ended) {
    return [&c, stops, ended](char* buffer, int size) {
        const uint32_t since = tickCount();
        for (;;) {
            if ((c.stopping && *c.stopping) || stopCount != stops || (ended && *ended)) return -1;
            if (c.start != c.end || netWaitReadable(c.socket, kWaitSlice)) break;
            if (tickCount() - since >= static_cast<uint32_t>(kConnectionIdleMilliseconds)) return -1;
        }
        return readBody(c, buffer, size);
    };
}
