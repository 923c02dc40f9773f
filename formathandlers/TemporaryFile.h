#pragma once

#include <memory>
#include <string>

#include "FileStream.h"

namespace packsmith {

// A new file written under a temporary name beside its final path and renamed into place
// only by Commit: a job that fails half way leaves neither a partial file under the final
// name nor harm to a file that was there. Without Commit the temporary file is removed.
class TemporaryFile {
public:
    // "Cannot create file %s" with the final path when the temporary file cannot be made.
    explicit TemporaryFile(const std::string& finalPath);
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    FileStream& Stream() { return *stream_; }
    // Renames the file to its final path, replacing any file there.
    void Commit();

private:
    std::string finalPath_;
    std::string temporaryPath_;
    std::unique_ptr<FileStream> stream_;
    bool committed_ = false;
};

} // namespace packsmith
