#include "banner/banner_picture.h"

#include "banner/banner_connection.h"
#include "core/text_routines.h"
#include "platform/files.h"
#include "platform/net.h"

const char kBannerPictureFile[] = "banner";

namespace {
bool fitsRequestLine(const std::string& text) {
    for (unsigned char c : text)
        if (c <= 0x20 || c == 0x7F) return false;
    return true;
}

// Receives the rest of the answer into the file. False when the first piece holds no
// header end or the picture grows past its limit.
bool receivePicture(Socket s, FileHandle file) {
    char piece[kPicturePiece];
    int64_t total = 0;
    bool first = true;
    for (;;) {
        int n = netRecv(s, piece, sizeof piece);
        if (n <= 0) return true;  // closed, failed or timed out: what came is the picture
        int skip = 0;
        if (first) {
            skip = pictureHeaderEnd(piece, n);
            if (skip < 0) return false;
            first = false;
        }
        total += n - skip;
        if (total > kPictureSizeLimit) return false;
        fileWriteAll(file, piece + skip, static_cast<size_t>(n - skip));
    }
}
}  // namespace

std::string bannerPictureAddress(const BannerRecord& record) {
    return record.pictureUrlPng[0] ? record.pictureUrlPng : record.pictureUrl;
}

bool splitPictureUrl(const std::string& url, std::string* host, std::string* path) {
    std::string rest = copyRange(url, 7, 0);
    int slash = findText(rest, "/", 0);
    if (slash <= 0) return false;
    *host = copyRange(rest, 0, slash);
    *path = copyRange(rest, slash, 0);
    return host->size() <= kPictureHostLimit && path->size() <= kPicturePathLimit && fitsRequestLine(*host) &&
           fitsRequestLine(*path);
}

int pictureHeaderEnd(const char* piece, int size) {
    int run = 0;
    for (int i = 0; i < size; ++i) {
        run = (piece[i] == '\r' || piece[i] == '\n') ? run + 1 : 0;
        if (run == 4) return i + 1;
    }
    return -1;
}

bool downloadBannerPicture(BannerRecord& record, const BannerSetup& setup) {
    std::string host, path;
    if (!splitPictureUrl(bannerPictureAddress(record), &host, &path)) return false;
    Socket s = openBannerConnection(host, setup.port, setup.timeoutMilliseconds);
    if (s == kInvalidSocket) return false;
    std::string request = "GET " + path + " HTTP/1.0\r\nHost: " + host + "\r\n\r\n";
    if (!netSendAll(s, request.data(), request.size())) {
        netClose(s);
        return false;
    }
    FileHandle file = fileCreate(setup.folder + kBannerPictureFile);
    if (file == kInvalidFile) {
        netClose(s);
        return false;
    }
    bool received = receivePicture(s, file);
    fileClose(file);
    netClose(s);
    if (received) record.pictureReady = true;
    return received;
}
