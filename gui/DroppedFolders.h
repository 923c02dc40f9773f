#pragma once

#include <string>
#include <vector>

#include "jobs/FormatTable.h"

namespace packsmith {

// A folder dropped on the job list stands for the files in it that the open dialog would
// have offered: those directly inside it (not in its sub-folders) of one format.

// Whether the path names a folder (links followed).
bool IsFolder(const std::string& path);
// The regular files directly in folder that format takes, in byte order of their names.
// "Cannot open folder X (cause)" when it cannot be listed.
std::vector<std::string> FilesOfFormatIn(const std::string& folder, const Format& format);
// The first of the regular files directly in folder, in byte order of their names, that any
// format takes; "" when none does.
std::string FirstAddableFileIn(const std::string& folder);

} // namespace packsmith
