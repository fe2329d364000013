#include "platform/files.h"

#include <algorithm>
#include <ctime>

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

const char kPathSeparator = '/';
const bool kCreateRefusesLinks = true;

namespace {
// Opens path only when it is a regular file. O_NONBLOCK keeps a FIFO or device from
// blocking the open. Reading a regular file never waits whatever the flag says, so a
// reader keeps it (one call less per sent file); a writer has it cleared.
int openRegular(const std::string& path, int flags, struct stat* st) {
    int fd = open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
    if (fd < 0) return -1;
    bool reader = (flags & O_ACCMODE) == O_RDONLY;
    if (fstat(fd, st) != 0 || !S_ISREG(st->st_mode) || (!reader && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)) {
        close(fd);
        return -1;
    }
    return fd;
}
}  // namespace

FileHandle fileCreate(const std::string& path) {
    struct stat st;
    // Truncated only once it is known to be a regular file.
    int fd = openRegular(path, O_WRONLY | O_CREAT | O_NOFOLLOW, &st);
    if (fd >= 0 && ftruncate(fd, 0) != 0) {
        close(fd);
        fd = -1;
    }
    return fd < 0 ? kInvalidFile : fd;
}

FileHandle fileCreateNew(const std::string& path, bool* exists, bool ownerOnly) {
    // O_EXCL creates a new regular file or nothing: no FIFO, device or link is opened.
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, ownerOnly ? 0600 : 0644);
    if (exists) *exists = fd < 0 && errno == EEXIST;
    return fd < 0 ? kInvalidFile : fd;
}

FileHandle fileOpenAt(const std::string& path, int64_t offset) {
    struct stat st;
    int fd = openRegular(path, O_RDWR | O_NOFOLLOW, &st);
    if (fd < 0) return kInvalidFile;
    if (offset < 0 || st.st_size < offset || ftruncate(fd, static_cast<off_t>(offset)) != 0 ||
        lseek(fd, 0, SEEK_SET) != 0) {
        close(fd);
        return kInvalidFile;
    }
    return fd;
}

void fileSetHidden(const std::string&, bool) {}

bool isReplaceableFile(const std::string& path) {
    struct stat st;
    // A file without any write bit is read-only for root as well, which may open it anyway.
    if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & 0222) == 0) return false;
    int fd = openRegular(path, O_WRONLY | O_NOFOLLOW, &st);  // may this process write it?
    if (fd < 0) return false;
    close(fd);
    return true;
}

namespace {
thread_local FolderSyncs* deferredSyncs = nullptr;

void syncFolder(const std::string& folder) {
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

// A rename lives in the folder: it reaches the disk with the folder.
void syncFolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    if (deferredSyncs) deferredSyncs->note(folder);
    else syncFolder(folder);
}
}  // namespace

const bool kVolumeSync = true;

bool syncVolumesOf(const std::vector<std::string>& folders) {
    std::vector<dev_t> synced;
    bool all = true;
    for (const std::string& folder : folders) {
        const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        struct stat st;
        if (fd < 0 || fstat(fd, &st) != 0) {
            all = false;
        } else if (std::find(synced.begin(), synced.end(), st.st_dev) == synced.end()) {
            all = syncfs(fd) == 0 && all;
            synced.push_back(st.st_dev);
        }
        if (fd >= 0) close(fd);
    }
    return all;
}

FolderSyncs::FolderSyncs() : outer_(deferredSyncs) { deferredSyncs = this; }

FolderSyncs::~FolderSyncs() {
    sync();
    deferredSyncs = outer_;
}

void FolderSyncs::note(const std::string& folder) {
    if (std::find(folders_.begin(), folders_.end(), folder) == folders_.end()) folders_.push_back(folder);
}

void FolderSyncs::sync() {
    for (const std::string& folder : folders_) syncFolder(folder);
    folders_.clear();
}

bool fileReplace(const std::string& from, const std::string& to) {
    struct stat st;
    // The replaced file's read and write permissions carry over; set-id bits never do.
    if (lstat(to.c_str(), &st) == 0 && S_ISREG(st.st_mode)) chmod(from.c_str(), st.st_mode & 0777);
    if (rename(from.c_str(), to.c_str()) != 0) return false;
    syncFolderOf(to);
    return true;
}

