#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "transfer/protocol.h"

namespace {
// An in-memory stream that hands out at most `piece` bytes per receive, then `endResult`.
struct MemoryStream {
    std::string data;
    size_t piece = 1;
    int endResult = 0;
    size_t position = 0;
    int receives = 0;
};

int memoryReceive(void* source, char* buffer, int size) {
    MemoryStream& s = *static_cast<MemoryStream*>(source);
    ++s.receives;
    if (s.position >= s.data.size()) return s.endResult;
    size_t n = std::min({s.piece, static_cast<size_t>(size), s.data.size() - s.position});
    memcpy(buffer, s.data.data() + s.position, n);
    s.position += n;
    return static_cast<int>(n);
}

struct Block {
    std::string bytes;
    int result;
};

// Cuts every block of the stream until it ends.
std::vector<Block> cutAll(MemoryStream& stream) {
    StreamReader reader;
    startReader(reader, memoryReceive, &stream);
    std::vector<Block> blocks;
    std::vector<char> block(kHeaderBlockLimit + 1);
    for (;;) {
        int length = -1;
        int result = readHeaderBlock(reader, block.data(), &length);
        EXPECT_EQ(block[length], '\0');
        blocks.push_back({std::string(block.data(), length), result});
        if (result <= 0) break;
    }
    return blocks;
}

HeaderLines parse(const std::string& block) { return parseHeaderLines(block.c_str(), static_cast<int>(block.size())); }
}  // namespace

TEST(ProtocolWriters, WorkedExampleByteForByte) {
    std::string stream = transferHeaderBytes(3) + directoryRecordBytes("Photos/") +
                         fileRecordBytes(3, "a.jpg", "Photos\\") + "abc" + fileRecordBytes(0, "n.txt", "/");
    EXPECT_EQ(stream, "Version:3.0\nTotal:3\n"
                      "\n"
                      "Type:directory\nDirectory:Photos/\n"
                      "\n"
                      "Type:file\nSize:3\nName:a.jpg\nDirectory:Photos\\\n"
                      "\n"
                      "abc"
                      "\n\n"
                      "Type:file\nSize:0\nName:n.txt\nDirectory:/\n"
                      "\n");
    EXPECT_EQ(transferHeaderBytes(-1), "Version:3.0\nTotal:-1");
    EXPECT_EQ(transferHeaderBytes(INT64_MAX), "Version:3.0\nTotal:9223372036854775807");
    EXPECT_EQ(emptyBlockBytes(), "\n\n");
}

TEST(ProtocolWriters, AddressHandOver) {
    EXPECT_EQ(addressHandOverBytes("192.168.1.20", true),
              "Version:3.0\n\nType:ip\nSize:12\nFlags:1\n\n192.168.1.20\n\n");
    EXPECT_EQ(addressHandOverBytes("10.0.0.1", false), "Version:3.0\n\nType:ip\nSize:8\nFlags:0\n\n10.0.0.1\n\n");
}

TEST(ProtocolReading, WorkedExampleCutsIntoItsBlocksWhateverTheArrival) {
    std::string content = "abc";
    std::string wire = transferHeaderBytes(3) + directoryRecordBytes("Photos/") +
                       fileRecordBytes(3, "a.jpg", "Photos\\") + content + fileRecordBytes(0, "n.txt", "/");
    for (size_t piece : {size_t(1), size_t(2), size_t(7), size_t(100000)}) {
        SCOPED_TRACE(piece);
        MemoryStream stream{wire, piece};
        StreamReader reader;
        startReader(reader, memoryReceive, &stream);
        std::vector<char> block(kHeaderBlockLimit + 1);
        int length = 0;
        ASSERT_GT(readHeaderBlock(reader, block.data(), &length), 0);
        EXPECT_EQ(std::string(block.data(), length), "Version:3.0\nTotal:3\n");
        readHeaderBlock(reader, block.data(), &length);
        EXPECT_EQ(std::string(block.data(), length), "Type:directory\nDirectory:Photos/\n");
        readHeaderBlock(reader, block.data(), &length);
        HeaderLines lines = parse(std::string(block.data(), length));
        EXPECT_EQ(headerValue(lines, "Directory"), "Photos\\");
        char got[8] = {};
        int n = 0;
        while (n < 3) n += readContent(reader, got + n, 3 - n);
        EXPECT_EQ(std::string(got, 3), content);
        readHeaderBlock(reader, block.data(), &length);
        EXPECT_EQ(length, 1);  // the empty block after content: one stored line feed
        readHeaderBlock(reader, block.data(), &length);
        EXPECT_EQ(headerValue(parse(std::string(block.data(), length)), "Name"), "n.txt");
        EXPECT_EQ(readHeaderBlock(reader, block.data(), &length), 0);
        EXPECT_EQ(length, 0);
    }
}

