#include "platform/files.h"

#include <windows.h>

const char kPathSeparator = '\\';
const bool kCreateRefusesLinks = false;

namespace {
HANDLE raw(FileHandle f) { return reinterpret_cast<HANDLE>(f); }
}

FileHandle fileCreate(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    return h == INVALID_HANDLE_VALUE ? kInvalidFile : reinterpret_cast<FileHandle>(h);
}

FileHandle fileOpenRead(const std::string& path, int64_t* length) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) return kInvalidFile;
    if (length) {
        LARGE_INTEGER size;
        *length = GetFileSizeEx(h, &size) ? static_cast<int64_t>(size.QuadPart) : -1;
    }
    return reinterpret_cast<FileHandle>(h);
}

int64_t fileRead(FileHandle f, void* buffer, size_t size) {
    DWORD got = 0;
    DWORD want = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    if (!ReadFile(raw(f), buffer, want, &got, nullptr)) return -1;
    return got;
}

bool fileWriteAll(FileHandle f, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        DWORD piece = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(raw(f), p, piece, &written, nullptr) || written == 0) return false;
        p += written;
        size -= written;
    }
    return true;
}

void fileClose(FileHandle f) {
    if (f != kInvalidFile) CloseHandle(raw(f));
}

int64_t measureFileSize(const std::string& path) {
    int64_t length = -1;
    FileHandle f = fileOpenRead(path, &length);
    if (f == kInvalidFile) return -1;
    fileClose(f);
    return length;
}

bool makeDirectory(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != 0; }

bool isDirectory(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    return GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) &&
           (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool pathExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool reparseTagNamesAnotherPlace(uint32_t tag) { return tag == 0 || IsReparseTagNameSurrogate(tag); }

bool isSymbolicLink(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
    // The tag of the point itself, not of what it leads to. Where it cannot be read (Wine
    // shows its links as reparse points without a tag), the point counts as a link.
    HANDLE h = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return true;
    FILE_ATTRIBUTE_TAG_INFO info = {};
    bool read = GetFileInformationByHandleEx(h, FileAttributeTagInfo, &info, sizeof info) &&
                (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    CloseHandle(h);
    return !read || reparseTagNamesAnotherPlace(info.ReparseTag);
}

bool listDirectory(const std::string& folder,
                   const std::function<bool(const std::string&, bool)>& visit) {
    std::string pattern = folder;
    if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
    pattern += '*';
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        if (!visit(name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)) break;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return true;
}
