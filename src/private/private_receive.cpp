#include "private/private_receive.h"

#include <atomic>
#include <string_view>
#include <unordered_set>

#include "core/central_state.h"
#include "core/shown_characters.h"
#include "core/text_routines.h"
#include "core/texts.h"
#include "core/window_port.h"
#include "peers/remembered_peers.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/threads.h"
#include "private/arrived_batch.h"
#include "private/file_hash.h"
#include "private/offer_answers.h"
#include "private/private_channel.h"
#include "private/private_session.h"
#include "private/verified_files.h"
#include "store/store_names.h"
#include "transfer/hash_worker.h"
#include "transfer/reception_history.h"

namespace {
constexpr size_t kAnswerPiece = 16 * 1024;  // answer lines gathered per write
constexpr size_t kNamingStack = 256 * 1024;
std::atomic<PrivateTallyShown> tallyShown{nullptr};
const VerifiedSteps kVerifiedSteps{receiveVerifiedFile, recordPartials};

struct OfferedFile {
    std::string name, directory;
    int64_t size = 0;
};

// The final answer to a transfer's sender: a refusal's text, or the kind of the rest.
LineKind answerKind(ReceiveResult result, int refusal) {
    if (result == ReceiveResult::Complete || result == ReceiveResult::Empty || result == ReceiveResult::AddressTaken)
        return LineKind::Stored;
    if ((result == ReceiveResult::Refused || result == ReceiveResult::NoRoom) && refusal) return LineKind::Refused;
    return LineKind::Incomplete;
}

// The stream's reader over the session, and the terms of its reception.
ReceiveTerms privateTerms(Link& link, StreamReader& reader, uint32_t sender,
                          const std::optional<TrustedComputer>& trusted, unsigned stops, int* refusal) {
    useUtf8Names();  // the records' names are UTF-8 on this thread, as a browser's are
    netSetReceiveTimeout(link.socket, receiveStallMilliseconds);
    startLinkReader(reader, &link);
    reader.blockMilliseconds = kHeaderBlockMilliseconds;
    reader.progressAt = tickCount();
    ReceiveTerms terms;
    terms.sender = sender;
    terms.stops = stops;
    terms.shutOnStop = link.socket;
    terms.trusted = trusted.has_value();
    if (trusted) terms.trustedName = trusted->name.empty() ? trusted->id : trusted->name;
    terms.orderlyEnd = true;
    terms.door = HistoryDoor::Private;
    *refusal = 0;
    terms.refusal = refusal;
    return terms;
}

// Our orderly end after the answer; a sender that is turned away may still be writing:
// what it writes is read for a moment, so that it reads the answer instead of a reset.
void endAnswer(Link& link, bool written, LineKind kind) {
    if (written && linkFinish(link) && kind != LineKind::Stored) drainPrivate(link, kRefusedDrainMilliseconds);
}

// What a transfer's row names: the offer's first top-level name (shown text, UTF-8), and how
// many other top-level names follow it: "Photos (+2)".
struct OfferTops {
    std::string first;
    std::unordered_set<std::string> seen;
    void add(std::string_view directory, std::string_view name) {
        // A top-level file's folder is "" or "/"; a folder's first component names it.
        const size_t start = directory.find_first_not_of("\\/");
        const std::string_view top = start == std::string_view::npos
                                         ? name
                                         : directory.substr(start, directory.find_first_of("\\/", start) - start);
        if (seen.emplace(top).second && seen.size() == 1) first = withoutHiddenCharacters(std::string(top));
    }
    std::string what() const { return seen.size() > 1 ? first + " (+" + std::to_string(seen.size() - 1) + ")" : first; }
};

// The manifest after OFFER: the transfer header, then directory and file records without
// content, up to a "Type:end" block; bounded in blocks, bytes and time. The file records
// are counted, and kept only for a trusted sender (an untrusted one gets NEED for each).
bool readManifest(StreamReader& reader, bool trusted, std::vector<OfferedFile>* files, size_t* count, int64_t* total,
                  std::string* what) {
    OfferTops tops;
    const int64_t limit = trusted ? kOfferByteLimit : kUntrustedOfferByteLimit;
    std::vector<char> block(kHeaderBlockLimit + 1);
    int length = 0;
    if (readHeaderBlock(reader, block.data(), &length) <= 0) return false;
    const auto header = parseHeaderLines(block.data(), length);
    if (headerValue(header, "Version") != kProtocolVersion) return false;
    *total = readNumber(headerValue(header, "Total"));
    const uint32_t start = tickCount();
    int64_t bytes = length;
    for (size_t blocks = 0; blocks < kMostOfferRecords; ++blocks) {
        if (readHeaderBlock(reader, block.data(), &length) <= 0) return false;
        bytes += length + 2;
        if (bytes > limit || tickCount() - start > static_cast<uint32_t>(kOfferMilliseconds)) return false;
        OfferedFile file;
        std::string type, name, directory;
        forEachHeaderLine(block.data(), length, [&](std::string_view key, std::string_view value) {
            if (key == "Type") type = value;
            else if (key == "Name") name = value;
            else if (key == "Directory") directory = value;
            else if (key == "Size") file.size = readNumber(value);
        });
        file.name = fromUtf8(name);
        file.directory = fromUtf8(directory);
        if (type == "end") {
            *what = tops.what();
            return true;
        }
        if (type != "file") continue;
        ++*count;
        tops.add(directory, name);
        if (trusted) files->push_back(file);
    }
    return false;
}

// One HAVE or NEED line per offered file, then READY. An untrusted sender gets NEED for
// every file: it learns nothing of what is stored here. The lines go out in pieces of
// many (one TLS record each, not one a line), at least every kWaitLineMilliseconds; the
// WAIT lines of a slow hash may come between them, which the sender passes over.
bool answerOffer(Link& link, const std::vector<OfferedFile>& files, size_t count, VerifiedReception& v) {
    const std::string store = files.empty() ? std::string() : portGetStorePath();
    WaitLines waiting{&link, v.cancel, tickCount(), false};
    std::set<std::string> seen;
    EmptyFolder empty;
    std::string piece;
    for (size_t i = 0; i < count; ++i) {
        const OfferedFile* f = i < files.size() ? &files[i] : nullptr;
        const std::string have = store.empty() || !f
                                     ? std::string()
                                     : offeredFileAnswer(&v.answers, &seen, store, f->name, f->directory, f->size,
                                                         v.partials, tickWaitLine, &waiting, &empty);
        piece += have.empty() ? privateLineBytes(LineKind::Need) : privateLineBytes(LineKind::Have, have);
        if (waiting.failed || *v.cancel) return false;
        if (piece.size() < kAnswerPiece &&
            tickCount() - waiting.lastLine < static_cast<uint32_t>(kWaitLineMilliseconds))
            continue;
        if (!linkWrite(link, piece.data(), piece.size())) return false;
        piece.clear();
        waiting.lastLine = tickCount();
    }
    piece += privateLineBytes(LineKind::Ready);
    return linkWrite(link, piece.data(), piece.size());
}

// The manifest as read, answered once the reception is admitted.
struct Offered {
    Link* link;
    std::vector<OfferedFile> files;
    size_t count = 0;
};
int readFromStream(void* reader, char* buffer, int size) {
    return readContent(*static_cast<StreamReader*>(reader), buffer, size);
}

// After READY the sender may still be checking what we answered HAVE for: its WAIT lines
// come before the transfer's header, for as long as it could take to hash the bytes
// answered slowly. A line there is a WAIT line or ends the reception.
bool readSenderWaits(StreamReader& reader, const OfferAnswers& answers) {
    int64_t answered = 0;
    for (const auto& a : answers) answered += a.second.length;
    const uint32_t start = tickCount();
    const int64_t within = waitLinesMilliseconds(receiveStallMilliseconds, answered);
    char line[kAnswerLineLimit];
    while (peekByte(reader) == 'Q') {
        const size_t length = readPrivateLine(readFromStream, &reader, line, sizeof line);
        if (parsePrivateLine(line, length).kind != LineKind::Wait || tickCount() - start > within) return false;
    }
    return true;
}

bool answerOffered(VerifiedReception& v, StreamReader& reader) {
    Offered& o = *static_cast<Offered*>(v.answerContext);
    const bool answered = answerOffer(*o.link, o.files, o.count, v);
    o.files = std::vector<OfferedFile>();
    return answered && readSenderWaits(reader, v.answers);
}

// The final answer of an offer: the files not stored by name, then the tally (or a refusal).
bool writeOfferAnswer(Link& link, ReceiveResult result, int refusal, uint32_t sender, const VerifiedReception& v,
                      LineKind* kind) {
    *kind = answerKind(result, refusal);
    if (*kind == LineKind::Refused)
        return writePrivateLine(link, LineKind::Refused, fillPlaceholders(englishText(refusal), netDotted(sender)));
    for (const std::string& name : v.failed)
        if (!writePrivateLine(link, LineKind::Failed, name.empty() ? std::string("?") : name)) return false;
    const int counts[] = {v.stored, v.resumed, v.skipped, v.refused};
    const bool stored = *kind == LineKind::Stored;
    return writePrivateLine(link, stored ? LineKind::StoredTally : LineKind::IncompleteTally,
                            countsText(counts, stored ? 3 : 4));
}
}  // namespace

