#include "gui/browse/PackPictureReader.h"

namespace packsmith {

PackPictureReader::PackPictureReader(const std::string& packPath)
    : pack_(packPath)
{
}

void PackPictureReader::Read(const ListedEntry& entry, Bitmap32& bitmap)
{
    pack_.Reader().ReadPicture(PackEntry{entry.StoredName, entry.DataOffset, entry.RecordBytes}, bitmap);
}

} // namespace packsmith
