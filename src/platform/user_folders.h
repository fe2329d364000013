// Where this user's own files live on Linux: under the XDG base folders, in a folder of
// the program's own.
#pragma once
#include <string>

enum class UserFolder { Config, State };

// $XDG_CONFIG_HOME/quorvalinthexa/name (~/.config/quorvalinthexa/name by default) or
// $XDG_STATE_HOME/quorvalinthexa/name (~/.local/state/...); "" when neither the variable
// nor HOME is an absolute path.
std::string userFilePath(UserFolder folder, const std::string& name);
// Makes every missing folder of path's parent, each 0700 as the XDG folders are.
bool makeParentFolders(const std::string& path);
