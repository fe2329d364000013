#include "transfer/sender.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/files.h"
#include "platform/net.h"
#include "platform/threads.h"
#include "platform/window_port.h"
#include "resource.h"
#include "shell/central_state.h"
#include "shell/text_routines.h"
#include "transfer/manifest.h"
#include "transfer/protocol.h"

namespace {
// Header pieces and content share one buffer, so that many small files travel in few
// sends; the wire bytes are the same as piece by piece.
constexpr size_t kSendBufferSize = 1 << 20;
constexpr uint32_t kSpeedInterval = 3000;

SendProgress progressNow;

struct Transfer {
    Socket socket = kInvalidSocket;
    std::vector<char> buffer;
    size_t used = 0;
    bool ended = false;           // nothing more goes out: a send failed, or a file fell short
    bool incomplete = false;      // something was left out, cut or changed size
    bool blockOpen = false;       // the last record written still waits for its "\n\n"
    int percent = -1;
    uint32_t lastUpdateTick = 0;
};

bool flush(Transfer& t) {
    if (!t.ended && t.used > 0 && !netSendAll(t.socket, t.buffer.data(), t.used)) t.ended = true;
    t.used = 0;
    return !t.ended;
}

// Header pieces are far smaller than the buffer.
bool append(Transfer& t, const std::string& bytes) {
    if (bytes.size() > t.buffer.size() - t.used && !flush(t)) return false;
    if (t.ended) return false;
    memcpy(t.buffer.data() + t.used, bytes.data(), bytes.size());
    t.used += bytes.size();
    return true;
}

int percentOf(int64_t sent, int64_t total) {
    if (total <= 0 || sent <= 0) return 0;  // nothing to measure against
    if (sent >= total) return 100;          // a file that grew never takes the bar past its end
    if (sent <= INT64_MAX / 100) return static_cast<int>(sent * 100 / total);
    return static_cast<int>(sent / (total / 100));
}

void updateProgress(Transfer& t) {
    const int percent = percentOf(progressNow.sent, progressNow.total);
    if (percent != t.percent) {
        t.percent = percent;
        portSetProgress(percent, percent);
    }
    const uint32_t now = tickCount();
    if (now - t.lastUpdateTick > kSpeedInterval) {
        t.lastUpdateTick = now;
        const uint32_t seconds = (now - progressNow.startTick) / 1000;
        if (seconds > 0) {
            const int64_t speed = progressNow.sent / 1024 / seconds;
            portSetStatusFormatted(IDS_SENDING_RATE, static_cast<int>(static_cast<uint32_t>(speed)));
        }
    }
}

// Exactly size bytes follow a file's header, whatever the file does meanwhile: a file
// that grew is cut at size; one that shrank (or fails to read) ends the connection
// there, since the receiver would otherwise take the next header for content.
void sendContent(Transfer& t, FileHandle file, int64_t size) {
    int64_t remaining = size;
    bool grew = false, atEnd = false;
    while (remaining > 0) {
        if (cancelRequested) {  // Stop: no more progress calls after the window's own
            t.ended = true;
            return;
        }
        if (t.used == t.buffer.size() && !flush(t)) return;
        const size_t space = t.buffer.size() - t.used;
        // One byte more than is left tells a file that grew without another read.
        const size_t want = remaining < static_cast<int64_t>(space) ? static_cast<size_t>(remaining) + 1 : space;
        int64_t got = fileRead(file, t.buffer.data() + t.used, want);
        if (got <= 0) {
            t.incomplete = true;
            flush(t);
            t.ended = true;
            return;
        }
        atEnd = static_cast<size_t>(got) < want;
        if (got > remaining) {
            got = remaining;
            grew = true;
        }
        t.used += static_cast<size_t>(got);
        remaining -= got;
        progressNow.sent += got;
        updateProgress(t);
    }
    if (!grew && !atEnd) {
        char probe;
        grew = fileRead(file, &probe, 1) > 0;
    }
    if (grew) t.incomplete = true;
}

void sendFile(Transfer& t, const ManifestEntry& entry) {
    std::string name = entry.name, folder = entry.relativeFolder;
    // A value whose UTF-8 form would not fit its field is left out, like a file that
    // cannot be opened: no header, no content.
    if (!toUtf8InPlace(name, kManifestFieldLimit) || !toUtf8InPlace(folder, kManifestFieldLimit)) {
        t.incomplete = true;
        return;
    }
    // The size announced is the one the file has now, told by the handle it is read from.
    int64_t size = -1;
    const FileHandle file = fileOpenRead(entry.localPath, &size);
    if (size < 0) {
        fileClose(file);
        t.incomplete = true;
        return;
    }
    if (size != entry.measuredSize) t.incomplete = true;
    if (append(t, fileRecordBytes(size, name, folder))) {
        t.blockOpen = false;
        if (size > 0) sendContent(t, file, size);
    }
    fileClose(file);
}

void sendDirectories(Transfer& t) {
    for (const std::string& entry : directoryList) {
        std::string folder = replaceAll("\\", "/", entry);
        if (!toUtf8InPlace(folder, kManifestFieldLimit)) {
            t.incomplete = true;
            continue;
        }
        if (!append(t, directoryRecordBytes(folder))) return;
        t.blockOpen = true;
    }
}

void stream(Transfer& t) {
    portSetProgress(0, 0);
    t.percent = 0;
    portSetStatusText(IDS_SENDING);
    append(t, transferHeaderBytes(totalSize));
    t.blockOpen = true;
    sendDirectories(t);
    progressNow = SendProgress{0, totalSize, tickCount()};
    t.lastUpdateTick = progressNow.startTick;
    for (const ManifestEntry& entry : transferManifest) {
        if (t.ended || cancelRequested) break;
        sendFile(t, entry);
    }
    // A receiver parses only lines ended by a line feed: the last header or directory
    // record needs its block closed, or its last line would be lost.
    if (t.blockOpen && !cancelRequested) append(t, emptyBlockBytes());
    flush(t);
}

void forgetSendSocket(Socket s) {
    sendSocket = kInvalidSocket;
    netClose(s);
}

// Complete when connected; otherwise the error box has been shown.
SendResult connectTo(Socket s, const std::string& recipient, uint16_t port) {
    uint32_t address = 0;
    if (!netResolve(recipient, &address)) {
        portShowErrorMessage("Invalid address " + recipient + "\n");
        return SendResult::InvalidAddress;
    }
    const int error = netConnect(s, address, port);
    if (error != 0) {
        char text[40];
        snprintf(text, sizeof text, "Connect error %d\n", error);
        portShowErrorMessage(text);
        return SendResult::ConnectError;
    }
    return SendResult::Complete;
}
}  // namespace

