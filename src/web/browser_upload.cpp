#include "web/browser_upload.h"

#include <algorithm>
#include <cstring>

#include "core/text_routines.h"
#include "transfer/path_rules.h"
#include "transfer/protocol.h"
#include "transfer/receiver.h"

namespace {
constexpr size_t kUploadNameLimit = 255;

// The stream the receiver reads: the made-up header and record, then the body.
struct UploadSource {
    std::string head;
    size_t headTaken = 0;
    int64_t bodyLeft = 0;
    const BodyRead* read = nullptr;
};

int receiveFromUpload(void* source, char* buffer, int size) {
    UploadSource& s = *static_cast<UploadSource*>(source);
    if (s.headTaken < s.head.size()) {
        size_t n = std::min(s.head.size() - s.headTaken, static_cast<size_t>(size));
        std::memcpy(buffer, s.head.data() + s.headTaken, n);
        s.headTaken += n;
        return static_cast<int>(n);
    }
    if (s.bodyLeft <= 0) return 0;
    int want = static_cast<int>(std::min<int64_t>(s.bodyLeft, size));
    int n = (*s.read)(buffer, want);
    if (n > 0) s.bodyLeft -= n;
    return n < 0 ? kReceiveTimedOut : n;
}

UploadOutcome outcomeOf(ReceiveResult result) {
    switch (result) {
        case ReceiveResult::Complete: return UploadOutcome::Saved;
        case ReceiveResult::NoRoom: return UploadOutcome::NoRoom;
        case ReceiveResult::Refused: return UploadOutcome::Refused;
        case ReceiveResult::TurnedAway: return UploadOutcome::Busy;
        case ReceiveResult::Cancelled: return UploadOutcome::Stopped;
        case ReceiveResult::NoStorePath: return UploadOutcome::NoStore;
        default: return UploadOutcome::NotSaved;
    }
}
}  // namespace

bool uploadNameAllowed(const std::string& utf8Name) {
    if (utf8Name.empty() || utf8Name.size() > kUploadNameLimit) return false;
    // The name becomes a line of the record the receiver reads: no separator, and no
    // control byte (a NUL would end it early, a line feed would start another line).
    for (unsigned char c : utf8Name)
        if (c == '/' || c == '\\' || c < 0x20 || c == 0x7F) return false;
    return isSafeComponent(fromUtf8(utf8Name), localWindowsRules());
}

UploadOutcome receiveUpload(const std::string& utf8Name, int64_t length, uint32_t sender, bool,
                            const BodyRead& read) {
    return receiveUpload(utf8Name, length, sender, read);
}

UploadOutcome receiveUpload(const std::string& utf8Name, int64_t length, uint32_t sender, const BodyRead& read) {
    if (!uploadNameAllowed(utf8Name) || length < 0) return UploadOutcome::BadName;
    UploadSource source;
    source.head = transferHeaderBytes(length) + fileRecordBytes(length, utf8Name, "/");
    source.bodyLeft = length;
    source.read = &read;
    StreamReader reader;
    startReader(reader, receiveFromUpload, &source);
    ReceiveTerms terms;
    terms.sender = sender;
    terms.byBrowser = true;
    terms.dropCut = true;
    return outcomeOf(receiveStream(std::move(reader), kInvalidSocket, terms));
}

int uploadStatus(UploadOutcome outcome) {
    switch (outcome) {
        case UploadOutcome::Saved: return 201;
        case UploadOutcome::NoRoom: return 507;
        case UploadOutcome::Refused: return 403;
        case UploadOutcome::Busy: return 503;
        case UploadOutcome::BadName: return 400;
        case UploadOutcome::Stopped: return 409;
        default: return 500;
    }
}

const char* uploadWord(UploadOutcome outcome) {
    switch (outcome) {
        case UploadOutcome::Saved: return "saved";
        case UploadOutcome::NoRoom: return "no-room";
        case UploadOutcome::Refused: return "refused";
        case UploadOutcome::Busy: return "busy";
        case UploadOutcome::BadName: return "bad-name";
        case UploadOutcome::Stopped: return "stopped";
        case UploadOutcome::NoStore: return "no-store";
        default: return "not-saved";
    }
}
