// Confinement of the receiver's writes to the store path. A record's "Name" and
// "Directory", already converted to the local code page, are checked exactly as they
// will be handed to the file system; anything that could reach outside the store path,
// or that the local file system would read as something else (a device, a stream, a
// drive), is refused.
#pragma once
#include <string>
#include <vector>

// MAX_PATH: a local path and its terminating NUL fit 260 bytes on both systems, so the
// two peers accept the same names.
constexpr size_t kLocalPathLimit = 260;

// The rules of the system this program runs on (Windows: reserved device names and the
// characters Windows forbids are refused as well).
bool localWindowsRules();

// A name for which Windows opens a device whatever extension follows it (trailing spaces
// and dots before the extension are ignored): CON, PRN, AUX, NUL, COM0-9, LPT0-9,
// CONIN$, CONOUT$, in any case.
bool isReservedDeviceName(const std::string& component);

// One folder component or file name: not empty, not only dots and spaces, no separator,
// colon or control character; under Windows rules also none of < > " | ? * and no
// reserved device name (CON, PRN, AUX, NUL, COM0-9, LPT0-9, CONIN$, CONOUT$, with or
// without extension, any case).
bool isSafeComponent(const std::string& component, bool windowsRules);

// The names the receiver keeps for its own files in the store folder: the record of kept
// partial files (and its temporary beside it), the kept partial files themselves, and the
// folder where browser uploads grow.
constexpr char kPartialIndexName[] = ".quorvalinthexa-partial";
constexpr char kPartialPrefix[] = ".~qv";
constexpr char kPartialSuffix[] = ".partial";
constexpr char kUploadFolderName[] = "~qvuploads";

// True for one of those names, in any case and with any trailing dots or spaces (which
// Windows drops): no sender may name a file or folder so, or it could take the place of
// what the receiver reads back and trusts.
bool isReceiverOwnName(const std::string& component);

// A component a sender may name: safe, and none of the receiver's own names. Every
// sender's name and folder passes this (port 2904, the private channel, browser uploads).
bool isSenderComponent(const std::string& component, bool windowsRules);

// A record's "Directory": either separator splits it, and empty components create
// nothing of their own, so "", "/" and a lone backslash are the top level and
// "/DCIM/2024/" or "\\host\x\" lands below the store path as DCIM/2024 or host/x. A value
// with any component that is not a sender's ("..", a drive's colon, a control byte, one
// of the receiver's own names...) is refused
// (false) with no components.
bool splitRecordDirectory(const std::string& directory, bool windowsRules, std::vector<std::string>* components);

// Appends a separator unless the path already ends with one, then the component.
void appendComponent(std::string& path, const std::string& component, char separator);
// The store path, a separator unless it already ends with one, and the components
// joined by separator.
std::string joinStorePath(const std::string& store, const std::vector<std::string>& components, char separator);

// True when the path and its NUL fit the local path limit.
bool fitsLocalPathLimit(const std::string& path);

// True when one of the components below the store path already exists as a symbolic
// link (or junction), which could lead a write out of the store path.
bool passesThroughLink(const std::string& store, const std::vector<std::string>& components, char separator);
