#include "web/browser_upload.h"

#include <vector>

#include "core/shown_characters.h"
#include "core/text_routines.h"
#include "core/window_port.h"
#include "platform/files.h"
#include "store/store_names.h"
#include "transfer/stop.h"
#include "web/offered_files.h"
#include "web/upload_files.h"

namespace {
constexpr size_t kUploadNameLimit = 255;

// One component of an upload's name, as the store folder would take it: the receiver's
// rules for Windows on every system, no name Windows keeps for a device, and no trailing
// dot or space (Windows drops them, so "a." would become "a"), so that what a browser
// stores here can go on to a Windows peer. The name becomes lines of the records the
// receiver reads: no control byte (a NUL would end a line early, a line feed would start
// another), and no backslash (the receiver splits folders at either separator). Only
// valid UTF-8 is taken (Windows would turn distinct invalid names into one), without a
// character never shown raw (shown_characters.h), which would hide what the name reads.
bool componentAllowed(const std::string& utf8) {
    if (utf8.empty() || utf8.size() > kUploadNameLimit || !isShowableText(utf8)) return false;
    if (utf8.find('\\') != std::string::npos) return false;
    if (utf8.back() == '.' || utf8.back() == ' ') return false;
    const std::string local = fromUtf8(utf8);
    return isSenderComponent(local, true) && !isReservedDeviceName(local);
}

// The name's components as the local file system names them, split at '/'; false when
// one of them is not allowed (an empty one included: a leading, doubled or trailing '/').
bool splitUploadName(const std::string& utf8Name, std::vector<std::string>* local) {
    local->clear();
    for (size_t start = 0;;) {
        size_t end = utf8Name.find('/', start);
        std::string part = utf8Name.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!componentAllowed(part)) return false;
        local->push_back(fromUtf8(part));
        if (end == std::string::npos) return true;
        start = end + 1;
    }
}
}  // namespace

bool uploadNameAllowed(const std::string& utf8Name) {
    std::vector<std::string> local;
    return splitUploadName(utf8Name, &local);
}

bool uploadNameFits(const std::string& utf8Name) {
    std::string store = portGetStorePath();
    std::vector<std::string> local;
    return store.empty() || !splitUploadName(utf8Name, &local) ||
           fitsLocalPathLimit(joinStorePath(store, local, kPathSeparator));
}

bool uploadNameParts(const std::string& utf8Name, std::vector<std::string>* local) {
    return splitUploadName(utf8Name, local);
}

UploadOutcome receiveUpload(const std::string& utf8Name, int64_t length, uint32_t sender, const BodyRead& read,
                            ReceiveTerms terms) {
    const unsigned stops = terms.stops ? *terms.stops : stopCount.load();
    UploadOutcome outcome = admitUpload(utf8Name, length, sender, stops);
    PartialUpload upload;
    upload.sender = sender;
    if (outcome == UploadOutcome::Saved) outcome = openPartial(length, &upload);
    if (outcome == UploadOutcome::Saved) outcome = receivePiece(upload, utf8Name, length, read, stops);
    if (outcome != UploadOutcome::Saved) dropPartial(upload);
    return outcome;
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
