// The banner picture: downloaded from the address the banner record names into the file
// "banner" in the program's folder, for the display to decode.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "banner/banner_request.h"

constexpr size_t kPictureHostLimit = 29;
constexpr size_t kPicturePathLimit = 199;
constexpr int kPicturePiece = 1024;
// No banner picture comes near this; a server that sends more is not filling our disk.
constexpr int64_t kPictureSizeLimit = 4 * 1024 * 1024;

extern const char kBannerPictureFile[];

// pictureUrlPng when it is not empty, else pictureUrl.
std::string bannerPictureAddress(const BannerRecord& record);

// Splits an address after its first 7 bytes (the "http://" prefix, not examined) at the
// first "/" into host and path. False without a slash, with an empty host, with a host
// over kPictureHostLimit or a path over kPicturePathLimit bytes, or with spaces or
// control bytes in either (they would break the request line).
bool splitPictureUrl(const std::string& url, std::string* host, std::string* path);

// The position right after the first run of four bytes that are each CR or LF; -1 when
// the piece holds no such run.
int pictureHeaderEnd(const char* piece, int size);

// Downloads the picture over HTTP/1.0 on setup.port into setup.folder + "banner" and sets
// pictureReady. False when there is no address, it does not fit, the server cannot be
// reached, or the first piece holds no header end.
bool downloadBannerPicture(BannerRecord& record, const BannerSetup& setup);
