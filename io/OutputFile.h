#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "io/FileStream.h"

namespace packsmith {

// The one way this tool writes a file. The content is written into a file that has no
// visible name yet (an unnamed file; where the file system cannot do that, a hidden temporary name
// in the same directory), and it gets its name only when it is complete:
//
// - Commit() puts it at its path, replacing whatever is there. A link at that name is
//   replaced itself, never written through, so nothing outside the directory is touched.
// - CommitFree() gives it the first free name of a sequence, taken atomically: two runs
//   writing into one directory at once never overwrite each other's files.
// - Without a commit (a failure, a stop) the content vanishes; an earlier file of the
//   name stays as it was. A process that is killed leaves nothing behind (where the file
//   system needs the hidden temporary name, that name may remain).
//
// The file gets the usual permissions: 0666 less the process's umask (or what a default ACL
// of the directory sets instead, as for any file created there).
class OutputFile {
public:
    // path: where the file is to go; its directory must exist. Fails with
    // "Cannot create file %s" (path) when the directory cannot take a new file.
    explicit OutputFile(std::string path);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // The stream to write the content through (positioned at 0; reading back works too).
    // Naming the file (any of the commits below) ends the writing: the stream is closed
    // then, and asking for it afterwards is a programming error (std::logic_error).
    FileStream& Stream();
    // A path through which another library of this process can open the unnamed file for
    // writing (with O_WRONLY | O_CREAT | O_TRUNC), for writers that only take a path. Like
    // Stream(), it is for before the commit only (std::logic_error after it).
    const std::string& WritablePath() const;

    // Each object is named once: a second commit of any kind, also after CommitIfFree gave
    // false, is a programming error (std::logic_error). A commit that fails with a PackError
    // leaves the content unnamed, and may be tried again.

    // Names the file path, replacing any file there. "Cannot create file %s" on failure.
    void Commit();
    // Names the file D + "/" + name(0), or name(1), name(2), ... (D: the directory of the
    // path given at construction), whichever is the first that nothing (not even a dangling
    // link) holds yet, and returns that full path.
    // name(n) must differ for different n and stay inside D (no "/"). "Cannot create
    // file %s" with the candidate's path when the directory refuses it, when name(n) breaks
    // those rules, or when 2^20 candidates are all taken.
    std::string CommitFree(const std::function<std::string(unsigned long)>& name);
    // The same, trying name(next), name(next + 1), ... only; next is then the number after
    // the one taken. A caller that writes many files of one name keeps next from file to
    // file, so that each takes one try rather than one for every file before it.
    std::string CommitFree(const std::function<std::string(unsigned long)>& name, unsigned long& next);
    // Names the file path only if nothing (not even a dangling link) holds that name; true
    // when it did. When it is taken, the content is discarded and false returned; other
    // failures are "Cannot create file %s" (path).
    bool CommitIfFree();

    // The path given at construction.
    const std::string& Path() const { return path_; }

private:
    // For the tests: make every new object use a hidden temporary name, as on a file system
    // that cannot hold an unnamed file.
    static void ForceNamedTemporary(bool force);
    friend struct OutputFileTestAccess;

    struct Impl;
    std::string path_;
    std::unique_ptr<Impl> impl_;
};

} // namespace packsmith
