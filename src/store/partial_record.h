// The record of kept partial files: one line per partial file in the store folder's
// index file, written by the receiver and never trusted when read back. A line is
//   <temporary>\t<target>\t<whole size>\t<sender's computer ID>\t<cut at, UTC seconds>\n
// with both paths relative to the store folder, '/' between their components.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "store/store_names.h"  // the names of the index and of a partial file

constexpr size_t kMostPartialRecords = 10000;
constexpr int64_t kPartialIndexLimit = 4 << 20;  // bytes of the index file
constexpr size_t kPartialLineLimit = 1024;       // bytes of one line, its line feed included
constexpr size_t kSenderIdLimit = 64;

struct PartialRecord {
    std::string temporary;  // relative to the store folder
    std::string target;     // relative to the store folder, in the same folder as temporary
    int64_t size = 0;       // what the whole file is to be
    std::string senderId;   // the trusted sender's computer ID
    int64_t cutAt = 0;      // when it was cut, UTC seconds
};

// ".~qv<n>.partial", and whether a name is one.
std::string partialName(unsigned n);
bool isPartialName(const std::string& name);

// The line of a record (its line feed last).
std::string partialLine(const PartialRecord& record);
// One line without its line feed. False for anything but exactly the form above: a path
// that is absolute, empty, climbs out ("..") or holds an unsafe component under the local
// rules, a temporary that is not a partial name beside its target, a size or time that is
// not a plain decimal number, an ID of other characters, a line over the limit.
bool parsePartialLine(const std::string& line, bool windowsRules, PartialRecord* record);
// The lines of an index file's text that parse, at most kMostPartialRecords of them.
std::vector<PartialRecord> parsePartialIndex(const std::string& text, bool windowsRules);

// A relative path of a record as the local path below store ("" when its components are
// not safe under the local rules, or a link is in its way or in its place).
std::string partialLocalPath(const std::string& store, const std::string& relative);
