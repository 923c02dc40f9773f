#pragma once

#include <cstdint>
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
// directory + "/" + name: an output path under the target directory.
std::string JoinPath(std::string_view directory, std::string_view name);
// The numbered alternative of a name taken already: base, "_", n in upper-case hexadecimal
// of at least four digits, extension ("chord", 0, ".wav" gives "chord_0000.wav"). Every
// output that must not replace an earlier file is numbered so.
std::string NumberedName(std::string_view base, unsigned long n, std::string_view extension);
// Whether path starts at a root as Windows writes one: a drive ("C:/", "C:\") or a network
// share ("\\server", "//server"). A log written there and read here names its files so;
// they are then absolute paths of another machine, not relative ones of this.
bool IsWindowsAbsolutePath(std::string_view path);

} // namespace packsmith
