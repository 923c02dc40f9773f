#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace packsmith {

// Paths of this machine are split at "/" only.
std::string ExtractFileName(std::string_view path);
// The part of the file name from its last "." on, or empty when it has none.
std::string ExtractFileExt(std::string_view path);
// Replaces the file name's extension by ext (which carries its "."), or appends ext.
std::string ChangeFileExt(std::string_view path, std::string_view ext);
// Upper-cases the ASCII letters a to z; every other byte stays.
std::string UpperCaseAscii(std::string_view text);
// Whether a file or directory of that name exists (links followed); "" names nothing.
bool PathExists(const std::string& path);
// What tells one existing file from every other, links followed: the same for every path
// that leads to it. Nothing for a path that leads to no file.
struct FileIdentity {
    std::uint64_t Device = 0;
    std::uint64_t Inode = 0;
    auto operator<=>(const FileIdentity&) const = default;
};
std::optional<FileIdentity> IdentityOf(const std::string& path);
// Whether the two paths name one existing file, also through links or another spelling of
// the path. Writing an output over its own input would destroy the input.
bool SameFile(const std::string& a, const std::string& b);
// Refuses to write output over input, which would destroy what is being read:
// "Cannot create file OUTPUT (it is the file being read)" when both name one file.
void RefuseOverInput(const std::string& output, const std::string& input);
// directory + "/" + name: an output path under the target directory.
std::string JoinPath(std::string_view directory, std::string_view name);

} // namespace packsmith
