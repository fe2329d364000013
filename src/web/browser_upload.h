// A browser's upload is stored by the same rules as a transfer on port 2904: the receive
// policy and its question, the free-space check, the confinement of names and folders,
// whole replacements, and the window's status line and progress bar. Uploads from
// browsers run side by side (web/upload_files.h); a new file cut short is removed.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "transfer/receiver.h"

// One read of the upload's body, at most size bytes: >0 bytes, 0 the end, <0 an error or
// a time-out. The caller stops at the announced length.
using BodyRead = std::function<int(char* buffer, int size)>;

enum class UploadOutcome {
    Saved,        // every byte is in the store folder
    NotSaved,     // cut short, or the disk refused: nothing that looks whole is left
    NoRoom,       // larger than the free space: refused before anything was written
    Refused,      // the receive policy or the user said no
    Busy,         // another reception runs: the page tries again
    BadName,      // not a name the store folder takes
    NameTooLong,  // a name the rules allow, but the store folder's path and it pass the path limit
    Stopped,      // Stop on this computer
    NoStore,      // no store folder chosen
};

// A name the receiver would store as it is: a file name, or a relative path
// "Folder/sub/a.txt" with '/' between its components. Each component has 1 to 255 bytes,
// no backslash or control byte, is safe by the receiver's rules for this system, and is
// not a name Windows keeps for a device (on every system).
bool uploadNameAllowed(const std::string& utf8Name);
// The store folder's path and the name fit this system's path limit together.
bool uploadNameFits(const std::string& utf8Name);
// An allowed name's components as the local file system names them; false otherwise.
bool uploadNameParts(const std::string& utf8Name, std::vector<std::string>* local);

// Receives length bytes read through read as the file utf8Name below the store folder;
// the folders of its path are created once it is whole, and a folder that is a link is
// never written through. The receive policy decides about sender, a browser
// (receiveVerdict): refused, asked, or allowed (a yes the user gave that browser before
// counts, and an Accept pressed now is remembered for its next uploads). With terms, the
// Stops counted when the upload's request arrived (a Stop since then makes it Stopped).
UploadOutcome receiveUpload(const std::string& utf8Name, int64_t length, uint32_t sender, const BodyRead& read,
                            ReceiveTerms terms = {});

// The HTTP status of an outcome, and the word the page shows (translated there).
int uploadStatus(UploadOutcome outcome);
const char* uploadWord(UploadOutcome outcome);
