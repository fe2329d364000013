#include "web/browser_upload.h"

#include <algorithm>
#include <cstring>

#include "core/text_routines.h"
#include "core/window_port.h"
#include "platform/files.h"
#include "transfer/path_rules.h"
#include "transfer/protocol.h"
#include "transfer/receiver.h"
#include "web/access_token.h"

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

bool uploadNameFits(const std::string& utf8Name) {
    std::string store = portGetStorePath();
    return store.empty() || fitsLocalPathLimit(joinStorePath(store, {fromUtf8(utf8Name)}, kPathSeparator));
}

namespace {
// An upload is written under a name of its own ("~qvup<random>.part") and takes its real
// name only when whole, so that a program killed half way leaves no partial file under a
// name the user would take for the file. "" when the store has no room for such a name.
std::string temporaryUploadName(const std::string& store) {
    std::string random = newAccessToken();
    std::string name = "~qvup" + random.substr(0, 8) + ".part";
    if (store.empty() || random.size() < 8 || !fitsLocalPathLimit(joinStorePath(store, {name}, kPathSeparator)))
        return std::string();
    return name;
}

// The whole upload takes its name; a link of that name is never written through.
UploadOutcome giveRealName(const std::string& store, const std::string& temporary, const std::string& utf8Name,
                           UploadOutcome outcome) {
    std::string from = joinStorePath(store, {temporary}, kPathSeparator);
    std::string to = joinStorePath(store, {fromUtf8(utf8Name)}, kPathSeparator);
    if (outcome == UploadOutcome::Saved && !isSymbolicLink(to) && fileReplace(from, to)) return outcome;
    fileRemove(from);
    return outcome == UploadOutcome::Saved ? UploadOutcome::NotSaved : outcome;
}
}  // namespace

UploadOutcome receiveUpload(const std::string& utf8Name, int64_t length, uint32_t sender, const BodyRead& read) {
    if (!uploadNameAllowed(utf8Name) || length < 0) return UploadOutcome::BadName;
    const std::string store = portGetStorePath();
    const std::string temporary = temporaryUploadName(store);
    UploadSource source;
    source.head = transferHeaderBytes(length) + fileRecordBytes(length, temporary.empty() ? utf8Name : temporary, "/");
    source.bodyLeft = length;
    source.read = &read;
    StreamReader reader;
    startReader(reader, receiveFromUpload, &source);
    ReceiveTerms terms;
    terms.sender = sender;
    terms.byBrowser = true;
    terms.dropCut = true;
    UploadOutcome outcome = outcomeOf(receiveStream(std::move(reader), kInvalidSocket, terms));
    return temporary.empty() ? outcome : giveRealName(store, temporary, utf8Name, outcome);
}

int uploadStatus(UploadOutcome outcome) {
    switch (outcome) {
        case UploadOutcome::Saved: return 201;
        case UploadOutcome::NoRoom: return 507;
        case UploadOutcome::Refused: return 403;
        case UploadOutcome::Busy: return 503;
        case UploadOutcome::BadName:
        case UploadOutcome::NameTooLong: return 400;
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
        case UploadOutcome::NameTooLong: return "name-too-long";
        case UploadOutcome::Stopped: return "stopped";
        case UploadOutcome::NoStore: return "no-store";
        default: return "not-saved";
    }
}
