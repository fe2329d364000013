#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "platform/net.h"
#include "scratch_folder.h"
#include "private/offer_answers.h"
#include "transfer/partial_files.h"
#include "store/partial_record.h"
#include "private/private_framing.h"
#include "private/private_offer.h"
#include "private/private_receive.h"
#include "trust/content_hash.h"

namespace {
const std::string kAbc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
const std::string kEmpty = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
const std::string kId = "XJKZ-JVLM-OY5B-7LIU-OW6W-43DZ-3FJQ-535U";

// The known answers, and the same hash whether its content comes whole or in pieces.
TEST(ContentHash, KnownAnswersWholeOrInPieces) {
    EXPECT_EQ(contentHashOf("", 0), kEmpty);
    EXPECT_EQ(contentHashOf("abc", 3), kAbc);
    ContentHash* hash = contentHashStart();
    for (char c : std::string("abc")) contentHashUpdate(hash, &c, 1);
    EXPECT_EQ(contentHashFinal(hash), kAbc);
    EXPECT_TRUE(isContentHashHex(kAbc));
    for (const std::string& bad : {kAbc.substr(1), kAbc + "0", std::string(63, 'a') + "A", std::string(63, 'a') + "g"})
        EXPECT_FALSE(isContentHashHex(bad)) << bad;
}

// Each line of the index either parses to exactly what it says, or is dropped.
TEST(PartialRecord, HostileLinesAreDropped) {
    const std::string good = "a/b/.~qv7.partial\ta/b/film.mkv\t1000\t" + kId + "\t1796806211";
    PartialRecord r;
    ASSERT_TRUE(parsePartialLine(good, false, &r));
    EXPECT_EQ(r.temporary, "a/b/.~qv7.partial");
    EXPECT_EQ(r.target, "a/b/film.mkv");
    EXPECT_EQ(r.size, 1000);
    EXPECT_EQ(r.senderId, kId);
    EXPECT_EQ(r.cutAt, 1796806211);
    EXPECT_EQ(partialLine(r), good + "\n");
    const std::string rest = "\t1000\t" + kId + "\t1";
    const std::vector<std::string> hostile = {
        "/etc/.~qv1.partial\t/etc/passwd" + rest,  // absolute
        "../.~qv1.partial\t../x" + rest,           // leaves the store
        "a/../.~qv1.partial\ta/../x" + rest,
        "a//.~qv1.partial\ta//x" + rest,  // an empty component
        "a\\.~qv1.partial\ta\\x" + rest,  // another separator
        ".~qv1.partial\tsub/x" + rest,    // not beside its target
        "x.partial\tx" + rest,            // not a partial's name
        ".~qv01.partial\tx" + rest,
        ".~qv1.partial\t.~qv2.partial" + rest,   // a target that is a partial
        ".~qv1.partial\tx\t-1\t" + kId + "\t1",  // bad numbers
        ".~qv1.partial\tx\t01\t" + kId + "\t1",
        ".~qv1.partial\tx\t1e3\t" + kId + "\t1",
        ".~qv1.partial\tx\t1234567890123456789\t" + kId + "\t1",
        ".~qv1.partial\tx\t1\tlower-case\t1",  // not an ID
        ".~qv1.partial\tx\t1\t" + kId + "\t1\textra",
        ".~qv1.partial\tx\t1\t" + kId,
        ".~qv1.partial\t" + std::string(1100, 'x') + rest,  // overlong
        std::string(),
    };
    for (const std::string& line : hostile) EXPECT_FALSE(parsePartialLine(line, false, &r)) << line;
    EXPECT_FALSE(parsePartialLine(".~qv1.partial\tCON" + rest, true, &r));  // a device under Windows rules
    // An index keeps what parses, and not a last line without its line feed.
    const std::string text = good + "\n" + hostile[0] + "\n" + good + "\n" + good;
    EXPECT_EQ(parsePartialIndex(text, false).size(), 2u);
}

// Kept partial files go when their days are over, or all at once when deleted; a record
// that names something outside the store is dropped, and what it names stays.
TEST(PartialFiles, ExpireAndDelete) {
    const std::string store = makeScratchFolder("partial");
    const std::string outside = makeScratchFolder("outside");
    writeWholeFile(outside + "/.~qv9.partial", "not ours");
    const int64_t now = static_cast<int64_t>(time(nullptr));
    std::string index;
    for (const auto& kept : {std::make_pair(1, now - 3 * 86400), std::make_pair(2, now - 60)}) {
        const std::string name = partialName(kept.first);
        writeWholeFile(store + "/" + name, std::string(1000, 'x'));
        index += partialLine(PartialRecord{name, "file" + std::to_string(kept.first), 5000, kId, kept.second});
    }
    makeDirectory(store + "/sub");  // partial files no record lists: an old one, and a new one
    for (int n : {5, 6}) writeWholeFile(store + "/sub/" + partialName(n), "unlisted");
    std::filesystem::last_write_time(store + "/sub/" + partialName(5),
                                     std::filesystem::file_time_type::clock::now() - std::chrono::hours(72));
    const std::string away = "../" + outside.substr(outside.find_last_of("/\\") + 1) + "/";
    index += away + ".~qv9.partial\t" + away + "x\t5\t" + kId + "\t0\n";
    writeWholeFile(store + "/" + kPartialIndexName, index);
    keepPartialDays = 2;
    EXPECT_EQ(partialFilesIn(store).count, 2);
    const PartialSummary expired = expirePartialFiles(store);
    EXPECT_EQ(expired.count, 2);
    const std::string unlisted = "sub/\nsub/" + partialName(6) + "\n";
    EXPECT_EQ(listTree(store), std::string(kPartialIndexName) + "\n" + partialName(2) + "\n" + unlisted);
    const PartialSummary deleted = deletePartialFiles(store);
    EXPECT_EQ(deleted.count, 1);
    EXPECT_EQ(deleted.bytes, 1000);
    EXPECT_EQ(listTree(store), unlisted);
    EXPECT_EQ(readWholeFile(outside + "/.~qv9.partial"), "not ours");
    keepPartialDays = kDefaultKeepPartialDays;
    removeScratchFolder(store);
    removeScratchFolder(outside);
}

// A kept partial file is opened once: its prefix is read through the handle that then
// appends, so a file renamed into its place meanwhile changes neither.
TEST(PartialFiles, KeptFileHashedAndAppendedThroughOneOpen) {
    const std::string store = makeScratchFolder("kept");
    const std::string kept = store + "/" + partialName(1);
    writeWholeFile(kept, "abcdef");
    const FileHandle file = fileOpenAt(kept, 3);
    ASSERT_NE(file, kInvalidFile);
    writeWholeFile(store + "/other", "xyz");
    const bool replaced = fileReplace(store + "/other", kept);  // Windows refuses while it is open
    char prefix[4] = {};
    EXPECT_EQ(fileRead(file, prefix, 4), 3);
    EXPECT_EQ(std::string(prefix), "abc");
    EXPECT_TRUE(fileWriteAll(file, "g", 1));
    fileClose(file);
    EXPECT_EQ(readWholeFile(kept), replaced ? "xyz" : "abcg");
    EXPECT_EQ(fileOpenAt(store, 0), kInvalidFile);  // a folder
    removeScratchFolder(store);
}

// A folder in the index's place is damage: the next record replaces it with a plain index.
TEST(PartialFiles, IndexThatIsNoFileIsReplaced) {
    const std::string store = makeScratchFolder("damaged");
    const std::string index = store + "/" + kPartialIndexName;
    ASSERT_TRUE(makeDirectory(index));
    writeWholeFile(index + "/x", "planted");
    writeWholeFile(store + "/" + partialName(4), "kept");
    editPartialIndex(
        store,
        [](std::vector<PartialRecord>& records, void*) {
            records.push_back(PartialRecord{partialName(4), "film", 10, kId, static_cast<int64_t>(time(nullptr))});
        },
        nullptr);
    EXPECT_EQ(readPartialIndex(store).size(), 1u);
    removeScratchFolder(store);
}

// A manifest that names one stored file again and again has it hashed once: one HAVE,
// then NEED for each later mention.
TEST(PrivateOffer, AStoredFileIsAnsweredOncePerOffer) {
    const std::string store = makeScratchFolder("offer");
    writeWholeFile(store + "/a.bin", "abc");
    std::set<std::string> seen;
    OfferAnswers answers;
    EXPECT_EQ(offeredFileAnswer(&answers, &seen, store, "a.bin", "", 3, {}, nullptr, nullptr), haveText(3, kAbc));
    EXPECT_EQ(offeredFileAnswer(&answers, &seen, store, "a.bin", "/", 3, {}, nullptr, nullptr), "");
    removeScratchFolder(store);
}

// The files of a folder the store lacks are answered NEED at one look; the next folder,
// which the store has, is looked at again.
TEST(PrivateOffer, AMissingFolderIsLookedAtOnce) {
    const std::string store = makeScratchFolder("offer");
    std::filesystem::create_directories(store + "/there");
    writeWholeFile(store + "/there/a.bin", "abc");
    std::set<std::string> seen;
    OfferAnswers answers;
    EmptyFolder empty;
    const auto answer = [&](const char* folder, const char* name) {
        return offeredFileAnswer(&answers, &seen, store, name, folder, 3, {}, nullptr, nullptr, &empty);
    };
    EXPECT_EQ(answer("gone", "a.bin"), "");
    EXPECT_TRUE(empty.known);
    EXPECT_EQ(answer("gone", "b.bin"), "");
    EXPECT_EQ(answer("there", "a.bin"), haveText(3, kAbc));
    EXPECT_FALSE(empty.known);
    removeScratchFolder(store);
}

// A record skips or resumes only as it was answered, and only the very file that was
// hashed: a name never answered (there or not), another n, a file replaced or rewritten
// since, or an answer used once already are all refused alike.
TEST(PrivateOffer, OnlyAnsweredFilesSkipOrResume) {
    const std::string store = makeScratchFolder("answers");
    const std::vector<PartialRecord> partials = {
        PartialRecord{partialName(1), "p.bin", 6, kId, static_cast<int64_t>(time(nullptr))}};
    struct Case {
        const char* what;
        const char* target;
        int64_t size, offset;  // offset 0: a Skip:1 record
        void (*meanwhile)(const std::string& store);
        bool taken;
    };
    const auto none = [](const std::string&) {};
    const Case cases[] = {
        {"answered whole", "a.bin", 3, 0, none, true},
        {"there, never answered", "b.bin", 3, 0, none, false},
        {"missing, never answered", "c.bin", 3, 0, none, false},
        {"answered for another size", "a.bin", 4, 0, none, false},
        {"replaced since", "a.bin", 3, 0,
         [](const std::string& s) {
             writeWholeFile(s + "/new", "abc");
             fileReplace(s + "/new", s + "/a.bin");
         },
         false},
        {"answered partial, its n", "p.bin", 6, 3, none, true},
        {"answered partial, another n", "p.bin", 6, 2, none, false},
        {"answered partial, as a skip", "p.bin", 6, 0, none, false},
    };
    for (const Case& c : cases) {
        writeWholeFile(store + "/a.bin", "abc");
        writeWholeFile(store + "/b.bin", "abc");
        writeWholeFile(store + "/" + partialName(1), "abc");
        OfferAnswers answers;
        std::set<std::string> seen;
        EXPECT_EQ(offeredFileAnswer(&answers, &seen, store, "a.bin", "", 3, partials, nullptr, nullptr),
                  haveText(3, kAbc));
        EXPECT_EQ(offeredFileAnswer(&answers, &seen, store, "p.bin", "", 6, partials, nullptr, nullptr),
                  haveText(3, kAbc));
        c.meanwhile(store);
        bool taken = false;
        if (c.offset == 0) {
            taken = takeAnsweredSkip(answers, c.target, store + "/" + c.target, c.size);
            EXPECT_FALSE(takeAnsweredSkip(answers, c.target, store + "/" + c.target, c.size)) << c.what << ": twice";
        } else {
            ContentHash* hash = contentHashStart();
            std::string temporary;
            const FileHandle kept = takeAnsweredResume(answers, store, c.target, c.size, c.offset, hash, &temporary);
            taken = kept != kInvalidFile;
            if (taken) {  // the content continues the prefix as it was hashed, and the file
                contentHashUpdate(hash, "def", 3);
                EXPECT_EQ(contentHashFinal(hash), contentHashOf("abcdef", 6)) << c.what;
                EXPECT_EQ(temporary, partialName(1)) << c.what;
                EXPECT_TRUE(fileWriteAll(kept, "def", 3));
                fileClose(kept);
                EXPECT_EQ(readWholeFile(store + "/" + partialName(1)), "abcdef") << c.what;
            } else {
                contentHashFree(hash);
            }
        }
        EXPECT_EQ(taken, c.taken) << c.what;
    }
    removeScratchFolder(store);
}

// A receiver that answers an offer with WAIT lines and nothing else is given up on once
// the stall limit (and the slow hashing of the offered bytes, none here) has passed.
TEST(PrivateOffer, EndlessWaitLinesEndTheOffer) {
    ASSERT_EQ(netStartup(), 0);
    const Socket listener = netTcpSocket();
    ASSERT_EQ(netBind(listener, 0x7F000001, 0), 0);
    ASSERT_EQ(netListen(listener, 1), 0);
    Link link;
    link.socket = netTcpSocket();
    ASSERT_EQ(netConnect(link.socket, 0x7F000001, netLocalPort(listener)), 0);
    const Socket receiver = netAccept(listener);
    netClose(listener);
    std::thread waits([receiver] {  // bounded: READY after 500 lines, or when the sender leaves
        const std::string wait = privateLineBytes(LineKind::Wait, "");
        for (int i = 0; i < 500 && netSendAll(receiver, wait.data(), wait.size()); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const std::string ready = privateLineBytes(LineKind::Ready, "");
        netSendAll(receiver, ready.data(), ready.size());
    });
    std::vector<int64_t> from;
    std::map<size_t, CheckedPrefix> prefixes;
    std::string refusal;
    EXPECT_FALSE(offerManifest(link, 200, &from, &prefixes, &refusal));
    netShutdownSend(link.socket);
    netClose(link.socket);
    waits.join();
    netClose(receiver);
    netCleanup();
}

struct LineCase {
    std::string bytes;
    LineKind kind;
};

// A text's request carries its length from 1 to 65536, spelt one way only: anything else
// is no request, and the receiver reads none of what follows it.
TEST(PrivateFraming, TextLines) {
    const struct {
        std::string length;
        size_t parsed;
    } cases[] = {
        {"1", 1},  {"65536", 65536}, {"65537", 0}, {"0", 0},  {"007", 0},   {"-5", 0},         {"+5", 0},
        {"5 ", 0}, {" 5", 0},        {"", 0},      {"5x", 0}, {"99999", 0}, {"4294967297", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parseTextLength(c.length), c.parsed) << c.length;
        const std::string bytes = "QVP/1 TEXT " + c.length + "\n";
        const PrivateLine line = parsePrivateLine(bytes.data(), bytes.size());
        EXPECT_EQ(line.kind, c.parsed ? LineKind::Text : LineKind::Invalid) << bytes;
        if (c.parsed) {
            EXPECT_EQ(parseTextLength(line.text), c.parsed);
            EXPECT_EQ(privateLineBytes(LineKind::Text, textLengthText(c.parsed)), bytes);
        }
    }
    EXPECT_EQ(parsePrivateLine("QVP/1 TEXT\n", 11).kind, LineKind::Invalid);
}

// The offer's lines parse only in their exact forms, and their numbers only when plain.
TEST(PrivateFraming, OfferLines) {
    const std::string have = "QVP/1 HAVE 5 " + kAbc + "\n";
    const LineCase cases[] = {
        {"QVP/1 OFFER\n", LineKind::Offer},
        {have, LineKind::Have},
        {"QVP/1 NEED\n", LineKind::Need},
        {"QVP/1 WAIT\n", LineKind::Wait},
        {"QVP/1 READY\n", LineKind::Ready},
        {"QVP/1 FAILED a/b.txt\n", LineKind::Failed},
        {"QVP/1 STORED 1 2 3\n", LineKind::StoredTally},
        {"QVP/1 INCOMPLETE 1 2 3 4\n", LineKind::IncompleteTally},
        {"QVP/1 STORED\n", LineKind::Stored},
        {"QVP/1 SEND\n", LineKind::Invalid},  // a request of an earlier exchange, no longer taken
        {"QVP/1 NEED 1\n", LineKind::Invalid},
        {"QVP/1 FAILED\n", LineKind::Invalid},
        {"QVP/1 HAVE " + std::string(200, '1') + "\n", LineKind::Invalid},
    };
    for (const LineCase& c : cases) {
        const PrivateLine line = parsePrivateLine(c.bytes.data(), c.bytes.size());
        EXPECT_EQ(line.kind, c.kind) << c.bytes;
        if (c.kind != LineKind::Invalid) {
            EXPECT_EQ(privateLineBytes(line.kind, line.text), c.bytes);
        }
    }
    int64_t length = 0;
    std::string hex;
    EXPECT_TRUE(parseHave("5 " + kAbc, &length, &hex));
    EXPECT_EQ(length, 5);
    EXPECT_EQ(hex, kAbc);
    EXPECT_EQ(haveText(length, hex), "5 " + kAbc);
    for (const std::string& bad : {"0 " + kAbc, "05 " + kAbc, "-5 " + kAbc, "5  " + kAbc, "5 " + kAbc + " ",
                                   "1234567890123456789 " + kAbc, "5 " + kAbc.substr(1), std::string("5")})
        EXPECT_FALSE(parseHave(bad, &length, &hex)) << bad;
    int counts[4];
    EXPECT_TRUE(parseCounts("0 12 999999999", counts, 3));
    EXPECT_EQ(counts[1], 12);
    EXPECT_EQ(countsText(counts, 3), "0 12 999999999");
    for (const char* bad : {"1 2", "1 2 3 4", "1 2 -3", "1 2 1000000000", "1  2 3", "1 2 3 ", "01 2 3", "a b c"})
        EXPECT_FALSE(parseCounts(bad, counts, 3)) << bad;
}
}  // namespace

TEST(PartialFiles, TallyTextCountsOneAndMany) {
    const struct {
        TransferTally tally;
        const char* text;
    } cases[] = {
        {{0, 0, 0, 0, true}, ""},  // all sent whole: the result says it
        {{0, 1, 0, 0, true}, "1 file resumed"},
        {{1, 3, 997, 0, true}, "3 files resumed, 997 already there, 1 file stored"},
        {{2, 0, 1, 1, true}, "1 already there, 2 files stored, 1 not stored"},
        {{0, 1, 0, 0, false}, ""},  // no answer came
    };
    for (const auto& c : cases) EXPECT_EQ(tallyText(c.tally), c.text);
    // A satellite's text is filled, never read as a format: markers that would read or
    // write what was never given stay as they are.
    const auto hostile = [](int) { return std::string("%s%s%s %n%p%x %d"); };
    EXPECT_EQ(tallyText({0, 2, 0, 0, true}, hostile), "2 %n%p%x ");
}
