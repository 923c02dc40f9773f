#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace packsmith {

// An open file of the system's, closed when the object goes. The calls do what the system
// does and answer with its error number where it failed (0 when it worked); the messages
// that name files are the streams' above. Reads and writes are whole: a call returns short
// only at the end of the file or on an error.
class SystemFile {
public:
    enum class Access {
        Read,      // an existing file
        ReadWrite, // an existing file
        Create,    // a new file, replacing any of the name
    };
    enum class Origin { Begin, Current, End };
    // Where a copy between two files cannot be done by the system, but bytes through this
    // process can.
    static constexpr int kCopyNotHere = -2;

    // What the system calls an open file: a descriptor, or a handle on Windows.
#ifdef _WIN32
    using Native = std::intptr_t;
#else
    using Native = int;
#endif
    static constexpr Native kNoFile = -1;

    SystemFile() = default;
    // Takes over a file the system opened; it is closed when the object goes.
    static SystemFile Adopt(Native handle) { return SystemFile(handle); }
    // Opens path; error is the cause when it could not (kNotRegularFile for a directory,
    // device or pipe), and the object is then closed. A pipe named as input never blocks the
    // open.
    SystemFile(const std::string& path, Access access, int& error);
    ~SystemFile();
    SystemFile(SystemFile&& other) noexcept;
    SystemFile& operator=(SystemFile&& other) noexcept;
    SystemFile(const SystemFile&) = delete;
    SystemFile& operator=(const SystemFile&) = delete;

    bool IsOpen() const { return handle_ != kNoFile; }
    // The file's size when it was opened by path, as the open's own check saw it.
    std::int64_t OpenedSize() const { return openedSize_; }
    // The system's handle, for a library that reads through it and leaves closing it to
    // this object.
    Native Handle() const { return handle_; }
    // Makes reads wait for data, for such a library: a file opened for reading is opened so
    // that a pipe cannot keep the open waiting (a regular file never keeps a read waiting).
    void ReadWaiting();

    // The bytes read, fewer only at the end or on an error (error then set).
    std::size_t Read(std::span<std::uint8_t> buffer, int& error);
    // At offset, without moving the position.
    std::size_t ReadAt(std::int64_t offset, std::span<std::uint8_t> buffer, int& error);
    // The bytes written; fewer only on an error, which is set (a full disk where the system
    // gave none).
    std::size_t Write(std::span<const std::uint8_t> buffer, int& error);
    // The new position, or -1 with error set.
    std::int64_t Seek(std::int64_t offset, Origin origin, int& error);
    // The file's size, or -1 with error set.
    std::int64_t Size(int& error) const;
    // Copies up to count bytes from source's position to this one's by the system alone (a
    // file system that can shares them); the bytes copied, 0 when the source has ended,
    // or -1 with error set (kCopyNotHere where the system cannot copy between these two).
    std::int64_t CopyFrom(SystemFile& source, std::uint64_t count, int& error);

private:
    explicit SystemFile(Native handle) : handle_(handle) {}

    Native handle_ = kNoFile;
    std::int64_t openedSize_ = 0;
#ifdef _WIN32
    std::int64_t position_ = 0; // reads and writes go by offset, so ReadAt leaves this alone
#endif
};

// A C runtime descriptor of an open SystemFile, for a library that reads through one and
// leaves closing it to the lender: the file's own descriptor here; on Windows, where
// descriptors are the runtime's and not the system's, a descriptor of a second handle to
// the same open file, closed when this object goes.
class LentDescriptor {
public:
    explicit LentDescriptor(const SystemFile& file);
    ~LentDescriptor();
    LentDescriptor(const LentDescriptor&) = delete;
    LentDescriptor& operator=(const LentDescriptor&) = delete;

    // -1 when the runtime could not give one.
    int Get() const { return descriptor_; }

private:
    int descriptor_ = -1;
};

} // namespace packsmith
