// Which banner links a click may hand to the user's default handler.
#pragma once
#include <string>

// True only for an absolute "http://" or "https://" address (scheme in any case) with a
// host, and without spaces or control bytes. File paths, UNC paths, "file:",
// "javascript:" and every other scheme are never opened from a banner.
bool isOpenableLink(const std::string& link);
