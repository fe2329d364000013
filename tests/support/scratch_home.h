// A test's own XDG_CONFIG_HOME and XDG_STATE_HOME (POSIX), or LOCALAPPDATA and registry key
// of the pinned list (Windows), in a new scratch folder for the life of the object, so
// that the identity and the pinned list of one test never meet another's (nor the user's).
// The loaded identity is forgotten on the way in and out.
#pragma once
#include <string>

struct ScratchHome {
    ScratchHome();
    ~ScratchHome();
    ScratchHome(const ScratchHome&) = delete;
    ScratchHome& operator=(const ScratchHome&) = delete;
    std::string folder;
};
