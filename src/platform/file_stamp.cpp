#include "platform/files.h"

bool sameFileState(const FileStamp& a, const FileStamp& b) {
    return a.size == b.size && a.modified == b.modified && a.number == b.number && a.changed == b.changed;
}

bool pathStillNames(const std::string& path, const FileStamp& stamp) {
    FileStamp now;
    FileHandle file = fileOpenRead(path);
    bool same = file != kInvalidFile && fileStampOf(file, &now) && sameFileState(stamp, now);
    if (file != kInvalidFile) fileClose(file);
    return same;
}
