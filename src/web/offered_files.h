// What the page offers for download: the files of the chosen paths, a folder's files with
// their paths relative to the folder's parent. Only this list is ever read for a browser:
// a download names a place in it, never a path.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct OfferedFile {
    std::string localPath;  // as the local file system names it
    std::string name;       // "Photos/2024/a.jpg": '/' between folders, as the chosen path ended
    int64_t size = 0;
};

// A folder tree is walked this deep at most, and the list stops at this many files.
constexpr int kOfferedDepthLimit = 32;
constexpr size_t kMostOfferedFiles = 10000;

// Files that can be opened for reading; links to folders are not followed, so a loop
// cannot make the walk endless.
std::vector<OfferedFile> listOfferedFiles(const std::vector<std::string>& paths);

// [{"name":"...","size":N},...]: the place in the array is the download's number. Bytes
// that are not UTF-8 are shown as U+FFFD.
std::string offeredFilesJson(const std::vector<OfferedFile>& files);

// A JSON string literal of text, quotes included.
std::string jsonString(const std::string& text);

// The Content-Disposition of a download named after the last part of name: an ASCII
// fallback and the UTF-8 name itself, percent-encoded.
std::string attachmentDisposition(const std::string& name);
