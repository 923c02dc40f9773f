#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace packsmith {

// The program's paths are UTF-8 with "/" between folders on every system. These two
// convert where a path meets std::filesystem, whose narrow strings are not UTF-8 on
// Windows and whose native separator there is "\". On Linux both are a copy of the bytes.
std::filesystem::path FilesystemPath(std::string_view path);
std::string PathText(const std::filesystem::path& path);

// Whether path starts at a root: "/" here; on Windows also a drive ("C:/", "C:\") or a
// network share ("//server/share").
bool IsAbsolutePath(std::string_view path);

} // namespace packsmith
