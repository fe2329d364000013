// Downloads from browser access: an offered file (whole or one range) and a zip of several,
// each sent only as long as the file stays as it was listed, and each recorded in the history.
#include "web/browser_downloads.h"

#include <algorithm>

#include "history/history.h"
#include "platform/files.h"
#include "platform/net.h"
#include "platform/socket_file.h"
#include "web/byte_range.h"
#include "web/http_request.h"
#include "web/zip_stream.h"

namespace {
constexpr size_t kDownloadChunk = 256 * 1024;       // a copy through the process
constexpr int64_t kDirectPiece = 16 * 1024 * 1024;  // one move inside the system
constexpr int64_t kHeldBack = 64 * 1024;            // a download's last bytes, sent once checked
}  // namespace

// An entry of what went to the browser at sender, for the history.
HistoryEntry browserSentEntry(HistoryDoor door, uint32_t sender, bool whole) {
    HistoryEntry entry;
    entry.direction = HistoryDirection::Sent;
    entry.door = door;
    entry.address = netDotted(sender);
    entry.peer = entry.address;
    entry.outcome = whole ? HistoryOutcome::Complete : HistoryOutcome::Incomplete;
    return entry;
}

namespace {
// The file's bytes from its read position: through the system where it can, else
// through a buffer, counted in *sent. False when the file ended early or the client is gone.
bool sendFileBytes(HttpConnection& c, FileHandle handle, int64_t left, int64_t* sent) {
    std::vector<char> chunk;
    while (left > 0) {
        bool direct = chunk.empty() && !(c.stopping && *c.stopping);
        int piece = static_cast<int>(std::min<int64_t>(left, direct ? kDirectPiece : kDownloadChunk));
        int n = direct ? fileToSocket(handle, c.socket, piece) : kNoDirectPath;
        if (n == kNoDirectPath) {
            if (chunk.empty()) chunk.resize(kDownloadChunk);
            int64_t got = fileRead(handle, chunk.data(), std::min<size_t>(static_cast<size_t>(piece), kDownloadChunk));
            n = got > 0 && sendBytes(c, std::string_view(chunk.data(), static_cast<size_t>(got)))
                    ? static_cast<int>(got)
                    : -1;
        }
        if (n <= 0) return false;
        left -= n;
        *sent += n;
    }
    return true;
}

// The file's length bytes from its read position, if the file stays as stamp tells it
// until all were read: a file rewritten meanwhile, even at its size, would give bytes of
// neither version. Its last bytes are held back until the check after the read, so that
// a changed file's response ends short and the browser fails the download.
bool sendUnchangedFile(HttpConnection& c, FileHandle handle, const std::string& path, const FileStamp& stamp,
                       int64_t length, int64_t* sent) {
    int64_t held = std::min(length, kHeldBack);
    if (!sendFileBytes(c, handle, length - held, sent)) return false;
    std::string last(static_cast<size_t>(held), '\0');
    for (size_t at = 0; at < last.size();) {
        int64_t n = fileRead(handle, &last[at], last.size() - at);
        if (n <= 0) return false;  // shrank meanwhile
        at += static_cast<size_t>(n);
    }
    FileStamp after;
    const bool whole = fileStampOf(handle, &after) && sameFileState(stamp, after) && pathStillNames(path, stamp) &&
                       sendBytes(c, last);
    if (whole) *sent += held;
    return whole;
}

// A download makes one entry when it starts at the file's first byte: a media player's
// further ranges of the same file add none. It is whole when every byte of the file went.
void recordDownload(const OfferedFile& file, uint32_t sender, int64_t size, int64_t sent) {
    HistoryEntry entry = browserSentEntry(HistoryDoor::BrowserDownload, sender, sent == size);
    entry.names.push_back(file.name);
    entry.files = sent == size ? 1 : 0;
    entry.bytes = sent;
    recordHistory(std::move(entry));
}

}  // namespace

