// The names of a file that arrives where the store folder already has one of its name, the
// same for every door: it replaces that file, takes the next free "name (2).ext" beside it,
// or is dropped; the choice between them is the receive settings' (policy/existing_choice.h).
#pragma once
#include <cstddef>
#include <string>

// What becomes of one arriving file whose name is taken. SkipSame: skipped when its content
// is the file's, byte for byte, else kept both: content is never skipped on its name and
// size alone, and a file is never lost. Drop: it takes no name at all (a Stop ended its
// reception while the user was asked about it).
enum class ExistingAction { Replace, KeepBoth, Skip, SkipSame, Drop };
// SkipSame as Skip or KeepBoth for the whole content at arrived and the file at path (a
// link at path is never the same); the other actions as they are.
ExistingAction resolvedAction(ExistingAction action, const std::string& arrived, const std::string& path);

// What became of one arrived file whose name was taken, for the history: its name as the
// user knows it, what was done, and the name it was kept both under.
struct ExistingEnd {
    std::string name;
    ExistingAction action = ExistingAction::Replace;
    std::string keptAs;
};

// The most names a question lists and a history entry keeps of files kept both or skipped
// (the count says how many there were).
constexpr size_t kMostExistingNamed = 20;

// The name a file keeps beside the one it shares a name with: "photo (2).jpg", "notes (2)",
// ".profile (2)" (a leading dot starts no extension). number is 2 or more.
std::string keptBothName(const std::string& name, int number);
// The most numbers tried for one file before it is given up.
constexpr int kMostKeptBothNumbers = 1000;

// Gives the closed whole file from the first free name of path (whose last component is
// nameLength bytes): path itself, "name (2).ext", "name (3).ext"... A name that appears
// meanwhile is never replaced: the next number is tried. Only names within the local path
// limit are tried. The path taken, or "" when none could be (from is left as it was).
std::string nameKeepingBoth(const std::string& from, const std::string& path, size_t nameLength);
// The last component of placed, a path nameKeepingBoth gave for path (whose last component
// is nameLength bytes), when it is another name than path's own; "" otherwise.
std::string keptName(const std::string& placed, const std::string& path, size_t nameLength);

// Whether the two regular files hold the same bytes (false when either cannot be read).
bool sameFileContent(const std::string& a, const std::string& b);

// Puts the closed whole file from where the action (resolved) says: in path's place (when
// the name gives way), at a free name of path, or nowhere (removed). The path it took, or ""
// (from is then removed too).
std::string placeArrivedFile(const std::string& from, const std::string& path, size_t nameLength,
                             ExistingAction action);
