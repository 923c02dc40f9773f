#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#ifndef _WIN32
#include <sys/uio.h>
#endif

namespace packsmith::targa {

// A file the codec reads or writes, by a UTF-8 path, closed when the object goes. The codec
// is a library of its own beneath the tool's layers, so it keeps its own few file calls;
// one implementation per system (TgaFilePosix.cpp, TgaFileWindows.cpp).
class TgaFile {
public:
    enum class Mode {
        Read,  // an existing regular file only: a pipe or device could keep a reader waiting
        Write, // created when missing; what it holds is cut only by Truncate
    };

    // pieces: how many Put will queue at most, room for which is made before the file is
    // opened, so that nothing after the open can fail for memory.
    TgaFile(const char* path, Mode mode, std::size_t pieces = 0);
    ~TgaFile();
    TgaFile(const TgaFile&) = delete;
    TgaFile& operator=(const TgaFile&) = delete;

    bool IsOpen() const { return open_; }
    // Whether it is a regular file (for reading, every open one is), and its size at the open.
    bool IsRegular() const { return regular_; }
    std::uint64_t Size() const { return size_; }
    // Cuts the file to nothing; false when that failed.
    bool Truncate();

    // Queues n bytes at p to be written (they must stay valid until Flush); pieces that
    // follow each other in memory go as one.
    void Put(const std::uint8_t* p, std::size_t n);
    // Writes what was queued, in as few calls as it takes; false on the first failure.
    bool Flush();

    // Reads up to n bytes, from where the file stands or, when given, from offset at;
    // returns how many, or -1 on a read error.
    long long ReadUpTo(std::uint8_t* p, std::size_t n, std::optional<std::uint64_t> at = std::nullopt);

    // Closes now; false when closing reports an error (data that never reached the disk).
    bool Close();
    // Why the last call that failed did (the open, Truncate, Flush or Close): the error
    // number as <cerrno> has them, 0 when the system gave none that the codec knows.
    int Error() const { return error_; }
    // Removes the file at path, after a write that failed.
    static void Remove(const char* path);

private:
    bool open_ = false;
    bool regular_ = false;
    int error_ = 0;
    std::uint64_t size_ = 0;
#ifdef _WIN32
    struct Piece {
        const std::uint8_t* Data;
        std::size_t Size;
    };
    void* handle_ = nullptr;
    std::uint64_t position_ = 0;
    std::vector<Piece> pieces_;
#else
    int fd_ = -1;
    std::vector<iovec> pieces_;
#endif
};

} // namespace packsmith::targa
