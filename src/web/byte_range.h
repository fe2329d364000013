// Which bytes of a file a download sends: the whole file, or the one range a client asks
// for with "Range: bytes=..." when its "If-Range" (if any) names the file as it is now.
// Parsing is one pass over the field's bytes, and every number is checked for overflow.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/files.h"

enum class RangeAnswer {
    Whole,          // 200: no range, several, one that makes no sense, or an If-Range that does not match
    Part,           // 206: the bytes [first, first + length)
    Unsatisfiable,  // 416: the range starts past the end (or the file is empty)
};

struct ByteRange {
    int64_t first = 0;
    int64_t length = 0;
};

// The strong entity tag of a file as it is now: its size, last write time and number.
std::string fileEntityTag(const FileStamp& stamp);

// range, ifRange: the fields' values ("" when absent; a repeated field's values joined
// by commas). size: the file's length; tag: its entity tag.
RangeAnswer chooseRange(std::string_view range, std::string_view ifRange, std::string_view tag, int64_t size,
                        ByteRange* chosen);
