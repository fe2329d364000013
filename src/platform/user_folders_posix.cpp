#include "platform/user_folders.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>

std::string userFilePath(UserFolder folder, const std::string& name) {
    const bool config = folder == UserFolder::Config;
    const char* base = getenv(config ? "XDG_CONFIG_HOME" : "XDG_STATE_HOME");
    if (base && base[0] == '/') return std::string(base) + "/quorvalinthexa/" + name;
    const char* home = getenv("HOME");
    if (home && home[0] == '/')
        return std::string(home) + (config ? "/.config" : "/.local/state") + "/quorvalinthexa/" + name;
    return std::string();
}

bool makeParentFolders(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        if (mkdir(path.substr(0, slash).c_str(), 0700) != 0 && errno != EEXIST) return false;
    return true;
}
