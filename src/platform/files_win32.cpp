#include "platform/files.h"

#include <windows.h>

#include "platform/codepage.h"

const char kPathSeparator = '\\';
const bool kCreateRefusesLinks = false;

namespace {
HANDLE raw(FileHandle f) { return reinterpret_cast<HANDLE>(f); }
// The system's Unicode calls, with the path in the calling thread's narrow code page
// (codepage.h): the ANSI one, or UTF-8 on browser access's threads.
std::wstring wide(const std::string& path) { return pathToWide(path); }
}  // namespace

namespace {
// Only disk files are kept: a device name (CON, a COM port) or a pipe opens something
// else, which GetFileType tells.
FileHandle keepDiskFile(HANDLE h) {
    if (h == INVALID_HANDLE_VALUE) return kInvalidFile;
    if (GetFileType(h) != FILE_TYPE_DISK) {
        CloseHandle(h);
        return kInvalidFile;
    }
    return reinterpret_cast<FileHandle>(h);
}
}  // namespace

FileHandle fileCreate(const std::string& path) {
    return keepDiskFile(CreateFileW(wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

FileHandle fileCreateNew(const std::string& path, bool* exists, bool) {
    HANDLE h = CreateFileW(wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    DWORD error = GetLastError();
    if (exists) *exists = h == INVALID_HANDLE_VALUE && (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS);
    return keepDiskFile(h);
}

FileHandle fileOpenAt(const std::string& path, int64_t offset) {
    // The reparse point itself is opened, and refused below, so that no link is followed.
    FileHandle f = keepDiskFile(
        CreateFileW(wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (f == kInvalidFile) return f;
    BY_HANDLE_FILE_INFORMATION info;
    LARGE_INTEGER size;
    const DWORD refused = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_REPARSE_POINT;
    if (offset < 0 || !GetFileInformationByHandle(raw(f), &info) || (info.dwFileAttributes & refused) ||
        !GetFileSizeEx(raw(f), &size) || size.QuadPart < offset || !fileSeek(f, offset) || !SetEndOfFile(raw(f)) ||
        !fileSeek(f, 0)) {
        fileClose(f);
        return kInvalidFile;
    }
    return f;
}

void fileSetHidden(const std::string& path, bool hidden) {
    const std::wstring name = wide(path);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    SetFileAttributesW(name.c_str(), hidden ? attributes | FILE_ATTRIBUTE_HIDDEN : attributes & ~FILE_ATTRIBUTE_HIDDEN);
}

bool isReplaceableFile(const std::string& path) {
    DWORD attributes = GetFileAttributesW(wide(path).c_str());
    // A truncating create refuses read-only, hidden and system files; so does this.
    const DWORD refused = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_READONLY |
                          FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & refused)) return false;
    FileHandle f = keepDiskFile(CreateFileW(wide(path).c_str(), GENERIC_WRITE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    fileClose(f);
    return f != kInvalidFile;
}

bool fileReplace(const std::string& from, const std::string& to) {
    return MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

// Without MOVEFILE_REPLACE_EXISTING the move fails on a name that exists.
bool fileRenameNew(const std::string& from, const std::string& to, const std::string&, bool* exists) {
    if (MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_WRITE_THROUGH)) {
        *exists = false;
        return true;
    }
    const DWORD error = GetLastError();
    *exists = error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS;
    return false;
}

bool fileSync(FileHandle f) { return f != kInvalidFile && FlushFileBuffers(raw(f)) != 0; }

const bool kVolumeSync = false;  // a volume's flush needs rights a user lacks

bool syncVolumesOf(const std::vector<std::string>&) { return false; }

// MoveFileEx writes each rename through: nothing is left to sync.
FolderSyncs::FolderSyncs() : outer_(nullptr) {}
FolderSyncs::~FolderSyncs() = default;
void FolderSyncs::note(const std::string&) {}
void FolderSyncs::sync() {}

bool fileRemove(const std::string& path) { return DeleteFileW(wide(path).c_str()) != 0; }

FileHandle fileOpenRead(const std::string& path, int64_t* length) {
    FileHandle f = keepDiskFile(CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN,
                                            nullptr));
    if (f == kInvalidFile) return kInvalidFile;
    if (length) {
        LARGE_INTEGER size;
        *length = GetFileSizeEx(raw(f), &size) ? static_cast<int64_t>(size.QuadPart) : -1;
    }
    return f;
}

bool fileStampOf(FileHandle f, FileStamp* stamp) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(raw(f), &info)) return false;
    stamp->size = static_cast<int64_t>((static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    stamp->modified = static_cast<int64_t>((static_cast<uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                                           info.ftLastWriteTime.dwLowDateTime);
    stamp->number = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    // The change time, unlike the last write's, cannot be set back by a writer.
    FILE_BASIC_INFO basic;
    if (!GetFileInformationByHandleEx(raw(f), FileBasicInfo, &basic, sizeof basic)) return false;
    stamp->changed = basic.ChangeTime.QuadPart;
    return true;
}

int64_t unixSecondsOf(const FileStamp& stamp) {
    const int64_t from1601 = 11644473600;  // seconds from 1601 to 1970
    return stamp.modified / 10000000 - from1601;
}

uint32_t dosTimeOf(const FileStamp& stamp) {
    FILETIME utc, local;
    utc.dwLowDateTime = static_cast<DWORD>(stamp.modified);
    utc.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(stamp.modified) >> 32);
    WORD date = 0, time = 0;
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToDosDateTime(&local, &date, &time))
        return (1u << 21) | (1u << 16);
    return (static_cast<uint32_t>(date) << 16) | time;
}

bool fileSeek(FileHandle f, int64_t offset) {
    LARGE_INTEGER to;
    to.QuadPart = offset;
    return offset >= 0 && SetFilePointerEx(raw(f), to, nullptr, FILE_BEGIN) != 0;
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

int64_t freeSpace(const std::string& path) {
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExW(wide(path).c_str(), &available, nullptr, nullptr)) return -1;
    return available.QuadPart > static_cast<ULONGLONG>(INT64_MAX) ? INT64_MAX
                                                                  : static_cast<int64_t>(available.QuadPart);
}

bool makeDirectory(const std::string& path) { return CreateDirectoryW(wide(path).c_str(), nullptr) != 0; }

bool removeEmptyDirectory(const std::string& path) { return RemoveDirectoryW(wide(path).c_str()) != 0; }

bool isDirectory(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    return GetFileAttributesExW(wide(path).c_str(), GetFileExInfoStandard, &data) &&
           (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool pathExists(const std::string& path) { return GetFileAttributesW(wide(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

bool reparseTagNamesAnotherPlace(uint32_t tag) { return tag == 0 || IsReparseTagNameSurrogate(tag); }

bool isSymbolicLink(const std::string& path) {
    DWORD attributes = GetFileAttributesW(wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
    // The tag of the point itself, not of what it leads to. Where it cannot be read (Wine
    // shows its links as reparse points without a tag), the point counts as a link.
    HANDLE h = CreateFileW(wide(path).c_str(), FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return true;
    FILE_ATTRIBUTE_TAG_INFO info = {};
    bool read = GetFileInformationByHandleEx(h, FileAttributeTagInfo, &info, sizeof info) &&
                (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    CloseHandle(h);
    return !read || reparseTagNamesAnotherPlace(info.ReparseTag);
}

PathEntry pathEntryOf(const std::string& path) {
    DWORD attributes = GetFileAttributesW(wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return PathEntry::Missing;
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return PathEntry::Other;
    return isSymbolicLink(path) ? PathEntry::Link : PathEntry::Other;
}

bool listDirectory(const std::string& folder, const std::function<bool(const std::string&, bool)>& visit) {
    std::string pattern = folder;
    if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
    pattern += '*';
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(wide(pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    do {
        std::string name = wideToPath(found.cFileName);
        if (name == "." || name == "..") continue;
        if (!visit(name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)) break;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return true;
}
