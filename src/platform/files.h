// Files seam: narrow paths (on Windows the ANSI code page, which the program's manifest
// makes UTF-8, or UTF-8 on a thread that asked for it with useUtf8Names; plain bytes on
// POSIX), 64-bit sizes, large sequential reads and writes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

using FileHandle = intptr_t;
constexpr FileHandle kInvalidFile = -1;

// The local path separator: '\\' on Windows, '/' on POSIX.
extern const char kPathSeparator;

// Only regular files are ever opened: a folder, pipe, FIFO or device under the name is
// refused, and looking at it never blocks (a FIFO without a writer would block an open
// forever).

// Creates the file or truncates an existing one, for writing. Where kCreateRefusesLinks
// holds, a symbolic link in the path's last place is refused instead of followed.
FileHandle fileCreate(const std::string& path);
extern const bool kCreateRefusesLinks;
// Creates a file that does not exist yet, for writing. Fails when anything of that name
// exists (a link is never followed); *exists then says so. With ownerOnly, on POSIX only
// the owner may read it until fileReplace gives it the permissions of the file it replaces.
FileHandle fileCreateNew(const std::string& path, bool* exists, bool ownerOnly = false);
// True when path is a regular file (no link, folder, FIFO or device) that this process
// may open for writing and, on POSIX, that has a write bit (root may open any file); it
// is neither truncated nor changed.
bool isReplaceableFile(const std::string& path);
// Puts the closed file from in the place of the file to in one step (rename on POSIX,
// where from takes to's permission bits first, and then the folder is written to disk;
// MoveFileEx replacing and writing through on Windows). Call fileSync on from first, so
// that a power cut leaves the old file or the whole new one.
bool fileReplace(const std::string& from, const std::string& to);
// Gives the closed file from the name to only while nothing has that name: a file that
// appears there meanwhile is never replaced (*exists then says so). On POSIX from first
// takes the permission bits of the regular file like (as fileReplace does). The new name
// reaches the disk with its folder, as fileReplace's does.
bool fileRenameNew(const std::string& from, const std::string& to, const std::string& like, bool* exists);
// Opens an existing regular file for reading and writing (a link is never followed), cut
// to offset bytes, its position at its start: what is read through it up to offset is what
// it keeps, and what is written next follows it. Nobody else may write, rename or remove it
// while it is open where the system allows that (Windows). kInvalidFile when it is shorter
// or cannot be opened.
FileHandle fileOpenAt(const std::string& path, int64_t offset);
// Marks a file hidden (FILE_ATTRIBUTE_HIDDEN on Windows), or not; on POSIX its leading dot
// hides it and this does nothing.
void fileSetHidden(const std::string& path, bool hidden);
// Writes what the file holds to the disk (fsync / FlushFileBuffers).
bool fileSync(FileHandle f);
// Whether syncVolumesOf can write many closed files to the disk at once (POSIX); where it
// cannot (Windows), each file is synced with fileSync before it is closed.
extern const bool kVolumeSync;
// Writes everything on the volumes that hold these folders to the disk, one sync per
// volume (syncfs): what was written to the files in them before is durable once it
// returns true.
bool syncVolumesOf(const std::vector<std::string>& folders);
// While one lives on a thread, the renames that thread makes (fileReplace, fileRenameNew)
// only note their folder; sync() then writes each noted folder to the disk once, as the
// destructor does. A batch of renames in a few folders costs a few folder syncs, not one
// each. On Windows the renames write through anyway and it does nothing.
class FolderSyncs {
  public:
    FolderSyncs();
    ~FolderSyncs();
    FolderSyncs(const FolderSyncs&) = delete;
    FolderSyncs& operator=(const FolderSyncs&) = delete;
    void sync();
    void note(const std::string& folder);

  private:
    std::vector<std::string> folders_;
    FolderSyncs* outer_;
};
bool fileRemove(const std::string& path);
// Opens a file (never a folder) for reading; with length, also tells its size then (-1
// when it cannot be told), from the same look at the file that checked it.
FileHandle fileOpenRead(const std::string& path, int64_t* length = nullptr);
// What tells one state of an open file from another: its size, the time of its last
// write in the finest unit the system keeps (nanoseconds since 1970 on POSIX, 100 ns
// since 1601 on Windows), its number on its volume (inode, file index), and the time of
// its last change (st_ctime; ChangeTime on Windows), which a writer that puts the write
// time back cannot restore. False when it cannot be told.
struct FileStamp {
    int64_t size = 0;
    int64_t modified = 0;
    uint64_t number = 0;
    int64_t changed = 0;
};
bool fileStampOf(FileHandle f, FileStamp* stamp);
bool sameFileState(const FileStamp& a, const FileStamp& b);
// Whether path still names the file of the stamp, unchanged: a file rewritten in place,
// replaced or removed since the stamp was taken does not.
bool pathStillNames(const std::string& path, const FileStamp& stamp);
// The time of a stamp's last write as an MS-DOS date and time in local time (date in the
// high half, two-second steps), as archives keep it; 1980-01-01 for a time before 1980.
uint32_t dosTimeOf(const FileStamp& stamp);
// The time of a stamp's last write in seconds since 1970 (UTC).
int64_t unixSecondsOf(const FileStamp& stamp);
// Moves the read position of an open file to offset bytes from its start.
bool fileSeek(FileHandle f, int64_t offset);
// Bytes read (0 at the end), or -1 on error.
int64_t fileRead(FileHandle f, void* buffer, size_t size);
bool fileWriteAll(FileHandle f, const void* data, size_t size);
void fileClose(FileHandle f);

// The length of a file that can be opened for reading; -1 when it cannot (missing,
// unreadable, not a regular file). On POSIX it is told without opening the file.
int64_t measureFileSize(const std::string& path);

// The bytes this process may still write on the volume that holds path (a folder);
// -1 when that cannot be told.
int64_t freeSpace(const std::string& path);

// Creates one folder. False when it failed (for example because it exists).
bool makeDirectory(const std::string& path);
// Removes one folder if it is empty. False when it is not, or could not be removed.
bool removeEmptyDirectory(const std::string& path);

// True when the path's attributes can be read and say it is a folder.
bool isDirectory(const std::string& path);
bool pathExists(const std::string& path);
// True when the path itself (not what it points to) is a symbolic link or, on Windows,
// a reparse point that names another place (a junction, a mount point). Reparse points
// that keep their data in place (deduplicated files, cloud placeholders) are no links.
bool isSymbolicLink(const std::string& path);
// What a path names, its last component not followed, in one look where the system allows:
// nothing (or nothing that can be read), a link as isSymbolicLink tells it, or anything else.
enum class PathEntry { Missing, Link, Other };
PathEntry pathEntryOf(const std::string& path);
// Windows build only: whether a reparse tag names another place (a name surrogate), or
// is 0 and so says nothing, which counts the same.
bool reparseTagNamesAnotherPlace(uint32_t tag);

// Lists the entries of a folder ("." and ".." left out), in the file system's order.
// The visitor returns false to stop. False when the folder cannot be searched.
bool listDirectory(const std::string& folder,
                   const std::function<bool(const std::string& name, bool directory)>& visit);
