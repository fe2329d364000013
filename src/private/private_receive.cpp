#include "private/private_receive.h"

#include <atomic>

#include "core/central_state.h"
#include "core/text_routines.h"
#include "core/texts.h"
#include "core/window_port.h"
#include "peers/remembered_peers.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/threads.h"
#include "private/file_hash.h"
#include "private/offer_answers.h"
#include "private/private_channel.h"
#include "private/private_session.h"
#include "private/verified_files.h"
#include "store/store_names.h"
#include "transfer/hash_worker.h"
#include "transfer/reception_history.h"

namespace {
std::atomic<void (*)(const TransferTally&, const std::vector<std::string>&)> tallyShown{nullptr};
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

// The manifest after OFFER: the transfer header, then directory and file records without
// content, up to a "Type:end" block; bounded in blocks, bytes and time. The file records
// are counted, and kept only for a trusted sender (an untrusted one gets NEED for each).
bool readManifest(StreamReader& reader, bool trusted, std::vector<OfferedFile>* files, size_t* count, int64_t* total) {
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
        std::string type;
        forEachHeaderLine(block.data(), length, [&](std::string_view key, std::string_view value) {
            if (key == "Type") type = value;
            else if (key == "Name") file.name = fromUtf8(std::string(value));
            else if (key == "Directory") file.directory = fromUtf8(std::string(value));
            else if (key == "Size") file.size = readNumber(value);
        });
        if (type == "end") return true;
        if (type == "file") ++*count;
        if (type == "file" && trusted) files->push_back(file);
    }
    return false;
}

// One HAVE or NEED line per offered file, then READY. An untrusted sender gets NEED for
// every file: it learns nothing of what is stored here.
bool answerOffer(Link& link, const std::vector<OfferedFile>& files, size_t count, VerifiedReception& v) {
    const std::string store = files.empty() ? std::string() : portGetStorePath();
    WaitLines waiting{&link, v.cancel, tickCount(), false};
    std::set<std::string> seen;
    for (size_t i = 0; i < count; ++i) {
        const OfferedFile* f = i < files.size() ? &files[i] : nullptr;
        const std::string have = store.empty() || !f
                                     ? std::string()
                                     : offeredFileAnswer(&v.answers, &seen, store, f->name, f->directory, f->size,
                                                         v.partials, tickWaitLine, &waiting);
        const bool written = have.empty() ? writePrivateLine(link, LineKind::Need)
                                          : writePrivateLine(link, LineKind::Have, have);
        if (!written || waiting.failed || *v.cancel) return false;
        waiting.lastLine = tickCount();
    }
    return writePrivateLine(link, LineKind::Ready);
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

void setPrivateTallyShown(void (*shown)(const TransferTally&, const std::vector<std::string>&)) { tallyShown = shown; }

ReceiveResult servePrivateOffer(Link& link, uint32_t sender, const std::optional<TrustedComputer>& trusted,
                                const std::string& senderId, unsigned stops) {
    StreamReader reader;
    int refusal = 0;
    ReceiveTerms terms = privateTerms(link, reader, sender, trusted, stops, &refusal);
    VerifiedReception v;
    v.senderId = senderId;
    v.keepCut = trusted.has_value() && keepPartialDays > 0;
    // A sender the policy refuses hears so before its manifest is read.
    const Verdict verdict = receiveVerdict(sender, tickCount(), false, trusted.has_value());
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
    if (!readManifest(reader, trusted.has_value(), &offered.files, &offered.count, &v.offered))
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
    terms.verified = &v;
    v.worker = startHashWorker();
    const ReceiveResult result = receiveStream(std::move(reader), kInvalidSocket, terms);
    stopHashWorker(v.worker);
    LineKind kind = LineKind::Invalid;
    // Two statements: kind is set by the answer that is written first.
    const bool written = writeOfferAnswer(link, result, refusal, sender, v, &kind);
    endAnswer(link, written, kind);
    if (result == ReceiveResult::Complete) rememberPeer(sender);
    auto shown = tallyShown.load();
    if (shown && kind != LineKind::Refused) {
        TransferTally tally{v.stored, v.resumed, v.skipped, v.refused, true};
        shown(tally, v.failed);
    }
    return result;
}
