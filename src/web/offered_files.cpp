#include "web/offered_files.h"

#include <algorithm>
#include <cstdio>

#include "core/decimal_number.h"
#include "core/shown_characters.h"
#include "platform/files.h"

namespace {
bool isSeparator(char c) { return c == '/' || c == kPathSeparator; }

// The last component of a chosen path, without the separators it may end with.
std::string lastComponent(const std::string& path) {
    size_t end = path.size();
    while (end > 0 && isSeparator(path[end - 1])) --end;
    size_t start = end;
    while (start > 0 && !isSeparator(path[start - 1])) --start;
    return path.substr(start, end - start);
}

struct Walk {
    std::vector<OfferedFile>& files;
    bool full() const { return files.size() >= kMostOfferedFiles; }
};

void offerFile(Walk& walk, const std::string& path, const std::string& name) {
    int64_t size = measureFileSize(path);
    if (size >= 0 && !walk.full()) walk.files.push_back(OfferedFile{path, name, size});
}

void offerFolder(Walk& walk, const std::string& folder, const std::string& name, int depth) {
    if (depth > kOfferedDepthLimit) return;
    listDirectory(folder, [&](const std::string& entry, bool directory) {
        std::string path = folder;
        if (!isSeparator(path.back())) path += kPathSeparator;
        path += entry;
        if (isSymbolicLink(path)) return !walk.full();
        if (directory) offerFolder(walk, path, name + "/" + entry, depth + 1);
        else offerFile(walk, path, name + "/" + entry);
        return !walk.full();
    });
}
}  // namespace

std::vector<OfferedFile> listOfferedFiles(const std::vector<std::string>& paths) {
    std::vector<OfferedFile> files;
    Walk walk{files};
    for (const std::string& path : paths) {
        std::string name = lastComponent(path);
        if (name.empty() || walk.full()) continue;
        if (isDirectory(path) && !isSymbolicLink(path)) offerFolder(walk, path, name, 0);
        else offerFile(walk, path, name);
    }
    std::stable_sort(files.begin(), files.end(),
                     [](const OfferedFile& a, const OfferedFile& b) { return a.name < b.name; });
    return files;
}

void numberOfferedFiles(OfferedLinks& links, std::vector<OfferedFile>& files) {
    // Numbers of files no list holds any more are dropped once there are many, so that
    // a folder that keeps changing cannot grow the links without end.
    if (links.fileOf.size() > 4 * kMostOfferedFiles) links = OfferedLinks{{}, {}, links.last};
    for (OfferedFile& file : files) {
        uint64_t& number = links.numberOf[file.localPath];
        if (number == 0) number = ++links.last;
        file.number = number;
        links.fileOf[number] = file;
    }
}

bool offeredFileOf(const OfferedLinks& links, std::string_view number, OfferedFile* file) {
    uint64_t value = 0;
    if (!readDecimal(number, UINT64_MAX, &value)) return false;
    auto found = links.fileOf.find(value);
    if (found == links.fileOf.end()) return false;
    *file = found->second;
    return true;
}

std::string offeredFilesJson(const std::vector<OfferedFile>& files) {
    std::string out = "[";
    for (size_t i = 0; i < files.size(); ++i) {
        if (i) out += ",";
        out += "{\"id\":" + std::to_string(files[i].number) + ",\"name\":" + jsonString(files[i].name) +
               ",\"size\":" + std::to_string(files[i].size) + "}";
    }
    return out + "]";
}

std::string attachmentDisposition(const std::string& name) {
    std::string base = name.substr(name.find_last_of('/') + 1);
    std::string fallback, encoded;
    for (unsigned char c : base) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                     c == '-' || c == '_';
        // One '_' for each character the fallback cannot carry (UTF-8 continuation bytes add none).
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\' && c != '%') fallback += static_cast<char>(c);
        else if ((c & 0xC0) != 0x80) fallback += '_';
        if (plain) {
            encoded += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            encoded += hex;
        }
    }
    return "attachment; filename=\"" + fallback + "\"; filename*=UTF-8''" + encoded;
}
