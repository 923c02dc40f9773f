#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace packsmith {

// The program's paths are UTF-8 with "/" between folders on every system. These two
// convert where a path meets std::filesystem, whose narrow strings are not UTF-8 on
// Windows and whose native separator there is "\". On Linux both copy the bytes as they are.
std::filesystem::path FilesystemPath(std::string_view path);
std::string PathText(const std::filesystem::path& path);

// What std::filesystem does, also for the network paths of Windows ("//server/share/..."),
// which the standard library of this compiler does not know there: it takes "server" and
// "share" for folders of the current drive's root.
//
// The path without "." and ".." parts or doubled separators (lexically_normal).
std::filesystem::path NormalPath(const std::filesystem::path& path);
// The full path of path, normalised, as UTF-8 with "/"; path itself where it has none.
std::string AbsolutePath(std::string_view path, std::error_code& ec);
// Makes the directory and those above it that are missing (create_directories).
void CreateDirectories(std::string_view path, std::error_code& ec);

// A path as a text file or a user wrote it, in the program's form: on Windows "\" between
// folders becomes "/"; here it stays as it is, since "\" is a letter of names on Linux.
std::string ProgramPath(std::string_view path);

// Whether path starts at a root: "/" here; on Windows also a drive ("C:/", "C:\") or a
// network share ("//server/share").
bool IsAbsolutePath(std::string_view path);

} // namespace packsmith
