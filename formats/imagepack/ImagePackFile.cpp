#include "formats/imagepack/ImagePackFile.h"

namespace packsmith {

ImagePackFile::ImagePackFile(const std::string& packPath)
    : file_(packPath, FileStream::Mode::OpenRead), reader_(file_, packPath)
{
}

} // namespace packsmith
