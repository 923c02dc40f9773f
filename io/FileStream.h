#pragma once

#include <string>

#include "io/Stream.h"
#include "platform/SystemFile.h"

namespace packsmith {

// A stream on a file of this machine. Opening fails with "Cannot open file %s", creating
// with "Cannot create file %s"; only regular files are opened, so a directory or a device
// named where a file is expected is refused at once rather than read forever.
class FileStream final : public Stream {
public:
    enum class Mode {
        OpenRead,      // an existing file, for reading
        OpenReadWrite, // an existing file, for reading and writing
        Create,        // a new file, replacing any file of the name, for reading and writing
    };

    FileStream(const std::string& path, Mode mode);
    // Takes over file, an open regular file; path names it for messages.
    FileStream(SystemFile file, std::string path);
    ~FileStream() override;
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    std::size_t Read(std::span<std::uint8_t> buffer) override;
    std::size_t Write(std::span<const std::uint8_t> buffer) override;
    void ReadAt(std::int64_t offset, std::span<std::uint8_t> buffer) override;
    std::int64_t Seek(std::int64_t offset, Origin origin) override;
    std::int64_t Size() override;
    int WriteErrorNumber() const override { return writeError_; }
    // Between two files, the kernel copies (and a file system that can, shares) the bytes
    // without their passing through this process.
    void CopyFrom(Stream& source, std::uint64_t count) override;

    const std::string& Path() const { return path_; }

private:
    std::string path_;
    SystemFile file_;
    int writeError_ = 0;
};

} // namespace packsmith
