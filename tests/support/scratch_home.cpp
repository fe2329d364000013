#include "scratch_home.h"

#include <cstdlib>

#include "scratch_folder.h"
#include "trust/identity_key.h"

#ifndef _WIN32
ScratchHome::ScratchHome() : folder(makeScratchFolder("home")) {
    setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);
    setenv("XDG_STATE_HOME", (folder + "/state").c_str(), 1);
    forgetIdentity();
}

ScratchHome::~ScratchHome() {
    forgetIdentity();
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("XDG_STATE_HOME");
    removeScratchFolder(folder);
}
#endif