void prepareSend() {
    portSetStatusText(IDS_PREPARING);
    clearTransferManifest();
    cancelRequested = false;
}

SendResult runSend(const std::string& recipient, uint16_t port, int stallMilliseconds) {
    if (cancelRequested) return SendResult::Cancelled;
    portSetButtonsTransferring();
    if (transferManifest.empty() && directoryList.empty() && refusedItemCount == 0) {
        portShowErrorText(IDS_NOTHING_SELECTED);
        return SendResult::NothingSelected;
    }

    portSetStatusText(IDS_CONNECTING);
    Transfer t;
    t.socket = netTcpSocket();
    sendSocket = t.socket;  // where Stop can shut it down
    const SendResult connected = connectTo(t.socket, recipient, port);
    if (connected != SendResult::Complete) {
        forgetSendSocket(t.socket);
        return connected;
    }
    netSetSendTimeout(t.socket, stallMilliseconds);
    t.buffer.resize(kSendBufferSize);
    stream(t);

    SendResult result;
    if (cancelRequested) {
        result = SendResult::Cancelled;
    } else if (!t.ended && !t.incomplete && refusedItemCount == 0 && progressNow.sent == totalSize) {
        portSetProgress(100, 0);
        portSetStatusText(IDS_TRANSFER_COMPLETE);
        result = SendResult::Complete;
    } else {
        portSetStatusText(IDS_TRANSFER_INCOMPLETE);
        result = SendResult::Incomplete;
    }
    forgetSendSocket(t.socket);
    portSetButtonsIdle();
    return result;
}

SendProgress sendProgress() { return progressNow; }
