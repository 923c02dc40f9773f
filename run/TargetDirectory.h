#pragma once

#include <string>

namespace packsmith {

// The process's current directory, or "" when it cannot be had (it was removed).
std::string CurrentDirectory();
// Turns the directory chooser's answer into the run's target directory: absolute, without a
// trailing separator, and existing. Missing parents are created as the chooser promises;
// a directory that cannot be created fails with "Cannot create directory %s".
std::string PrepareTargetDirectory(const std::string& chosen);
// Makes directory the current one; a failure is of no consequence and is ignored.
void EnterDirectory(const std::string& directory);

} // namespace packsmith
