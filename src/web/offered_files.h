// What the page offers for download: the files of the chosen paths, a folder's files with
// their paths relative to the folder's parent. Only this list is ever read for a browser:
// a download names a file by a number the list gave it, never by a path.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

struct OfferedFile {
    std::string localPath;  // as the local file system names it
    std::string name;       // "Photos/2024/a.jpg": '/' between folders, as the chosen path ended
    int64_t size = 0;
    uint64_t number = 0;  // the download's number in the links (0: none given yet)
};

// A folder tree is walked this deep at most, and the list stops at this many files.
constexpr int kOfferedDepthLimit = 32;
constexpr size_t kMostOfferedFiles = 10000;

// Files that can be opened for reading, sorted by name; links to folders are not followed,
// so a loop cannot make the walk endless.
std::vector<OfferedFile> listOfferedFiles(const std::vector<std::string>& paths);

// The numbers of download links. A file keeps its number for as long as the links are kept
// (while access is on), so a link on a page made from an older list still gets the file it
// was made for, never the one that now stands at its place in a newer list.
struct OfferedLinks {
    std::map<std::string, uint64_t> numberOf;  // by local path
    std::map<uint64_t, OfferedFile> fileOf;
    uint64_t last = 0;
};
// Gives each file its number, a new one to a file not seen before.
void numberOfferedFiles(OfferedLinks& links, std::vector<OfferedFile>& files);
// The file a link's number names; false for a number that names none.
bool offeredFileOf(const OfferedLinks& links, std::string_view number, OfferedFile* file);

// [{"id":N,"name":"...","size":N},...]: id is the download's number. Bytes that are not
// UTF-8 are shown as U+FFFD.
std::string offeredFilesJson(const std::vector<OfferedFile>& files);

// The Content-Disposition of a download named after the last part of name: an ASCII
// fallback and the UTF-8 name itself, percent-encoded.
std::string attachmentDisposition(const std::string& name);