bool fileRenameNew(const std::string& from, const std::string& to, const std::string& like, bool* exists) {
    *exists = false;
    struct stat st;
    if (!like.empty() && lstat(like.c_str(), &st) == 0 && S_ISREG(st.st_mode)) chmod(from.c_str(), st.st_mode & 0777);
    // A file system without RENAME_NOREPLACE still refuses a link over an existing name.
    int result = renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
    if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
        result = link(from.c_str(), to.c_str());
        if (result == 0) unlink(from.c_str());
    }
    if (result != 0) {
        *exists = errno == EEXIST;
        return false;
    }
    syncFolderOf(to);
    return true;
}

bool fileSync(FileHandle f) { return f != kInvalidFile && fsync(static_cast<int>(f)) == 0; }

bool fileRemove(const std::string& path) { return unlink(path.c_str()) == 0; }

FileHandle fileOpenRead(const std::string& path, int64_t* length) {
    struct stat st;
    int fd = openRegular(path, O_RDONLY, &st);
    if (fd < 0) return kInvalidFile;
    if (length) *length = static_cast<int64_t>(st.st_size);
    return fd;
}

bool fileStampOf(FileHandle f, FileStamp* stamp) {
    struct stat st;
    if (fstat(static_cast<int>(f), &st) != 0) return false;
    stamp->size = static_cast<int64_t>(st.st_size);
    stamp->modified = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp->number = static_cast<uint64_t>(st.st_ino);
    stamp->changed = static_cast<int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return true;
}

int64_t unixSecondsOf(const FileStamp& stamp) { return stamp.modified / 1000000000; }

uint32_t dosTimeOf(const FileStamp& stamp) {
    time_t seconds = static_cast<time_t>(stamp.modified / 1000000000);
    struct tm t;
    if (!localtime_r(&seconds, &t) || t.tm_year < 80) return (1u << 21) | (1u << 16);
    return (static_cast<uint32_t>(t.tm_year - 80) << 25) | (static_cast<uint32_t>(t.tm_mon + 1) << 21) |
           (static_cast<uint32_t>(t.tm_mday) << 16) | (static_cast<uint32_t>(t.tm_hour) << 11) |
           (static_cast<uint32_t>(t.tm_min) << 5) | static_cast<uint32_t>(t.tm_sec / 2);
}

bool fileSeek(FileHandle f, int64_t offset) {
    return offset >= 0 && lseek(static_cast<int>(f), static_cast<off_t>(offset), SEEK_SET) == offset;
}

int64_t fileRead(FileHandle f, void* buffer, size_t size) {
    for (;;) {
        ssize_t n = read(static_cast<int>(f), buffer, size);
        if (n >= 0) return n;
        if (errno != EINTR) return -1;
    }
}

bool fileWriteAll(FileHandle f, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = write(static_cast<int>(f), p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void fileClose(FileHandle f) {
    if (f != kInvalidFile) close(static_cast<int>(f));
}

// One stat, no open: the analysis looks at every file once and the send opens it once.
// A file that not everyone may read is asked about (access) before it counts as readable.
int64_t measureFileSize(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    if (!(st.st_mode & S_IROTH) && faccessat(AT_FDCWD, path.c_str(), R_OK, AT_EACCESS) != 0) return -1;
    return static_cast<int64_t>(st.st_size);
}

bool makeDirectory(const std::string& path) { return mkdir(path.c_str(), 0755) == 0; }

bool removeEmptyDirectory(const std::string& path) { return rmdir(path.c_str()) == 0; }

int64_t freeSpace(const std::string& path) {
    struct statvfs volume;
    if (statvfs(path.c_str(), &volume) != 0) return -1;
    unsigned long long bytes = static_cast<unsigned long long>(volume.f_bavail) * volume.f_frsize;
    return bytes > static_cast<unsigned long long>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(bytes);
}

bool isDirectory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool pathExists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

bool isSymbolicLink(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

PathEntry pathEntryOf(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return PathEntry::Missing;
    return S_ISLNK(st.st_mode) ? PathEntry::Link : PathEntry::Other;
}

bool listDirectory(const std::string& folder, const std::function<bool(const std::string&, bool)>& visit) {
    DIR* d = opendir(folder.empty() ? "." : folder.c_str());
    if (!d) return false;
    std::string base = folder;
    if (!base.empty() && base.back() != '/') base += '/';
    while (dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        bool directory;
        if (e->d_type == DT_DIR) directory = true;
        else if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) directory = isDirectory(base + name);
        else directory = false;
        if (!visit(name, directory)) break;
    }
    closedir(d);
    return true;
}
