// Where a browser's upload grows until it is whole: a file of its own in one folder below
// the store folder ("~qvuploads/~qvup<random>.part"), so that a program killed half way
// leaves nothing under a name the user would take for the file, and what it left is found
// and removed when browser access starts again. Once whole, the file is written to the
// disk and takes its real name in one step, confined and replacing as on port 2904.
// Uploads run side by side; each piece joins the receiver's browser uploads
// (joinBrowserUploads) for as long as its bytes arrive.
#pragma once
#include <cstdint>
#include <string>

#include "platform/files.h"
#include "store/store_names.h"
#include "web/browser_upload.h"

constexpr const char* kPartialFolder = kUploadFolderName;

struct PartialUpload {
    std::string store;  // the store folder it was begun in
    std::string path;   // its partial file
    FileHandle file = kInvalidFile;
    int64_t length = 0;   // announced
    int64_t offset = 0;   // bytes written so far
    uint32_t sender = 0;  // the browser's address, for the history
};

// What is checked before anything is written, in this order: the name (BadName,
// NameTooLong; a folder of it that is a link now is BadName), a store folder (NoStore), the
// receive policy (Refused, Busy, Stopped; asked once per browser), and the free space
// for length bytes beside the pieces arriving now (NoRoom). Nothing is held back for it.
UploadOutcome admitUpload(const std::string& utf8Name, int64_t length, uint32_t sender, unsigned stops);
// Creates the partial file of an admitted upload of length bytes below the store folder.
UploadOutcome openPartial(int64_t length, PartialUpload* upload);
// Receives count bytes through read at the upload's offset, checking first that the free
// space holds them beside the other pieces arriving now (NoRoom), whose bytes it holds back
// until written. Saved when all count bytes were written (and, when they
// were the last ones, the file took utf8Name: else NotSaved and the partial file is
// gone); NotSaved when the body was cut or the disk refused (the bytes written count);
// Stopped after a Stop since stops; Busy while a reception on port 2904 runs.
UploadOutcome receivePiece(PartialUpload& upload, const std::string& utf8Name, int64_t count, const BodyRead& read,
                           unsigned stops);
// Closes and removes the partial file (and the partial folder when it is empty).
void dropPartial(PartialUpload& upload);
// Removes what uploads left in the store folder's partial folder: partial files only.
void removeLeftoverPartials(const std::string& store);
