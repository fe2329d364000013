// Where a browser's upload grows until it is whole: a file of its own in one folder below
// the store folder ("~qvuploads/~qvup<random>.part"), so that a program killed half way
// leaves nothing under a name the user would take for the file, and what it left is found
// and removed when browser access starts again. The folder is never a link, and it goes
// with the last partial file of this process.
#pragma once
#include <string>

#include "platform/files.h"

// Creates a new partial file below store (random: the unguessable part of its name), its
// path in *path. kInvalidFile when it cannot be; *throughLink then says whether the
// partial folder is a link.
FileHandle openUploadPartial(const std::string& store, const std::string& random, std::string* path, bool* throughLink);
// The partial file at *path is gone from the folder (it took its name, or was removed
// by dropUploadPartial); *path is cleared.
void uploadPartialGone(const std::string& store, std::string* path);
// Closes *file (when open) and removes the partial file at *path (when there is one).
void dropUploadPartial(const std::string& store, FileHandle* file, std::string* path);
// Removes what uploads left in the store folder's partial folder: partial files only.
void removeLeftoverUploadPartials(const std::string& store);
