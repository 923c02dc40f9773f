#include "jobs/FileContents.h"

#include "io/FileStream.h"

namespace packsmith {

FileContents ListAt3(const std::string& path)
{
    FileStream pack(path, FileStream::Mode::OpenRead);
    return {ListImagePack(pack, path), std::nullopt};
}

FileContents ListWac(const std::string& path) { return {{}, DescribePackedWav(path)}; }

FileContents ListWas(const std::string& path) { return {{}, DescribePackedMusic(path)}; }

} // namespace packsmith