TEST(ProtocolReading, BlockEndsAtTheLimitOrTheStreamEnd) {
    // A block of 20480 bytes without a pair of line feeds is cut there; the rest follows.
    MemoryStream longStream{std::string(kHeaderBlockLimit + 5, 'x'), 4096};
    std::vector<Block> blocks = cutAll(longStream);
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].bytes.size(), size_t(kHeaderBlockLimit));
    EXPECT_EQ(blocks[1].bytes, "xxxxx");
    EXPECT_EQ(blocks[1].result, 0);

    // An error ends the block as well and is reported; the last line keeps no feed.
    MemoryStream failing{"Type:directory\nDirectory:a/", 3, -1};
    blocks = cutAll(failing);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].bytes, "Type:directory\nDirectory:a/");
    EXPECT_LT(blocks[0].result, 0);

    MemoryStream empty{""};
    blocks = cutAll(empty);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].bytes, "");
}

TEST(ProtocolReading, EndedStreamIsNotAskedAgain) {
    MemoryStream stream{"a:b\n", 100, -1};
    StreamReader reader;
    startReader(reader, memoryReceive, &stream);
    std::vector<char> block(kHeaderBlockLimit + 1);
    int length = 0;
    EXPECT_LT(readHeaderBlock(reader, block.data(), &length), 0);
    int receives = stream.receives;
    EXPECT_LT(readHeaderBlock(reader, block.data(), &length), 0);
    char c;
    EXPECT_LT(readContent(reader, &c, 1), 0);
    EXPECT_FALSE(skipContent(reader, 1));
    EXPECT_EQ(stream.receives, receives);  // a timed-out peer costs its wait once
}

TEST(ProtocolReading, ContentIsTakenInLargePiecesAndSkipKeepsStep) {
    std::string bytes(300000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
    MemoryStream stream{"Type:file\nSize:300000\n\n" + bytes + "\n\nType:x\n\n", 200000};
    StreamReader reader;
    startReader(reader, memoryReceive, &stream);
    std::vector<char> block(kHeaderBlockLimit + 1);
    int length = 0;
    readHeaderBlock(reader, block.data(), &length);
    std::vector<char> got(bytes.size());
    size_t have = 0;
    int receivesBefore = stream.receives;
    while (have < got.size()) {
        int n = readContent(reader, got.data() + have, static_cast<int>(got.size() - have));
        ASSERT_GT(n, 0);
        have += static_cast<size_t>(n);
    }
    EXPECT_EQ(std::string(got.data(), got.size()), bytes);
    EXPECT_LE(stream.receives - receivesBefore, 3);

    // Skipping the same content leaves the reader at the next block.
    MemoryStream again{"Type:file\nSize:300000\n\n" + bytes + "\n\nType:x\n\n", 1000};
    startReader(reader, memoryReceive, &again);
    readHeaderBlock(reader, block.data(), &length);
    EXPECT_TRUE(skipContent(reader, 300000));
    readHeaderBlock(reader, block.data(), &length);
    EXPECT_EQ(length, 1);
    readHeaderBlock(reader, block.data(), &length);
    EXPECT_EQ(std::string(block.data(), length), "Type:x\n");
    EXPECT_FALSE(skipContent(reader, 1));
}

TEST(ProtocolParsing, LineRules) {
    // Carriage return stays in the value; the first colon splits; the later duplicate wins.
    HeaderLines lines = parse("Type:file\r\nName:a:b.txt\nSize:1\nSize:2\n");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].second, "file\r");
    EXPECT_EQ(headerValue(lines, "Name"), "a:b.txt");
    EXPECT_EQ(headerValue(lines, "Size"), "2");
    EXPECT_EQ(headerValue(lines, "size"), "");  // keys are case-sensitive

    // A line without a colon is passed over; an empty value is kept.
    lines = parse("junk\nType:\nName:x\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], std::make_pair(std::string("Type"), std::string("")));

    // The first empty line, an empty key, or a NUL ends the parse; a last line without
    // its feed is not parsed.
    EXPECT_EQ(parse("a:1\n\nb:2\n").size(), 1u);
    EXPECT_EQ(parse("a:1\n:2\nb:3\n").size(), 1u);
    EXPECT_EQ(parse("a:1\nb:2").size(), 1u);
    EXPECT_EQ(parse(std::string("a:1\nName:x\0/../y\nc:3\n\0", 22)).size(), 1u);
    EXPECT_TRUE(parse("\n").empty());
    EXPECT_TRUE(parse("no colon at all\n").empty());
}

