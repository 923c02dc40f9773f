#pragma once

#include <string>

#include "platform/SystemFile.h"

namespace packsmith {

// Whether name is a plain file name: not empty, and nothing in it that could lead out of
// the directory it is made in or that the system would not store as written.
bool IsPlainFileName(const std::string& name);

// A new file in a directory that has no visible name while it is written (an unnamed file;
// where the file system cannot hold one, a hidden temporary name beside the one it is meant
// for) and gets its name only once complete. The calls answer with the system's error
// numbers and never throw; a file never named is gone when the object goes (a hidden name
// with it).
//
// The file gets the usual permissions: 0666 less the process's umask (or what a default ACL
// of the directory sets instead, as for any file created there).
class PendingFile {
public:
    // directoryPrefix: the directory's path up to and including its last "/", or "" for the
    // current directory. fileName: the plain name the file is meant for, from which a hidden
    // name is made. error: 0, or why the directory cannot take a new file. Every name is
    // made in the directory the file was created in, even should the current directory
    // change in between.
    PendingFile(const std::string& directoryPrefix, const std::string& fileName, int& error);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // The file to write through; handed over once, right after construction.
    SystemFile TakeFile();
    // A path through which another library of this process can open the file for writing
    // (as O_WRONLY | O_CREAT | O_TRUNC would), for writers that only take a path.
    const std::string& WritablePath() const { return writablePath_; }

    // Names the file name (a plain name in the directory), replacing whatever is there; a
    // link at that name is replaced itself, never written through. 0 or the error number.
    int NameReplacing(const std::string& name);
    // Names the file name unless something (a dangling link included) holds it already: 0,
    // EEXIST when the name is taken, or another error number.
    int NameIfFree(const std::string& name);
    // Drops the hidden name, if the file has one; what is written goes with the last handle.
    void Discard();

    // For the tests: make every new object use a hidden temporary name, as on a file system
    // that cannot hold an unnamed file.
    static void ForceNamedTemporary(bool force);

private:
    SystemFile file_;
#ifdef _WIN32
    std::string directory_; // the directory prefix: Windows opens no directory to name in
#else
    int directory_ = -1; // held open, so that every name is made where the file was
#endif
    std::string fileName_;
    std::string temporaryName_; // the hidden name while the file has one; "" otherwise
    std::string writablePath_;
};

} // namespace packsmith
