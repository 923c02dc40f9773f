#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>

#include "core/PackError.h"

namespace packsmith {

// What a path names, links followed or not.
enum class PathKind { Missing, RegularFile, Directory, Link, Other };
// What path names (a link as itself when followLinks is false); Missing also when it cannot
// be looked at.
PathKind KindOf(const std::string& path, bool followLinks);
// Whether a file or directory of that name exists (links followed); "" names nothing.
bool PathExists(const std::string& path);

// What tells one existing file from every other, links followed: the same for every path
// that leads to it (device and inode here).
struct FileIdentity {
    std::uint64_t Device = 0;
    std::uint64_t Inode = 0;
    auto operator<=>(const FileIdentity&) const = default;
};
// Nothing for a path that leads to no file.
std::optional<FileIdentity> IdentityOf(const std::string& path);

// Whether the two paths name one existing file, also through links or another spelling of
// the path. Writing an output over its own input would destroy the input.
inline bool SameFile(const std::string& a, const std::string& b)
{
    const auto first = IdentityOf(a);
    return first && first == IdentityOf(b);
}
// Refuses to write output over input, which would destroy what is being read:
// "Cannot create file OUTPUT (it is the file being read)" when both name one file.
inline void RefuseOverInput(const std::string& output, const std::string& input)
{
    if (SameFile(output, input))
        throw PackError("Cannot create file " + output + " (it is the file being read)");
}

// The path as the system spells the file it leads to, for a library that opens files by
// path itself: the path here; on Windows, where names are UTF-16, the UTF-8 of the name the
// program gives the system (bytes that are not UTF-8 become the characters they stand for),
// so that a library taking valid UTF-8 only reaches the same file.
std::string SystemSpelling(const std::string& path);

// A name the program makes from data (a stored name of a pack's entry) as the system can
// store it: the name itself here. On Windows the characters its names cannot hold
// (< > : " | ? * and the controls) become "_", so does a "." or " " at the end (which it
// would drop), and a device's name (CON, NUL, COM1, ...) gets "_" after it, before any
// extension, so that the name leads to a file and not to the device.
std::string StorableName(const std::string& name);
// What the system compares when it looks a name up in a folder: two names of one key name
// one file. The name's bytes here; on Windows its UTF-16 (so a character as UTF-8 and as
// its single byte meet), upper-cased, since its file systems ignore case.
std::string NameKey(const std::string& name);

// Text that names paths, as the user is to read and paste them: the text itself here; on
// Windows with "\" for every "/", the separator its shells take (the program's own paths,
// and so its logs, use "/" on every system).
std::string ShownPaths(std::string text);
// Whether another program holds the existing file open in a way that keeps it from being
// replaced (on Windows, opened without sharing it for writing or deleting). Never here,
// where an open file is replaced like any other.
bool FileIsHeldOpen(const std::string& path);

// Makes the directory (its parent must exist) with the usual permissions: 0 or the error
// number (EEXIST when something holds the name).
int MakeDirectory(const std::string& path);
// Removes the file (a link itself, never what it leads to): 0 or the error number.
int RemoveFile(const std::string& path);
// Why a file that could not be opened for reading could not: not there (the error number),
// not a regular file (kNotRegularFile), or 0 when neither explains it.
int WhyCannotOpen(const std::string& path);

} // namespace packsmith
