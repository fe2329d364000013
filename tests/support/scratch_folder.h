// Temporary folders and whole-file helpers for tests, on both systems.
#pragma once
#include <string>

// Creates a new empty folder under the system's temporary folder; returns its path
// (local separators, no trailing separator).
std::string makeScratchFolder(const std::string& hint);
void removeScratchFolder(const std::string& path);
// Whole files: "" when the file is missing.
std::string readWholeFile(const std::string& path);
void writeWholeFile(const std::string& path, const std::string& bytes);
// The entries of a folder, recursively, as relative paths with "/" separators, sorted;
// folders end with "/".
std::string listTree(const std::string& folder);
