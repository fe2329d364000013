#include "web/browser_upload.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/text_routines.h"
#include "core/window_port.h"
#include "platform/files.h"
#include "transfer/path_rules.h"
#include "transfer/protocol.h"
#include "transfer/receiver.h"
#include "transfer/stop.h"
#include "web/access_token.h"
#include "web/offered_files.h"

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
        case ReceiveResult::Complete:
        case ReceiveResult::Empty: return UploadOutcome::Saved;
        case ReceiveResult::NoRoom: return UploadOutcome::NoRoom;
        case ReceiveResult::Refused: return UploadOutcome::Refused;
        case ReceiveResult::TurnedAway: return UploadOutcome::Busy;
        case ReceiveResult::Cancelled: return UploadOutcome::Stopped;
        case ReceiveResult::NoStorePath: return UploadOutcome::NoStore;
        default: return UploadOutcome::NotSaved;
    }
}

// Valid characters that a name may not hold all the same: C1 controls, which a terminal
// takes for commands, and the marks, embeddings and isolates that reorder how a name reads
// ("a<RLO>txt.exe" shows as "aexe.txt"): U+0080-U+009F, U+200E-U+200F, U+202A-U+202E,
// U+2066-U+2069. The name is valid UTF-8, so these bytes only lead characters.
bool hidesWhatItReads(const std::string& utf8) {
    for (size_t i = 0; i + 1 < utf8.size(); ++i) {
        const auto at = [&utf8](size_t k) { return static_cast<unsigned char>(utf8[k]); };
        if (at(i) == 0xC2 && at(i + 1) <= 0x9F) return true;
        if (at(i) != 0xE2 || i + 2 >= utf8.size()) continue;
        const unsigned char second = at(i + 1), third = at(i + 2);
        if (second == 0x80 && (third == 0x8E || third == 0x8F || (third >= 0xAA && third <= 0xAE))) return true;
        if (second == 0x81 && third >= 0xA6 && third <= 0xA9) return true;
    }
    return false;
}

// COM0 and LPT0, with or without extension: newer Windows opens them as devices too.
bool isPortZero(const std::string& local) {
    std::string base = local.substr(0, local.find('.'));
    while (!base.empty() && (base.back() == ' ' || base.back() == '.')) base.pop_back();
    if (base.size() != 4 || base[3] != '0') return false;
    base[3] = '1';
    return isReservedDeviceName(base);
}

