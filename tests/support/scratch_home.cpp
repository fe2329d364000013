#include "scratch_home.h"

#include <cstdlib>
#include <string>

#include "scratch_folder.h"
#include "trust/identity_key.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/codepage.h"
#include "trust/trusted_store.h"

namespace {
// One key per test process: tests run in parallel processes in one prefix.
const std::wstring testKey = L"Software\\Kelvadro\\QuorvalinthexaUnitTest\\Trusted" +
                             std::to_wstring(GetCurrentProcessId());
const wchar_t* kTestKey = testKey.c_str();
}  // namespace

ScratchHome::ScratchHome() : folder(makeScratchFolder("home")) {
    SetEnvironmentVariableW(L"LOCALAPPDATA", pathToWide(folder).c_str());
    trustedRegistryKey = kTestKey;
    RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey);
    forgetIdentity();
}

ScratchHome::~ScratchHome() {
    forgetIdentity();
    RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey);
    removeScratchFolder(folder);
}
#else
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
