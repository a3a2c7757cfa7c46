#pragma once
// File helpers of the directory's cache folder.

#include <string>

namespace stationdir {

// Creates the folder and its parents; true when it exists afterwards.
bool makeDirs(const std::string &path);

// Writes the file whole or not at all (a temporary file renamed over it).
bool writeFileAtomically(const std::string &path, const std::string &bytes);

}  // namespace stationdir
