// A zip archive of whole files, written front to back as it is sent: entries are stored
// (not compressed), each followed by a data descriptor with its CRC-32, since the CRC is
// known only once the file was read; names are UTF-8 and flagged so (general purpose bit
// 11); ZIP64 fields appear where a size, an offset or the count no longer fits the old ones.
// Memory stays the same whatever the files' sizes: one buffer, and a CRC and an offset per
// entry for the central directory.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct ZipEntry {
    std::string localPath;  // the file to read
    std::string name;       // its name in the archive, '/' between folders
    int64_t size = 0;       // the size it must still have when it is read
};

// Takes the archive's next bytes; false stops the writing.
using ZipSink = std::function<bool(const char* data, size_t size)>;

// Writes the entries as one archive to sink, in pieces of at most kZipPieceSize bytes.
// False when the sink refused, or a file could not be opened, did not hold exactly its
// size, or changed while it was read (its size, last write or identity, through the open
// file or its path): the archive then stops where it was and never ends as a whole one would.
constexpr size_t kZipPieceSize = 256 * 1024;
bool writeZip(const std::vector<ZipEntry>& entries, const ZipSink& sink);
