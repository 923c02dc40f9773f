#pragma once

#include <map>
#include <set>
#include <stdexcept>
#include <string>

#include "core/PathUtils.h"
#include "platform/FileSystem.h"

namespace packsmith {

// A job the run passes over, with a warning that says why: it would have undone what an
// earlier job of the run wrote. The run takes back the job's lines of the log and goes on.
class JobSkipped : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The files of one run: those it reads (its jobs, --like, what a log names) and the
// outputs it has named so far with the input each came from, so that no output replaces
// a file the run reads, and no job undoes another's output.
class RunFiles {
public:
    // A file the run reads; one that does not exist (yet) is nothing to protect.
    void AddRead(const std::string& path);
    // "Cannot create file OUTPUT (it is the file being read)" when output is one of them.
    void RefuseOverRead(const std::string& output) const;
    // Takes output for the job of input, before anything is written to it: refused as
    // above, and JobSkipped when an earlier job of the run wrote it from another input.
    void Claim(const std::string& output, const std::string& input);
    // Takes the file name of a pack whose contents are extracted, before anything of it is
    // written. A replay of the run's log rebuilds each pack under its file name in one
    // folder, so a second pack of a name already extracted (or the same pack again) would
    // make a log that cannot be replayed: JobSkipped, saying what to do instead.
    void ClaimPackName(const std::string& pack);

private:
    std::set<FileIdentity> read_;
    struct Written {
        std::string Output; // as it was named
        std::string Input;  // the input it came from
    };
    std::map<std::string, Written> written_;       // by the output path's NameKey
    std::map<std::string, std::string> packNames_; // file name of a pack extracted (its NameKey), its path
};

} // namespace packsmith
