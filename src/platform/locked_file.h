// A small file that several processes change (the remembered peers, the pinned list), on
// POSIX: each change reads, edits and writes the whole text under an exclusive flock of
// path + ".lock" beside it, and the text is replaced whole (a temporary file, synced,
// renamed over it), so that a reader never sees half of it.
#pragma once
#include <functional>
#include <string>

// At most mostBytes of the regular file at path into *text ("" when there is none); 0,
// or the error that kept it from being read (EINVAL for a file that is not regular, which
// is never opened for a blocking read).
int readSmallFile(const std::string& path, size_t mostBytes, std::string* text);
// text into a temporary file beside path (mode 0600, synced) renamed over path; the
// temporary is removed when a step fails. False when any step failed.
bool replaceSmallFile(const std::string& path, const std::string& text);

struct LockedEdit {
    std::string text;    // what the edit returned
    int readError = 0;   // why the file could not be read, 0 when it could (or was missing)
    bool stored = true;  // the text is what the file holds now
};
// Under the lock (another process's change is waited for): reads the file (folders made
// 0700 where missing), runs edit on its text ("" when there is none) and writes what it
// returns when that differs. A file that exists but cannot be read is never replaced: the
// edit then runs on "", and stored is false. Where no lock can be had, the change is made
// without it.
LockedEdit editLockedFile(const std::string& path, size_t mostBytes,
                          const std::function<std::string(const std::string&)>& edit);
