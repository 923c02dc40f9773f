#include "jobs/RunFiles.h"

#include "core/PackError.h"
#include "platform/FileSystem.h"

namespace packsmith {

void RunFiles::AddRead(const std::string& path)
{
    if (const auto identity = IdentityOf(path))
        read_.insert(*identity);
}

void RunFiles::RefuseOverRead(const std::string& output) const
{
    const auto identity = IdentityOf(output);
    if (identity && read_.count(*identity) != 0)
        throw PackError("Cannot create file " + output + " (it is the file being read)");
}

void RunFiles::Claim(const std::string& output, const std::string& input)
{
    RefuseOverRead(output);
    // Compared as the system compares names: on Windows Chord.wav and chord.wav are one file.
    const auto [earlier, added] = written_.try_emplace(NameKey(output), Written{output, input});
    if (!added && earlier->second.Input != input)
        throw JobSkipped("Skipped " + input + ": " + earlier->second.Output + " was written from " +
                         earlier->second.Input + " earlier in this run");
}

void RunFiles::ClaimPackName(const std::string& pack)
{
    // Compared as the system compares names: on Windows P.at3 and p.at3 are one file.
    const auto [earlier, added] = packNames_.try_emplace(NameKey(ExtractFileName(pack)), pack);
    if (added)
        return;
    if (earlier->second == pack)
        throw JobSkipped("Skipped " + pack + ": it was extracted earlier in this run, and its log would list it "
                         "twice. Give each pack once");
    throw JobSkipped("Skipped " + pack + ": " + earlier->second + " of the same name was extracted earlier in this "
                     "run, and a replay of the log would rebuild both as one file. Extract it into a folder of its own");
}

} // namespace packsmith
