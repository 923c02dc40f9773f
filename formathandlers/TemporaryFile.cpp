#include "TemporaryFile.h"

#include <cstdio>
#include <stdlib.h>
#include <unistd.h>

#include "PackError.h"

namespace packsmith {

TemporaryFile::TemporaryFile(const std::string& finalPath) : finalPath_(finalPath)
{
    std::string pattern = finalPath + ".partial-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0)
        ThrowCannotCreate(finalPath);
    close(fd);
    temporaryPath_ = pattern;
    try {
        stream_ = std::make_unique<FileStream>(temporaryPath_, FileStream::Mode::OpenReadWrite);
    } catch (...) {
        std::remove(temporaryPath_.c_str());
        ThrowCannotCreate(finalPath);
    }
}

TemporaryFile::~TemporaryFile()
{
    stream_.reset();
    if (!committed_)
        std::remove(temporaryPath_.c_str());
}

void TemporaryFile::Commit()
{
    stream_.reset();
    if (std::rename(temporaryPath_.c_str(), finalPath_.c_str()) != 0)
        ThrowCannotCreate(finalPath_);
    committed_ = true;
}

} // namespace packsmith
