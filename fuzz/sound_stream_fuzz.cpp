// A packed sound file of any bytes, read through the sound window's stream as playing reads
// it: pieces of varying size, then seeks back and forth. The first byte says whether it is
// taken as packed music (.was) or packed wave (.wac); the rest is the file.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "core/PackError.h"
#include "jobs/SoundStream.h"

namespace {

// One file in memory for every input, rewritten each time.
const std::string& FilePath(int& fd)
{
    static int file = memfd_create("sound-stream-fuzz", 0);
    static const std::string path = "/proc/self/fd/" + std::to_string(file);
    fd = file;
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    int fd = -1;
    const std::string& path = FilePath(fd);
    if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, data + 1, size - 1, 0) != static_cast<ssize_t>(size - 1))
        return 0;
    try {
        packsmith::SoundStream stream(path, (data[0] & 1) != 0);
        const std::uint64_t length = stream.Summary().DecodedBytes;
        // Pieces of 1 to 4 KB, sized by the input's own bytes, to the end or a bounded amount.
        std::uint64_t read = 0;
        for (std::size_t i = 0; !stream.AtEnd() && read < (std::uint64_t{16} << 20); ++i) {
            const std::size_t piece = 1 + (data[i % size] << 4);
            const auto bytes = stream.Next(piece);
            if (bytes.empty() || bytes.size() > piece)
                __builtin_trap();
            read += bytes.size();
        }
        for (const std::uint64_t at : {length / 2, std::uint64_t{0}, length, length / 3 + 1}) {
            stream.Seek(at);
            if (stream.Position() != std::min(at, length))
                __builtin_trap();
            if (!stream.AtEnd())
                (void)stream.Next(4096);
        }
    } catch (const packsmith::PackError&) {
        // Refused with a message naming the file: what a damaged file should get.
    }
    return 0;
}
