#include "formats/imagepack/PictureWriter.h"

#include "core/PathUtils.h"
#include "formats/imagepack/OutputNames.h"
#include "io/OutputFile.h"

namespace packsmith {

PictureWriter::Written PictureWriter::Write(const std::string& directory, const std::string& fileName,
                                            const Bitmap32& picture)
{
    OutputFile file(JoinPath(directory, FirstCandidate(fileName)));
    codec_.Write(file, *picture.ForCodec());
    Written written;
    written.Bytes = static_cast<std::uint64_t>(file.Stream().Size());
    written.Path = file.CommitFree([&](unsigned long n) { return CandidateName(fileName, n); },
                                   nextCandidate_[directory + '/' + fileName]);
    return written;
}

} // namespace packsmith
