#include "app/browse/PackPictureReader.h"

namespace packsmith {

PackPictureReader::PackPictureReader(const std::string& packPath)
    : file_(packPath, FileStream::Mode::OpenRead), reader_(file_, packPath)
{
}

void PackPictureReader::Read(const ListedEntry& entry, Bitmap32& bitmap)
{
    reader_.ReadPicture(PackEntry{entry.StoredName, entry.DataOffset, entry.RecordBytes}, bitmap);
}

} // namespace packsmith