void setPrivateTallyShown(PrivateTallyShown shown) { tallyShown = shown; }

ReceiveResult servePrivateOffer(Link& link, uint32_t sender, const std::optional<TrustedComputer>& trusted,
                                const std::string& senderId, unsigned stops) {
    StreamReader reader;
    int refusal = 0;
    ReceiveTerms terms = privateTerms(link, reader, sender, trusted, stops, &refusal);
    VerifiedReception v;
    v.senderId = senderId;
    v.keepCut = trusted.has_value() && keepPartialDays > 0;
    // A sender the policy refuses hears so before its manifest is read.
    const Verdict verdict = receiveVerdict(sender, tickCount(), false, trusted.has_value(), trusted ? trusted->id : "");
    if (refuses(verdict)) {
        showRefusal(verdict, sender);
        HistoryEntry entry = receivedEntry(HistoryDoor::Private, sender, HistoryOutcome::Refused);
        if (!terms.trustedName.empty()) entry.peer = terms.trustedName;
        entry.reason = shownText(refusalText(verdict), sender);
        recordReceived(std::move(entry), sender, refusalText(verdict));
        const std::string text = fillPlaceholders(englishText(refusalText(verdict)), netDotted(sender));
        endAnswer(link, writePrivateLine(link, LineKind::Refused, text), LineKind::Refused);
        return ReceiveResult::Refused;
    }
    Offered offered{&link, {}, 0};
    if (!readManifest(reader, trusted.has_value(), &offered.files, &offered.count, &v.offered, &v.what))
        return ReceiveResult::NothingSent;
    if (trusted) {
        const std::string store = portGetStorePath();
        if (!store.empty())
            for (const PartialRecord& p : readPartialIndex(store))
                if (p.senderId == senderId) v.partials.push_back(p);
    }
    v.answer = answerOffered;
    v.answerContext = &offered;
    v.steps = &kVerifiedSteps;
    ArrivedBatch arrived;
    arrived.named = endNamed;
    arrived.thread = startJobThread(kNamingStack);
    v.arrived = &arrived;
    terms.verified = &v;
    v.worker = startHashWorker();
    const ReceiveResult result = receiveStream(std::move(reader), kInvalidSocket, terms);
    stopHashWorker(v.worker);
    stopJobThread(arrived.thread);  // its last batch was told at the records' end
    // A trusted sender tries a cut transfer again by itself: the user's Stop holds it off.
    if (result == ReceiveResult::Cancelled && trusted) rememberStopped(sender, trusted->id, tickCount());
    LineKind kind = LineKind::Invalid;
    // Two statements: kind is set by the answer that is written first.
    const bool written = writeOfferAnswer(link, result, refusal, sender, v, &kind);
    endAnswer(link, written, kind);
    if (result == ReceiveResult::Complete) rememberPeer(sender);
    auto shown = tallyShown.load();
    if (shown && kind != LineKind::Refused) {
        TransferTally tally{v.stored, v.resumed, v.skipped, v.refused, true};
        shown(tally, v.failed, terms.trustedName.empty() ? netDotted(sender) : terms.trustedName);
    }
    return result;
}
