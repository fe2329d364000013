// The files of the store folder as every door writes them (port 2904, the private channel,
// PUT and resumable uploads): what a file of the same name gives way to, where content
// grows until it is whole, and the one step that gives it its name. Names and their
// confinement are store/store_names.h.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/files.h"
#include "store/existing_names.h"

// What a transfer leaves free on the store folder's volume at the least, for the folder
// entries its records add: one whose Total would take more is refused before anything
// is written.
constexpr int64_t kFreeSpaceReserve = 64 * 1024;
// Whether bytes more fit the store's volume beside held bytes still on their way and the
// reserve; true when the free space cannot be told.
bool storeHasRoom(const std::string& store, int64_t bytes, int64_t held);

// The replace rule, the same for every door: nothing at path yet, or a regular file this
// process may write that is not read-only (nor hidden or system on Windows). A symbolic
// link, a folder, a FIFO or a device at the name is never replaced.
bool nameGivesWay(const std::string& path);

// The folder a record's Directory text leads to, worked out once for the files of one
// folder, which arrive together: the text, whether files may be stored there (its
// components are safe and none of them is a link), its path and its first component
// ("" for the store folder itself).
struct StoreFolder {
    std::string text;
    bool known = false, allowed = false;
    std::string path;
    std::string top;
};
// The local path of the file name in directory below store, "" when it may not be stored.
std::string storeFilePath(const std::string& store, StoreFolder& folder, const std::string& directory,
                          const std::string& name, bool windowsRules);
// Creates the folder directory and every folder above it, below store only (never
// through a link). False when one is missing afterwards; *top is its first component.
bool makeRecordFolders(const std::string& store, const std::string& directory, bool windowsRules, std::string* top);

// Where a file's content goes while it arrives: the file itself when it is new, or a new
// file beside it while an existing one that gives way stays until the content is whole.
struct StoreTarget {
    FileHandle file = kInvalidFile;
    std::string temporary;  // empty: the content goes straight to the file
    size_t nameLength = 0;  // the bytes of the path's last component
};
// kInvalidFile in file when nothing may be written under path (nameLength: the bytes of
// its last component). With besideAny, a name taken by anything, not only by a file that
// gives way, gets its content beside it: it may be kept both or skipped.
StoreTarget openStoreTarget(const std::string& path, size_t nameLength, bool besideAny = false);
// Writes size bytes at the file's position. A file the disk refuses them is closed
// (kInvalidFile) and false returned; an already closed one takes nothing and is no failure.
bool writeOrClose(FileHandle& file, const void* bytes, size_t size);
// How a target ended: its content took the name whole (or, kept both, the path in
// *placed); the file stayed in place but is not whole (cut, or not on the disk); nothing of
// it is left; or it arrived whole and was dropped for the file already there (Skip).
enum class StoreEnd { Whole, Kept, Dropped, Skipped };
// Closes the target (file already kInvalidFile when the disk refused it). whole: all its
// content arrived. Content beside a file of the same name is written to the disk before
// it takes the name (replacing the file, or beside it as action says), a new one too with
// syncWhole; a new file cut short is removed with dropCut.
StoreEnd closeStoreTarget(StoreTarget& target, const std::string& path, bool whole, bool syncWhole, bool dropCut,
                          ExistingAction action = ExistingAction::Replace, std::string* placed = nullptr);

// The numbers a partial file's name starts from (seed modulo this), and how many names
// one file tries from its seed on before it is refused.
constexpr unsigned kPartialNumbers = 100000;
constexpr unsigned kPartialTries = 1000;
// The seed of the next partial file: one count for every reception of this process, so
// that receptions side by side never try each other's names. A name found taken moves
// the count past it.
unsigned nextPartialNumber();
// A new hidden partial file beside a file of folder (relative to store, '/' between
// components and at its end, "" for the store folder) whose local path is folderPath,
// already known to pass through no link (storeFilePath); its relative path in *relative,
// and its local path in *local when given.
FileHandle createPartialFile(const std::string& folderPath, const std::string& folder, unsigned seed,
                             std::string* relative, std::string* local = nullptr);
// A partial file whose content arrived whole: verified (its hash is the sender's), it is
// written to the disk, closed, and takes the name at path if the name gives way, or as
// action says for a name already taken (beside it, nameLength the bytes of path's last
// component, or nowhere); otherwise, or when a step fails, it is closed and removed. The
// path it took, or "".
std::string namePartialFile(FileHandle& file, const std::string& partialPath, const std::string& path, bool verified,
                            ExistingAction action = ExistingAction::Replace, size_t nameLength = 0);
// The same for a closed partial file whose content is on the disk already (durable: it
// was synced, with others at once); one that is not is removed.
std::string nameDurablePartial(const std::string& partialPath, const std::string& path, bool durable,
                               ExistingAction action = ExistingAction::Replace, size_t nameLength = 0);
// A partial file whose content was cut (file already kInvalidFile when the disk refused
// it): closed, and kept for a resume when keep, else removed.
void closeCutPartial(FileHandle& file, const std::string& partialPath, bool keep);

// A file of length bytes grown at its own offsets (a resumable upload): written to the
// disk, closed, and given the name path below store (its folders made, never through a
// link) only when it holds exactly length bytes and the name gives way. Unless whenTaken is
// Replace, a name already taken is kept both or skipped as it says, and no file is replaced;
// *done is then what was done (KeepBoth only under another name, which *stored is set to).
// Folders made for a file that did not take its name are removed again.
bool nameGrownFile(FileHandle& file, int64_t length, const std::string& store, const std::string& from,
                   const std::vector<std::string>& path, ExistingAction whenTaken, ExistingAction* done,
                   std::string* stored);
