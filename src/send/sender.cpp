#include "send/sender.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

#include "core/central_state.h"
#include "core/text_routines.h"
#include "core/texts.h"
#include "core/window_port.h"
#include "peers/remembered_peers.h"
#include "platform/files.h"
#include "platform/net.h"
#include "platform/socket_file.h"
#include "platform/threads.h"
#include "private/file_hash.h"
#include "private/private_channel.h"
#include "private/private_offer.h"
#include "resource.h"
#include "send/progress_floor.h"
#include "send/send_retry.h"
#include "send/sent_history.h"
#include "transfer/hash_worker.h"
#include "transfer/link.h"
#include "transfer/manifest.h"
#include "transfer/partial_files.h"
#include "transfer/protocol.h"
#include "transfer/stop.h"
#include "trust/content_hash.h"

namespace {
// Header pieces and content share one buffer, and files are read into it in large
// blocks; the wire bytes are the same as piece by piece.
constexpr size_t kSendBufferSize = 1 << 20;
// The buffer goes to the connection in pieces no larger than this, and only what a
// piece's send took counts as sent: progress and speed then follow the connection, and a
// send time-out measures a stall of one piece, not of a whole buffer.
constexpr size_t kSendPiece = 64 * 1024;
constexpr uint32_t kSpeedInterval = 3000;
// Bytes in the buffer go out once they have waited this long, however slowly it fills
// (files that open slowly on a network share or under a scanner): a receiver closes a
// connection that stays silent for a few seconds, and the sender is behind it anyway.
constexpr uint32_t kHoldMilliseconds = 200;
// How often a sender whose receiver closed early looks whether its last bytes were taken.
constexpr int kAcknowledgementPoll = 2;
// How often a send waiting to try again looks for Stop and counts its seconds down.
constexpr int kRetryTick = 50;

SendProgress progressNow;

struct Transfer {
    Link link;               // the plain socket, or the private channel's session over it
    bool privately = false;  // the private route: an offer first, the receiver's answer last
    std::vector<char> buffer;
    size_t used = 0;
    uint32_t heldSince = 0;  // when the oldest byte in the buffer was written
    // Where file content lies in the buffer ([begin, end), in order), and the first
    // range not wholly sent yet: header bytes do not count as sent.
    std::vector<std::pair<size_t, size_t>> content;
    size_t nextContent = 0;
    bool ended = false;       // nothing more goes out: a send failed, or a file fell short
    bool answered = false;    // the private channel's receiver answered before the end
    bool incomplete = false;  // something was left out, cut or changed size
    bool blockOpen = false;   // the last record written still waits for its "\n\n"
    int percent = -1;
    uint32_t lastUpdateTick = 0;
    std::string header;  // the file record being written, its room kept from file to file
    // The files of one folder come one after another: its wire form is made once for all.
    std::string folder, utf8Folder;
    bool folderKnown = false, folderFits = false;
    // A private offer's: where each manifest entry's content starts (0: whole; its size:
    // skipped), the content bytes this transfer announces, and the running file's hash.
    bool offer = false;
    std::vector<int64_t> from;
    std::map<size_t, CheckedPrefix> prefixes;  // the files resumed: their first bytes as checked
    int64_t total = 0;
    ContentHash* hash = nullptr;
    HashWorker* worker = nullptr;  // hashes a piece while it is encrypted and sent
    // The single send shows itself through the window port and counts in progressNow; one
    // recipient of several writes to its own record and shows nothing.
    RecipientSend* one = nullptr;
    SendProgress ownProgress;
    SendProgress* progress = &progressNow;
    std::atomic<Socket>* slot = &sendSocket;  // where Stop finds the connection
    // For the history: the address resolved, the trusted computer's name when it went
    // privately, and the first error text the user was told.
    std::string address, trusted, told;
    // The key this transfer reached privately; onlyId: the one a cut send's next try may reach.
    std::string id, onlyId;
    bool streamed = false;  // its progress counts this transfer's bytes, not the last one's
    // The receiver gave its word (a refusal, files not stored), or our pinned list
    // could not be read: the ending is no cut, and the send does not try again.
    bool finalWord = false;
    // A try after a cut keeps its error texts until it is clear that no other try follows.
    bool holdTexts = false;
    std::vector<std::string> held;
};

// An error text: the single send shows it in a box, one recipient of several never does.
// Either keeps the first one as the reason its ending is told and recorded with.
void tell(Transfer& t, const std::string& text) {
    if (t.told.empty()) {
        t.told = text;
        while (!t.told.empty() && t.told.back() == '\n') t.told.pop_back();
    }
    if (t.holdTexts) t.held.push_back(text);
    else if (!t.one) portShowErrorMessage(text);
}

int percentOf(int64_t sent, int64_t total) {
    if (total <= 0 || sent <= 0) return 0;  // nothing to measure against
    if (sent >= total) return 100;          // a file that grew never takes the bar past its end
    if (sent <= INT64_MAX / 100) return static_cast<int>(sent * 100 / total);
    return static_cast<int>(sent / (total / 100));
}

// Everything the sender shows goes through here: nothing once Stop has shown its text.
template <typename Write>
void show(Write write) {
    writeUnlessStopped(sendCancelRequested, write);
}

void updateProgress(Transfer& t) {
    if (t.one) {
        t.one->sent = t.progress->sent;
        return;
    }
    const int percent = percentOf(progressNow.sent, progressNow.total);
    if (percent != t.percent) {
        t.percent = percent;
        show([percent] { portSetProgress(percent, percent); });
    }
    const uint32_t now = tickCount();
    if (now - t.lastUpdateTick > kSpeedInterval) {
        t.lastUpdateTick = now;
        const uint32_t seconds = (now - progressNow.startTick) / 1000;
        if (seconds > 0) {
            const int speed = static_cast<int>(static_cast<uint32_t>(progressNow.sent / 1024 / seconds));
            show([speed] { portSetStatusFormatted(IDS_SENDING_RATE, speed); });
        }
    }
}

// The content bytes among buffer[from, to), a piece just sent.
int64_t contentIn(Transfer& t, size_t from, size_t to) {
    int64_t count = 0;
    while (t.nextContent < t.content.size()) {
        const auto& range = t.content[t.nextContent];
        if (range.first >= to) break;
        count += static_cast<int64_t>(std::min(range.second, to) - std::max(range.first, from));
        if (range.second > to) break;  // goes on in the next piece
        ++t.nextContent;
    }
    return count;
}

bool flush(Transfer& t) {
    for (size_t done = 0; done < t.used && !t.ended;) {
        const size_t piece = std::min(kSendPiece, t.used - done);
        if (sendCancelRequested || !linkWrite(t.link, t.buffer.data() + done, piece)) {
            t.ended = true;
            break;
        }
        // A private receiver only writes before the end to turn the transfer away: its
        // answer is read, and nothing more is sent.
        if (linkAnswerWaiting(t.link)) t.answered = t.ended = true;
        t.progress->sent += contentIn(t, done, done + piece);
        done += piece;
        updateProgress(t);
    }
    hashWorkerWait(t.worker);  // the buffer is written again only once its hash has read it
    t.used = 0;
    t.content.clear();
    t.nextContent = 0;
    return !t.ended;
}

// Header pieces are far smaller than the buffer.
bool append(Transfer& t, const std::string& bytes) {
    if (bytes.size() > t.buffer.size() - t.used && !flush(t)) return false;
    if (t.ended) return false;
    if (t.used == 0) t.heldSince = tickCount();
    memcpy(t.buffer.data() + t.used, bytes.data(), bytes.size());
    t.used += bytes.size();
    return true;
}

// Takes count bytes just read into the buffer's free space as file content.
void keepContent(Transfer& t, size_t count) {
    if (t.used == 0) t.heldSince = tickCount();
    if (!t.content.empty() && t.content.back().second == t.used) t.content.back().second += count;
    else t.content.emplace_back(t.used, t.used + count);
    t.used += count;
}

// Sends what the buffer holds once its oldest byte has waited long enough.
void flushIfHeld(Transfer& t) {
    if (t.used > 0 && tickCount() - t.heldSince >= kHoldMilliseconds) flush(t);
}

// What is left of a large file goes from the file to the connection inside the system,
// in send pieces, after the buffer. False when the link offers no such way (nothing of
// the file was sent then).
bool sendDirect(Transfer& t, FileHandle file, int64_t* remaining) {
    if (!flush(t)) return true;
    while (*remaining > 0) {
        if (sendCancelRequested) {
            t.ended = true;
            return true;
        }
        const int piece = static_cast<int>(std::min<int64_t>(*remaining, kSendPiece));
        const int n = linkSendFile(t.link, file, piece);
        if (n == kNoDirectPath) return false;
        if (n <= 0) {
            // A file that shrank or could not be read is this side's shortfall; a failed
            // send is the receiver's.
            if (n == 0 || n == kFileReadFailed) t.incomplete = true;
            t.ended = true;
            return true;
        }
        *remaining -= n;
        t.progress->sent += n;
        updateProgress(t);
    }
    return true;
}

// Exactly size bytes follow a file's header, whatever the file does meanwhile: a file
// that grew is cut at size; one that shrank (or fails to read) ends the connection
// there, since the receiver would otherwise take the next header for content.
void sendContent(Transfer& t, FileHandle file, int64_t size) {
    int64_t remaining = size;
    bool grew = false, atEnd = false;
    if (size >= static_cast<int64_t>(kSendBufferSize) && sendDirect(t, file, &remaining) && t.ended) return;
    while (remaining > 0) {
        if (sendCancelRequested) {
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
        hashWorkerFeed(t.worker, t.hash, t.buffer.data() + t.used, static_cast<size_t>(got));
        keepContent(t, static_cast<size_t>(got));
        remaining -= got;
        if (remaining > 0) flushIfHeld(t);
    }
    if (!grew && !atEnd) {
        char probe;
        grew = fileRead(file, &probe, 1) > 0;
    }
    if (grew) t.incomplete = true;
}

// An offered file's content from where the receiver's copy ends, then the hash of the whole
// file as sent (its first bytes are hashed as they were checked, not sent nor read again).
void sendOfferedContent(Transfer& t, FileHandle file, int64_t from, int64_t size, const CheckedPrefix* prefix) {
    t.hash = contentHashStart();
    if (from > 0 && !(prefix && contentHashSet(t.hash, prefix->hash.get()) && fileSeek(file, from))) {
        t.incomplete = t.ended = true;
    } else if (size > from) {
        sendContent(t, file, size - from);
    }
    hashWorkerWait(t.worker);
    const std::string hex = contentHashFinal(t.hash);
    t.hash = nullptr;
    if (t.ended || hex.empty()) return;
    append(t, checkBlockBytes(hex));
    t.blockOpen = true;
}

// A resumed file's checked prefix, while the open file is still the one checked.
const CheckedPrefix* checkedPrefix(const Transfer& t, size_t index, FileHandle file) {
    const auto found = t.prefixes.find(index);
    FileStamp now;
    if (found == t.prefixes.end() || !found->second.hash || !fileStampOf(file, &now)) return nullptr;
    return sameFileState(now, found->second.stamp) ? &found->second : nullptr;
}

void sendFile(Transfer& t, const ManifestEntry& entry, int64_t from, size_t index) {
    if (!t.folderKnown || entry.relativeFolder != t.folder) {
        t.folder = t.utf8Folder = entry.relativeFolder;
        t.folderKnown = true;
        t.folderFits = toUtf8InPlace(t.utf8Folder, kManifestFieldLimit);
    }
    std::string name = entry.name;
    // A value whose UTF-8 form would not fit its field is left out, like a file that
    // cannot be opened: no header, no content.
    if (!t.folderFits || !toUtf8InPlace(name, kManifestFieldLimit)) {
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
    // A file that changed since the receiver answered is sent whole.
    if (from > size || size != entry.measuredSize) from = 0;
    const CheckedPrefix* prefix = from > 0 && from < size ? checkedPrefix(t, index, file) : nullptr;
    if (from < size && !prefix) from = 0;
    t.header.clear();
    appendFileRecord(t.header, size, name, t.utf8Folder);
    if (t.offer) t.header.insert(t.header.size() - 1, offerRecordLines(from, size));
    if (append(t, t.header)) {
        t.blockOpen = false;
        if (t.offer && (from == 0 || from < size)) sendOfferedContent(t, file, from, size, prefix);
        else if (!t.offer && size > 0) sendContent(t, file, size);
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
    if (!t.one) {
        show([] {
            portSetProgress(0, 0);
            portSetStatusText(IDS_SENDING);
        });
    } else {
        t.one->total = t.total;
        t.one->started = true;
    }
    t.percent = 0;
    // Anything flushed from here on counts against this transfer, not the last one.
    *t.progress = SendProgress{0, t.total, tickCount()};
    t.streamed = true;
    append(t, transferHeaderBytes(t.total));
    t.blockOpen = true;
    sendDirectories(t);
    // The receiver hears from us at once, however long the first file takes to open.
    flush(t);
    t.progress->startTick = tickCount();
    t.lastUpdateTick = t.progress->startTick;
    for (size_t i = 0; i < transferManifest.size(); ++i) {
        if (t.ended || sendCancelRequested) break;
        sendFile(t, transferManifest[i], t.offer ? t.from[i] : 0, i);
        flushIfHeld(t);
    }
    // A receiver parses only lines ended by a line feed: the last header or directory
    // record needs its block closed, or its last line would be lost.
    if (t.blockOpen && !sendCancelRequested) append(t, emptyBlockBytes());
    flush(t);
}

// After the last byte: the receiver reads to the end of the stream and then closes. Only
// its orderly close, once it has acknowledged every byte, says that the transfer arrived;
// a reset (it turned us away, or could not store everything), a close with bytes of ours
// unacknowledged, an error, Stop, or no close within the stall limit say it did not.
bool receiverTookAll(Link& link, int stallMilliseconds) {
    linkFinish(link);
    netSetReceiveTimeout(link.socket, stallMilliseconds);
    const uint32_t start = tickCount();
    const auto tooLate = [&] { return tickCount() - start > static_cast<uint32_t>(stallMilliseconds); };
    char sink[512];
    int n;
    // A receiver has nothing to say; one that writes is read on to its close, within the limit.
    while ((n = linkRead(&link, sink, sizeof sink)) > 0)
        if (sendCancelRequested || tooLate()) return false;
    if (n < 0 || sendCancelRequested) return false;
    for (;;) {
        const SentFate fate = netSentFate(link.socket);
        if (fate != kSentPending) return fate == kSentTaken;
        if (sendCancelRequested || tooLate()) return false;
        sleepMilliseconds(kAcknowledgementPoll);
    }
}

void forgetSendSocket(Transfer& t) {
    forgetTransferSocket(*t.slot);
    linkClose(t.link);
}

// Complete when resolved; Cancelled when Stop came first or ended the attempt (no error
// box then); otherwise the error box has been shown.
SendResult resolve(Transfer& t, const std::string& recipient, uint32_t* address) {
    if (sendCancelRequested) return SendResult::Cancelled;
    const bool looked = t.one && t.one->looked;  // once for all of several, at once
    if (looked) *address = t.one->resolved;
    if (!(looked ? t.one->found : netResolve(recipient, address))) {
        if (sendCancelRequested) return SendResult::Cancelled;
        tell(t, "Invalid address " + recipient + "\n");
        return SendResult::InvalidAddress;
    }
    return SendResult::Complete;
}

// The same for the connection to address on port.
SendResult connectTo(Transfer& t, Socket s, uint32_t address, uint16_t port) {
    if (sendCancelRequested) return SendResult::Cancelled;
    const int error = netConnect(s, address, port);
    // Accepted and reset before this thread woke from its connect: the receiver turned
    // the connection away, as a reset after the first bytes says.
    if (netErrorIsReset(error)) return SendResult::NotTaken;
    if (error != 0) {
        if (sendCancelRequested) return SendResult::Cancelled;
        char text[40];
        snprintf(text, sizeof text, "Connect error %d\n", error);
        tell(t, text);
        return SendResult::ConnectError;
    }
    return SendResult::Complete;
}

// The private channel's route to address, unless plain: the session is open in t.link
// for a trusted computer. Complete to go on (privately, or on port 2904); otherwise the
// send ends here, its error shown (nothing was sent) or stopped.
SendResult chooseRoute(Transfer& t, uint32_t address, uint16_t port, bool plain, PrivateChoice* choice) {
    const bool onlyEncrypted = sendOnlyEncrypted;
    if (plain && !onlyEncrypted) return SendResult::Complete;
    *choice = choosePrivateRoute(address, port, &t.link, *t.slot, LineKind::Offer, std::string(), t.onlyId);
    t.privately = choice->route == PrivateRoute::Private;
    if (sendCancelRequested) {
        if (t.privately) forgetSendSocket(t);
        return SendResult::Cancelled;
    }
    const std::string dotted = netDotted(address);
    if (choice->route == PrivateRoute::KeyChanged || choice->route == PrivateRoute::NotPrivate) {
        const int text = choice->route == PrivateRoute::KeyChanged ? IDS_SEND_KEY_CHANGED : IDS_SEND_NOT_PRIVATE;
        tell(t, fillPlaceholders(englishText(text), dotted));
        if (!choice->trouble.empty()) tell(t, choice->trouble + "\n");
        t.finalWord = !choice->trouble.empty();
        t.trusted = choice->name;  // the history names the trusted computer nothing went to
        return choice->route == PrivateRoute::KeyChanged ? SendResult::KeyChanged : SendResult::NotPrivate;
    }
    if (choice->route == PrivateRoute::Plain && onlyEncrypted) {
        tell(t, fillPlaceholders(englishText(IDS_SEND_ONLY_ENCRYPTED), dotted));
        return SendResult::NotEncrypted;
    }
    if (choice->untrustedCopy && !t.one) portShowRefusal(IDS_SEND_NOT_PAIRED, dotted);
    return SendResult::Complete;
}

// Connects t.link to the recipient: the private session chosen for it, or port 2904.
SendResult connectLink(Transfer& t, const std::string& recipient, uint16_t port, bool plain, PrivateChoice* choice) {
    uint32_t address = 0;
    SendResult result = resolve(t, recipient, &address);
    if (result == SendResult::Complete) t.address = netDotted(address);
    if (result == SendResult::Complete) result = chooseRoute(t, address, port, plain, choice);
    if (result != SendResult::Complete || t.privately) return result;
    t.link = plainLink(netTcpSocket());
    publishTransferSocket(*t.slot, t.link.socket);  // where Stop can shut it down
    result = connectTo(t, t.link.socket, address, port);
    if (result != SendResult::Complete) forgetSendSocket(t);
    return result;
}

// Whether the receiver took everything: a plain one by closing in order, a private one
// by its final answer. A private refusal's text is shown.
bool receiverTook(Transfer& t, int stallMilliseconds, TransferTally* tally) {
    if (sendCancelRequested) return false;
    if (!t.privately) return !t.ended && receiverTookAll(t.link, stallMilliseconds);
    std::string refusal;
    std::vector<std::string> failed;
    const bool stored = privateOfferStored(t.link, stallMilliseconds, tally, &failed, &refusal);
    // An incomplete tally alone is what a receiver that gave the silent connection up
    // answers: the cut's, not a word against the send.
    t.finalWord = !refusal.empty() || !failed.empty();
    if (!refusal.empty() && !sendCancelRequested) tell(t, refusal);
    if (!failed.empty() && !sendCancelRequested) {
        std::string names;
        for (const std::string& name : failed) names += (names.empty() ? "" : ", ") + name;
        tell(t, "Not stored by the receiver (not written, or not the content sent): " + names);
    }
    return stored && !t.ended;
}

// A private send offers its manifest first: only what the receiver lacks is sent then.
bool offer(Transfer& t, int stallMilliseconds) {
    t.offer = true;
    t.worker = startHashWorker();
    std::string refusal;
    const bool answered = offerManifest(t.link, stallMilliseconds, &t.from, &t.prefixes, &refusal);
    for (int64_t from : t.from) t.total -= from;
    t.finalWord = !refusal.empty();
    if (!refusal.empty() && !sendCancelRequested) tell(t, refusal);
    return answered;
}
}  // namespace

void prepareSend() {
    portSetStatusText(IDS_PREPARING);
    clearTransferManifest();
    sendCancelRequested = false;
}

namespace {
// The text a send that ended so is told by, when no error text said more.
std::string endingText(SendResult result) {
    if (result == SendResult::Incomplete || result == SendResult::NotTaken) return englishText(IDS_TRANSFER_INCOMPLETE);
    return std::string();
}

// Everything from the connection to its close, for the single send (shown through the
// window port) and for one recipient of several (shown by nobody).
SendResult sendOver(Transfer& t, const std::string& recipient, uint16_t port, int stallMilliseconds, bool plain) {
    if (!t.one) show([] { portSetStatusText(IDS_CONNECTING); });
    PrivateChoice choice;
    const SendResult connected = connectLink(t, recipient, port, plain, &choice);
    if (connected != SendResult::Complete) {
        if (connected == SendResult::NotTaken && !t.one) show([] { portSetStatusText(IDS_TRANSFER_INCOMPLETE); });
        if ((connected == SendResult::Cancelled || connected == SendResult::NotTaken) && !t.one) portSetButtonsIdle();
        return connected;
    }
    // Asked now: once the receiver has closed, the socket may no longer tell (under Wine
    // it does not).
    uint32_t peer = 0;
    const bool peerKnown = netPeerAddress(t.link.socket, &peer);
    netSetSendTimeout(t.link.socket, stallMilliseconds);
    if (t.privately) {
        t.trusted = choice.name;
        t.id = choice.id;
    }
    if (!t.one) show([&t, &choice] { t.privately ? portSetPrivatePeer(choice.name) : portSetInTheClear(true); });
    t.buffer.resize(kSendBufferSize);
    t.total = totalSize;
    const bool offered = !t.privately || offer(t, stallMilliseconds);
    if (offered) stream(t);
    TransferTally tally;
    const bool taken = offered && receiverTook(t, stallMilliseconds, &tally);
    const bool allSent = offered && !t.incomplete && refusedItemCount == 0 && t.progress->sent == t.total;

    SendResult result;
    if (sendCancelRequested) {
        result = SendResult::Cancelled;
    } else if (taken && allSent) {
        if (!t.one) {
            show([] {
                portSetProgress(100, 0);
                portSetStatusText(IDS_TRANSFER_COMPLETE);
            });
        }
        result = SendResult::Complete;
        if (peerKnown) rememberPeer(peer);
    } else {
        if (!t.one) show([] { portSetStatusText(IDS_TRANSFER_INCOMPLETE); });
        // Whose side fell short: files this side left out, or a receiver that did not take
        // (all of) what was sent.
        result = !t.incomplete && refusedItemCount == 0 && !taken ? SendResult::NotTaken : SendResult::Incomplete;
    }
    // A private send that did not end complete resumes when it is sent again (the single
    // send's only: a send to several is not resumed as one).
    if (!t.one) noteLastSend(tally, t.privately && result != SendResult::Complete);
    stopHashWorker(t.worker);
    forgetSendSocket(t);
    if (!t.one && t.privately) portSetPrivatePeer(std::string());
    else if (!t.one) portSetInTheClear(false);
    if (!t.one) portSetButtonsIdle();
    return result;
}

// The single send's tries so far: one ending for the history.
struct Tries {
    SentEnding ending;
    std::string name;      // the trusted computer's, as a try met it
    std::string id;        // its key: the only one a later try goes to
    bool reached = false;  // a try went privately to it
};

// Adds a try that ended with result; how it ended, as far as trying again goes.
TryEnding addTry(Tries& tries, const Transfer& t, SendResult result) {
    SentEnding& ending = tries.ending;
    ending.result = result;
    ++ending.tries;
    ending.bytes += t.streamed ? t.progress->sent : 0;
    if (!t.address.empty()) ending.address = t.address;
    if (!t.trusted.empty()) tries.name = ending.trusted = t.trusted;
    ending.reason = t.told.empty() ? endingText(result) : t.told;
    tries.reached = tries.reached || t.privately;
    if (tries.id.empty()) tries.id = t.id;
    return TryEnding{result, tries.reached, t.finalWord};
}

// How the last try ends the send. Stop while it waited is canceled (no error box). A
// trusted computer that took part of the send and then stayed away did not take it: never
// a reason to offer the clear wire, as "does not answer privately" would.
void endTries(Tries& tries, const Transfer& t, bool cut) {
    SentEnding& ending = tries.ending;
    if (cut && sendCancelRequested) {
        ending.result = SendResult::Cancelled;
        ending.reason.clear();
    } else if (ending.tries > 1 && ending.result == SendResult::NotPrivate) {
        ending.result = SendResult::NotTaken;
        ending.reason = endingText(SendResult::NotTaken);
        show([] { portSetStatusText(IDS_TRANSFER_INCOMPLETE); });
        portSetButtonsIdle();
    } else {
        for (const std::string& text : t.held) portShowErrorMessage(text);
    }
}

// Between tries of a cut send: the status line counts down to the next one, Stop ends the
// wait at once. False when Stop came, or the next try would start later after the first cut
// (at cutAt) than sendRetrySeconds allow.
bool waitToTryAgain(const std::string& name, int tries, uint32_t cutAt) {
    const int wait = retryWaitSeconds(tries);
    const int64_t allowed = static_cast<int64_t>(sendRetrySeconds) * 1000;
    if (sendCancelRequested || tickCount() - cutAt + static_cast<int64_t>(wait) * 1000 > allowed) return false;
    portSetButtonsTransferring();
    const uint32_t start = tickCount();
    int shown = 0;
    for (;;) {
        if (sendCancelRequested) break;
        const uint32_t waited = tickCount() - start;
        if (waited >= static_cast<uint32_t>(wait) * 1000) return true;
        const int left = wait - static_cast<int>(waited / 1000);
        if (left != shown) show([&name, left] { portShowRetryWait(name, left); });
        shown = left;
        sleepMilliseconds(kRetryTick);
    }
    portSetButtonsIdle();
    return false;
}
}  // namespace

SendResult runSend(const std::string& recipient, uint16_t port, int stallMilliseconds, bool plain) {
    if (sendCancelRequested) return SendResult::Cancelled;
    portSetButtonsTransferring();
    if (transferManifest.empty() && directoryList.empty() && refusedItemCount == 0) {
        portShowErrorText(IDS_NOTHING_SELECTED);
        return SendResult::NothingSelected;
    }
    uint32_t cutAt = 0;  // the time for trying again counts from the first cut
    Tries tries{SentEnding{recipient, "", "", SendResult::Cancelled, "", 0, 0}, std::string(), std::string(), false};
    SentEnding& ending = tries.ending;
    for (;;) {
        Transfer t;
        t.holdTexts = ending.tries > 0;
        t.onlyId = tries.id;
        const bool again = triesAgain(addTry(tries, t, sendOver(t, recipient, port, stallMilliseconds, plain)));
        if (ending.tries == 1) cutAt = tickCount();
        if (again && waitToTryAgain(tries.name, ending.tries, cutAt)) continue;
        endTries(tries, t, again);
        break;
    }
    recordSent(ending);
    return ending.result;
}

SendResult runSendTo(RecipientSend* one, uint16_t port, int stallMilliseconds, bool plain) {
    Transfer t;
    t.one = one;
    t.progress = &t.ownProgress;
    t.slot = &one->socket;
    SendResult result = sendOver(t, one->recipient, port, stallMilliseconds, plain);
    if (one->givenUp && result != SendResult::Complete) {
        result = SendResult::NotTaken;
        t.told = kBelowFloorReason;
    }
    one->reason = t.told.empty() ? endingText(result) : t.told;
    one->address = t.address;
    one->trusted = t.trusted;
    one->sent = t.progress->sent;
    recordSent(SentEnding{one->recipient, one->address, t.trusted, result, one->reason, t.progress->sent});
    return result;
}

SendProgress sendProgress() { return progressNow; }
