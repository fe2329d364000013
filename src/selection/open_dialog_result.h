// The paths in the buffer that the multi-select open dialog fills: one full path, or a
// folder followed by names, each ended by a NUL and the list by an empty name.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

// nameOffset is the dialog's offset of the first name. A name that is itself a full
// path (a drive or a UNC prefix, as when the user types full paths into the name box)
// is taken as it stands rather than joined to the folder. Nothing is read past size.
std::vector<std::string> openDialogPaths(const char* buffer, size_t size, size_t nameOffset);
