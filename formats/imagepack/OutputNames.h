#pragma once

#include <string>
#include <string_view>

namespace packsmith {

// How an entry's stored name becomes the path of its TGA file. Stored names come from
// another platform and are untrusted: "\", ":" and "/" all separate directories, and no
// name can lead outside the target directory, since only the extension (which holds no
// separator) and the file-name part (which gets ".tga" appended) are ever used.
// Control characters are replaced, so no line of "result.log" is ever split, and every name
// made is one the system can store (StorableName: on Windows no device, no "?" or "*").

// The sub-directory for a stored name: its extension, from the last "." when no separator
// follows, upper-cased (ASCII a to z only) and without the dot; "" when it has none.
std::string TypeDirectoryName(std::string_view storedName);
// The part after the last separator; "_" where that is empty or only dots, which would
// make a hidden file.
std::string FileNamePart(std::string_view storedName);
// The file-name part up to its first ".".
std::string BaseName(std::string_view fileNamePart);
// The candidate names in order: the file-name part with ".tga" appended, then base name,
// "_", the counter in upper-case hexadecimal of at least 4 digits, ".tga".
std::string FirstCandidate(std::string_view fileNamePart);
std::string Alternative(std::string_view baseName, unsigned long counter);
// Candidate n of a file-name part: FirstCandidate for 0, then Alternative 0, 1, ... The
// first of them that nothing in the directory holds yet is the picture's name.
std::string CandidateName(std::string_view fileNamePart, unsigned long n);

// A stored name as it can be shown in a message: control characters replaced.
std::string PrintableName(std::string_view storedName);

} // namespace packsmith