// One component of an upload's name, as the store folder would take it: the receiver's
// rules for Windows on every system, no name Windows keeps for a device, and no trailing
// dot or space (Windows drops them, so "a." would become "a"), so that what a browser
// stores here can go on to a Windows peer. The name becomes lines of the records the
// receiver reads: no control byte (a NUL would end a line early, a line feed would start
// another), and no backslash (the receiver splits folders at either separator). Only
// valid UTF-8 is taken: Windows would turn distinct invalid names into one.
bool componentAllowed(const std::string& utf8) {
    if (utf8.empty() || utf8.size() > kUploadNameLimit || !isUtf8(utf8) || hidesWhatItReads(utf8)) return false;
    for (unsigned char c : utf8)
        if (c == '\\' || c < 0x20 || c == 0x7F) return false;
    if (utf8.back() == '.' || utf8.back() == ' ') return false;
    const std::string local = fromUtf8(utf8);
    return isSafeComponent(local, true) && !isReservedDeviceName(local) && !isPortZero(local);
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

namespace {
// An upload is written under a name of its own ("~qvup<random>.part") in its folder and
// takes its real name only when whole, so that a program killed half way leaves no
// partial file under a name the user would take for the file. "" when the folder has no
// room for such a name.
std::string temporaryUploadName(const std::string& store, std::vector<std::string> folder) {
    std::string random = newAccessToken();
    if (store.empty() || random.size() < 8) return std::string();
    folder.push_back("~qvup" + random.substr(0, 8) + ".part");
    if (!fitsLocalPathLimit(joinStorePath(store, folder, kPathSeparator))) return std::string();
    return folder.back();
}

// The whole upload takes its name; a link of that name, or on the way to it, is never
// written through, and a file there gives way only as one would to a transfer on port 2904.
UploadOutcome giveRealName(const std::string& store, std::vector<std::string> path, const std::string& temporary,
                           UploadOutcome outcome) {
    std::string to = joinStorePath(store, path, kPathSeparator);
    path.back() = temporary;
    std::string from = joinStorePath(store, path, kPathSeparator);
    path.pop_back();
    bool mayTake = !pathExists(to) || isReplaceableFile(to);
    if (outcome == UploadOutcome::Saved && !passesThroughLink(store, path, kPathSeparator) && !isSymbolicLink(to) &&
        mayTake && fileReplace(from, to))
        return outcome;
    fileRemove(from);
    return outcome == UploadOutcome::Saved ? UploadOutcome::NotSaved : outcome;
}

// How many folders of the path, from the top, exist already: those below them are made
// by the upload's directory record.
size_t foldersThatExist(const std::string& store, const std::vector<std::string>& folder) {
    std::vector<std::string> prefix;
    for (const std::string& part : folder) {
        prefix.push_back(part);
        if (!isDirectory(joinStorePath(store, prefix, kPathSeparator))) return prefix.size() - 1;
    }
    return folder.size();
}

// An upload that was not saved leaves none of the folders it made, unless something
// else (another upload of the same folder) is in them now.
void removeMadeFolders(const std::string& store, std::vector<std::string> folder, size_t existed) {
    while (folder.size() > existed && removeEmptyDirectory(joinStorePath(store, folder, kPathSeparator)))
        folder.pop_back();
}
}  // namespace

UploadOutcome receiveUpload(const std::string& utf8Name, int64_t length, uint32_t sender, const BodyRead& read,
                            ReceiveTerms terms) {
    std::vector<std::string> path;
    if (!splitUploadName(utf8Name, &path) || length < 0) return UploadOutcome::BadName;
    std::vector<std::string> folder(path.begin(), path.end() - 1);
    const std::string store = portGetStorePath();
    // A folder that is a link now is refused before anything is asked or read; the
    // receiver checks again as it writes.
    if (!store.empty() && passesThroughLink(store, folder, kPathSeparator)) return UploadOutcome::BadName;
    const std::string temporary = temporaryUploadName(store, folder);
    // The receiver creates the folders and confines them by its own rules ("/" is the top).
    size_t slash = utf8Name.rfind('/');
    std::string utf8Folder = slash == std::string::npos ? "/" : utf8Name.substr(0, slash + 1);
    std::string utf8Leaf = temporary.empty() ? utf8Name.substr(slash == std::string::npos ? 0 : slash + 1) : temporary;
    UploadSource source;
    source.head = transferHeaderBytes(length);
    if (!folder.empty()) source.head += directoryRecordBytes(utf8Folder);
    source.head += fileRecordBytes(length, utf8Leaf, utf8Folder);
    source.bodyLeft = length;
    source.read = &read;
    StreamReader reader;
    startReader(reader, receiveFromUpload, &source);
    terms.sender = sender;
    terms.byBrowser = true;
    terms.dropCut = true;
    // The temporary file goes on to replace a file of the real name: it reaches the disk
    // first, as a replacing transfer's content does.
    terms.syncWhole = !temporary.empty() && pathExists(joinStorePath(store, path, kPathSeparator));
    size_t existed = store.empty() ? folder.size() : foldersThatExist(store, folder);
    UploadOutcome outcome = outcomeOf(receiveStream(std::move(reader), kInvalidSocket, terms));
    if (outcome == UploadOutcome::Busy && terms.stops && *terms.stops != stopCount) outcome = UploadOutcome::Stopped;
    if (!temporary.empty()) outcome = giveRealName(store, path, temporary, outcome);
    if (outcome != UploadOutcome::Saved) removeMadeFolders(store, folder, existed);
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
