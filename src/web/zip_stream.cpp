#include "web/zip_stream.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "core/utf8_reader.h"
#include "platform/files.h"
#include "web/offered_files.h"

namespace {
constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr uint32_t kDescriptorSignature = 0x08074b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kZip64EndSignature = 0x06064b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint16_t kVersionStored = 10, kVersionZip64 = 45;
constexpr uint16_t kFlagDescriptor = 1 << 3, kFlagUtf8 = 1 << 11;
constexpr uint16_t kMadeOnUnix = 3 << 8;
constexpr uint32_t kRegularFileMode = 0100644;
constexpr uint32_t kMost32 = 0xFFFFFFFF;
constexpr uint16_t kMost16 = 0xFFFF;

// CRC-32 eight bytes at a time ("slicing by 8"): table k gives the CRC of a byte followed
// by k zero bytes, so eight lookups replace eight rounds that each wait on the one before.
using CrcTables = std::array<std::array<uint32_t, 256>, 8>;

CrcTables makeCrcTables() {
    CrcTables t{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[0][n] = c;
    }
    for (size_t k = 1; k < 8; ++k)
        for (uint32_t n = 0; n < 256; ++n) t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
    return t;
}

uint32_t littleEndian32(const unsigned char* p) {
    return p[0] | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

uint32_t crcUpdate(uint32_t crc, const char* data, size_t size) {
    static const CrcTables t = makeCrcTables();
    const unsigned char* p = reinterpret_cast<const unsigned char*>(data);
    crc = ~crc;
    for (; size >= 8; p += 8, size -= 8) {
        uint32_t one = crc ^ littleEndian32(p), two = littleEndian32(p + 4);
        crc = t[7][one & 0xFF] ^ t[6][(one >> 8) & 0xFF] ^ t[5][(one >> 16) & 0xFF] ^ t[4][one >> 24] ^
              t[3][two & 0xFF] ^ t[2][(two >> 8) & 0xFF] ^ t[1][(two >> 16) & 0xFF] ^ t[0][two >> 24];
    }
    for (; size > 0; ++p, --size) crc = t[0][(crc ^ *p) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

// The archive's bytes gather in one buffer, which goes to the sink whenever it is full.
struct Writer {
    const ZipSink& sink;
    std::vector<char> buffer;
    uint64_t written = 0;  // bytes of the archive so far, the buffer's included
    bool ok = true;

    bool flush() {
        if (ok && !buffer.empty()) ok = sink(buffer.data(), buffer.size());
        buffer.clear();
        return ok;
    }
    // Room for n more bytes, sending what the buffer holds first when they do not fit.
    void reserve(size_t n) {
        if (buffer.size() + n > kZipPieceSize) flush();
    }
    void put(const void* data, size_t n) {
        const char* bytes = static_cast<const char*>(data);
        while (ok && n > 0) {
            reserve(1);
            size_t take = std::min(n, kZipPieceSize - buffer.size());
            buffer.insert(buffer.end(), bytes, bytes + take);
            written += take;
            bytes += take;
            n -= take;
        }
    }
    void u16(uint16_t v) { put(std::array<uint8_t, 2>{uint8_t(v), uint8_t(v >> 8)}.data(), 2); }
    void u32(uint32_t v) {
        u16(static_cast<uint16_t>(v));
        u16(static_cast<uint16_t>(v >> 16));
    }
    void u64(uint64_t v) {
        u32(static_cast<uint32_t>(v));
        u32(static_cast<uint32_t>(v >> 32));
    }
};

struct Written {
    uint32_t crc = 0;
    uint64_t offset = 0;
    uint32_t dosTime = 0;  // the file's last write, as the headers keep it
};

uint16_t flagsOf(const ZipEntry& entry) { return kFlagDescriptor | (isUtf8(entry.name) ? kFlagUtf8 : 0); }
bool needsZip64(uint64_t value) { return value >= kMost32; }
uint32_t clamp32(uint64_t value) { return needsZip64(value) ? kMost32 : static_cast<uint32_t>(value); }

// The local header carries the sizes the file must have; its CRC comes in the descriptor.
void putLocalHeader(Writer& w, const ZipEntry& entry, uint32_t dosTime) {
    uint64_t size = static_cast<uint64_t>(entry.size);
    bool zip64 = needsZip64(size);
    w.u32(kLocalSignature);
    w.u16(zip64 ? kVersionZip64 : kVersionStored);
    w.u16(flagsOf(entry));
    w.u16(0);  // stored
    w.u32(dosTime);
    w.u32(0);
    w.u32(clamp32(size));
    w.u32(clamp32(size));
    w.u16(static_cast<uint16_t>(entry.name.size()));
    w.u16(zip64 ? 20 : 0);
    w.put(entry.name.data(), entry.name.size());
    if (!zip64) return;
    w.u16(1);  // the ZIP64 extra field: both sizes
    w.u16(16);
    w.u64(size);
    w.u64(size);
}

// The file's bytes straight into the buffer; false when it no longer has its listed size
// or ends early. (Bytes that grow a file after it was opened are left out: the entry stays
// whole as listed.)
bool putContent(Writer& w, const ZipEntry& entry, FileHandle file, uint32_t* crc) {
    bool whole = true;
    for (int64_t left = entry.size; whole && w.ok && left > 0;) {
        w.reserve(1);
        if (!w.ok) break;
        size_t room = kZipPieceSize - w.buffer.size();
        size_t want = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(room)));
        size_t at = w.buffer.size();
        w.buffer.resize(at + want);
        int64_t n = fileRead(file, w.buffer.data() + at, want);
        whole = n > 0;
        if (!whole) break;
        w.buffer.resize(at + static_cast<size_t>(n));
        *crc = crcUpdate(*crc, w.buffer.data() + at, static_cast<size_t>(n));
        w.written += static_cast<uint64_t>(n);
        left -= n;
    }
    return whole;
}

void putDescriptor(Writer& w, const ZipEntry& entry, uint32_t crc) {
    uint64_t size = static_cast<uint64_t>(entry.size);
    w.u32(kDescriptorSignature);
    w.u32(crc);
    if (needsZip64(size)) {
        w.u64(size);
        w.u64(size);
    } else {
        w.u32(static_cast<uint32_t>(size));
        w.u32(static_cast<uint32_t>(size));
    }
}

// The ZIP64 extra field holds, in this order, whichever of the two sizes and the offset
// did not fit the central header's own fields.
void putCentralHeader(Writer& w, const ZipEntry& entry, const Written& done) {
    uint64_t size = static_cast<uint64_t>(entry.size);
    uint16_t extra = static_cast<uint16_t>((needsZip64(size) ? 16 : 0) + (needsZip64(done.offset) ? 8 : 0));
    bool zip64 = extra > 0;
    w.u32(kCentralSignature);
    // Made on Unix: readers then take the names as they are (those of MS-DOS are taken as an
    // OEM code page whatever the UTF-8 flag says), and the attributes give the file's mode.
    w.u16(kMadeOnUnix | kVersionZip64);
    w.u16(zip64 ? kVersionZip64 : kVersionStored);
    w.u16(flagsOf(entry));
    w.u16(0);
    w.u32(done.dosTime);
    w.u32(done.crc);
    w.u32(clamp32(size));
    w.u32(clamp32(size));
    w.u16(static_cast<uint16_t>(entry.name.size()));
    w.u16(zip64 ? static_cast<uint16_t>(extra + 4) : 0);
    w.u16(0);                       // comment
    w.u16(0);                       // disk
    w.u16(0);                       // internal attributes
    w.u32(kRegularFileMode << 16);  // external attributes
    w.u32(clamp32(done.offset));
    w.put(entry.name.data(), entry.name.size());
    if (!zip64) return;
    w.u16(1);
    w.u16(extra);
    if (needsZip64(size)) {
        w.u64(size);
        w.u64(size);
    }
    if (needsZip64(done.offset)) w.u64(done.offset);
}

void putEnd(Writer& w, uint64_t count, uint64_t start) {
    uint64_t size = w.written - start;
    if (count >= kMost16 || needsZip64(start) || needsZip64(size)) {
        uint64_t at = w.written;
        w.u32(kZip64EndSignature);
        w.u64(44);  // the record's size after this field
        w.u16(kVersionZip64);
        w.u16(kVersionZip64);
        w.u32(0);
        w.u32(0);
        w.u64(count);
        w.u64(count);
        w.u64(size);
        w.u64(start);
        w.u32(kZip64LocatorSignature);
        w.u32(0);
        w.u64(at);
        w.u32(1);
    }
    w.u32(kEndSignature);
    w.u16(0);
    w.u16(0);
    w.u16(static_cast<uint16_t>(std::min<uint64_t>(count, kMost16)));
    w.u16(static_cast<uint16_t>(std::min<uint64_t>(count, kMost16)));
    w.u32(clamp32(size));
    w.u32(clamp32(start));
    w.u16(0);
}
}  // namespace

bool writeZip(const std::vector<ZipEntry>& entries, const ZipSink& sink) {
    for (const ZipEntry& entry : entries)
        if (entry.name.empty() || entry.name.size() > kMost16 || entry.size < 0) return false;
    Writer w{sink, {}};
    w.buffer.reserve(kZipPieceSize);
    std::vector<Written> done(entries.size());
    for (size_t i = 0; i < entries.size() && w.ok; ++i) {
        done[i].offset = w.written;
        // The file is opened first: the headers carry the time of its last write.
        FileStamp stamp;
        FileHandle file = fileOpenRead(entries[i].localPath);
        if (file == kInvalidFile) return false;
        bool whole = fileStampOf(file, &stamp) && stamp.size == entries[i].size;
        if (whole) {
            done[i].dosTime = dosTimeOf(stamp);
            putLocalHeader(w, entries[i], done[i].dosTime);
            // A file rewritten while it was read, even at its size, gives bytes of neither
            // version, which its CRC would vouch for: the archive ends short instead.
            FileStamp after;
            whole = putContent(w, entries[i], file, &done[i].crc) && fileStampOf(file, &after) &&
                    sameFileState(stamp, after) && pathStillNames(entries[i].localPath, stamp);
        }
        fileClose(file);
        if (!whole) return false;
        putDescriptor(w, entries[i], done[i].crc);
    }
    uint64_t start = w.written;
    for (size_t i = 0; i < entries.size() && w.ok; ++i) putCentralHeader(w, entries[i], done[i]);
    putEnd(w, entries.size(), start);
    return w.flush();
}
