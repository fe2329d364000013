// Where the history lives, each platform's side.
#pragma once
#include <string>

// Makes the folder of the database at path, and on Linux the file itself and its folder
// the user's alone, before SQLite opens it. Returns the path to open (on Linux its folder
// resolved), or "" when a link stands at the database or its journals; whatever else fails
// here, SQLite's open says so.
std::string prepareHistoryFile(const std::string& path);
