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
    const auto [earlier, added] = written_.try_emplace(output, input);
    if (!added && earlier->second != input)
        throw JobSkipped("Skipped " + input + ": " + output + " was written from " + earlier->second +
                         " earlier in this run");
}

} // namespace packsmith
