#include "platform/files.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

const char kPathSeparator = '/';
const bool kCreateRefusesLinks = true;

FileHandle fileCreate(const std::string& path) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    return fd < 0 ? kInvalidFile : fd;
}

FileHandle fileOpenRead(const std::string& path, int64_t* length) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return kInvalidFile;
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        close(fd);
        return kInvalidFile;
    }
    if (length) {
        // A regular file's size is in the status; anything else reports where its end is.
        off_t end = S_ISREG(st.st_mode) ? st.st_size : lseek(fd, 0, SEEK_END);
        *length = end < 0 ? -1 : static_cast<int64_t>(end);
        if (!S_ISREG(st.st_mode)) lseek(fd, 0, SEEK_SET);
    }
    return fd;
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

int64_t measureFileSize(const std::string& path) {
    int64_t length = -1;
    FileHandle f = fileOpenRead(path, &length);
    if (f == kInvalidFile) return -1;
    fileClose(f);
    return length;
}

bool makeDirectory(const std::string& path) { return mkdir(path.c_str(), 0755) == 0; }

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

bool listDirectory(const std::string& folder,
                   const std::function<bool(const std::string&, bool)>& visit) {
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