TEST(ProtocolParsing, Numbers) {
    EXPECT_EQ(readNumber("3"), 3);
    EXPECT_EQ(readNumber("  \t-42abc"), -42);
    EXPECT_EQ(readNumber("+7"), 7);
    EXPECT_EQ(readNumber(""), 0);
    EXPECT_EQ(readNumber("x1"), 0);
    EXPECT_EQ(readNumber("- 1"), 0);
    EXPECT_EQ(readNumber("1 2"), 1);
    EXPECT_EQ(readNumber("5\r"), 5);
    EXPECT_EQ(readNumber("9223372036854775807"), INT64_MAX);
    EXPECT_EQ(readNumber("9223372036854775808"), INT64_MAX);
    EXPECT_EQ(readNumber("99999999999999999999999"), INT64_MAX);
    EXPECT_EQ(readNumber("-9223372036854775808"), INT64_MIN);
    EXPECT_EQ(readNumber("-99999999999999999999999"), INT64_MIN);
    EXPECT_EQ(readNumber("4294967296"), 4294967296LL);
    EXPECT_EQ(readFlags("1"), 1);
    EXPECT_EQ(readFlags("99999999999"), INT32_MAX);
    EXPECT_EQ(readFlags("-99999999999"), INT32_MIN);
}

// What a refused connection's first bytes say it carries: only a first record of type "ip"
// is a hand-over; anything that cannot become one is something else, however it goes on.
TEST(Protocol, TheFirstRecordTellsAHandOverFromATransfer) {
    const std::string handOver = addressHandOverBytes("10.0.0.5", true);
    const std::string transfer = transferHeaderBytes(3) + directoryRecordBytes("a/") + fileRecordBytes(3, "f", "a/");
    struct Case {
        std::string bytes;
        FirstRecord kind;
    } cases[] = {
        {"", FirstRecord::Unknown},
        {"Version:3.0\nTotal:3", FirstRecord::Unknown},  // a sender whose first file is slow
        {handOver, FirstRecord::Address},
        {handOver.substr(0, handOver.find("Size")), FirstRecord::Address},
        {handOver.substr(0, handOver.find("Type:ip") + 6), FirstRecord::Unknown},  // "Type:i"
        {transfer, FirstRecord::Other},
        {transfer.substr(0, transfer.find("Directory:")), FirstRecord::Other},
        {"Version:3.0\n\nSize:8\nFlags:1\n\n", FirstRecord::Other},  // a whole block without a type
        {"Version:3.0\n\nType:ipv6\n", FirstRecord::Other},
        {std::string(kHeaderBlockLimit + 1, 'v'), FirstRecord::Other},
        {"Version:3.0\n\n" + std::string(kHeaderBlockLimit + 1, 'k'), FirstRecord::Other},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.kind, firstRecordOf(c.bytes.data(), c.bytes.size())) << c.bytes.substr(0, 40);
}