// A download names a file by the number its link was given; the number stays with that
// file for as long as access is on, whatever later lists hold. A single range of it is
// sent when asked for, unless If-Range names an older state of the file.
void sendOfferedFile(HttpConnection& c, const HttpRequest& request, const OfferedFile& file, bool head,
                     uint32_t sender) {
    FileStamp stamp;
    FileHandle handle = fileOpenRead(file.localPath);
    if (handle == kInvalidFile || !fileStampOf(handle, &stamp) || stamp.size < 0) {
        if (handle != kInvalidFile) fileClose(handle);
        return (void)sendNotFound(c);  // gone since the list was made
    }
    std::string tag = fileEntityTag(stamp);
    ByteRange range;
    RangeAnswer answer = chooseRange(request.range, request.ifRange, tag, stamp.size, &range);
    std::string fields = "Accept-Ranges: bytes\r\nETag: " + tag + "\r\n";
    if (answer == RangeAnswer::Unsatisfiable) {
        fileClose(handle);
        return (void)sendResponse(c, 416, {}, {},
                                  fields + "Content-Range: bytes */" + std::to_string(stamp.size) + "\r\n");
    }
    bool part = answer == RangeAnswer::Part;
    std::string response = responseHead(part ? 206 : 200, range.length, "application/octet-stream") + fields;
    if (part)
        response += "Content-Range: bytes " + std::to_string(range.first) + "-" +
                    std::to_string(range.first + range.length - 1) + "/" + std::to_string(stamp.size) + "\r\n";
    response += "Content-Disposition: " + attachmentDisposition(file.name) + "\r\n";
    response.append("Content-Security-Policy: ").append(kNothingRunsPolicy).append("\r\n");
    response.append(connectionField(c)).append("\r\n");
    // A file that changed meanwhile ends the response short and the connection with it,
    // which the browser reports as a failed download rather than a whole one.
    // The head waits for the body's first bytes and leaves with them.
    bool body = !head && range.length > 0;
    int64_t bytes = 0;
    bool sent = sendBytes(c, response, body) &&
                (head || (fileSeek(handle, range.first) &&
                          sendUnchangedFile(c, handle, file.localPath, stamp, range.length, &bytes)));
    if (!sent) c.closing = true;
    fileClose(handle);
    if (!head && range.first == 0) recordDownload(file, sender, stamp.size, bytes);
}

// Every offered file, or those of one offered folder ("folder=NAME"), as one zip written
// while it is sent. Chunked, so that a zip cut short (a file changed or vanished meanwhile,
// or access stops) ends without its last chunk and the browser reports a failed download.
void sendOfferedZip(HttpConnection& c, std::string_view query, const std::function<std::vector<OfferedFile>()>& list,
                    bool head, uint32_t sender) {
    std::string folder;
    bool one = !query.empty();
    if (one && !queryValue(query, "folder", &folder)) return (void)sendResponse(c, 400, {}, {});
    std::vector<OfferedFile> files = list();
    std::vector<ZipEntry> entries;
    for (const OfferedFile& file : files)
        if (!one || file.name.compare(0, folder.size() + 1, folder + "/") == 0)
            entries.push_back(ZipEntry{file.localPath, file.name, file.size});
    if (entries.empty()) return (void)sendNotFound(c);
    std::string response = responseHead(200, -1, "application/zip");
    response += "Content-Disposition: " + attachmentDisposition(one ? folder + ".zip" : "Quorvalinthexa.zip") + "\r\n";
    response.append("Content-Security-Policy: ").append(kNothingRunsPolicy).append("\r\n");
    response.append(connectionField(c)).append("\r\n");
    if (head) return (void)sendBytes(c, response);
    int64_t bytes = 0;
    bool whole = sendBytes(c, response, true) &&
                 writeZip(entries,
                          [&c, &bytes](const char* data, size_t size) {
                              bytes += static_cast<int64_t>(size);
                              return sendChunk(c, {data, size});
                          }) &&
                 sendLastChunk(c);
    if (!whole) c.closing = true;  // nothing more may follow what was cut
    HistoryEntry entry = browserSentEntry(HistoryDoor::BrowserDownload, sender, whole);
    for (const ZipEntry& zipped : entries) {
        const std::string top = one ? folder : zipped.name.substr(0, zipped.name.find('/'));
        if (entry.names.size() < kHistoryMostNames &&
            std::find(entry.names.begin(), entry.names.end(), top) == entry.names.end())
            entry.names.push_back(top);
    }
    entry.files = whole ? static_cast<int64_t>(entries.size()) : 0;
    entry.bytes = bytes;
    recordHistory(std::move(entry));
}
