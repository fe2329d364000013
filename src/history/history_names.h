// The "what" of a history entry as one short line: the first names and how many more.
#pragma once
#include <string>
#include <vector>

// The names joined by ", ", at most shown of them; when more were kept, andMore (with
// "%s" for the names shown and "%s" for how many are left out: "%s and %s more")
// carries them. An empty list is "".
std::string historyNamesText(const std::vector<std::string>& names, size_t shown, const std::string& andMore);
// A received item's Windows path: folder (from a drive's root or a share) and one plain
// name (no separator, no drive or stream colon, not "." or ".."), shorter than 260
// bytes. "" for anything else: an entry's fields are never trusted to name a path.
std::string historyItemPath(const std::string& folder, const std::string& name);
