#include "formats/imagepack/PackListing.h"

#include <array>
#include <set>
#include <unordered_map>

#include "core/ByteOrder.h"
#include "formats/imagepack/ImagePack.h"
#include "formats/imagepack/ImagePackReader.h"
#include "formats/imagepack/OutputNames.h"
#include "formats/imagepack/record/ImageRecord.h"
#include "formats/imagepack/record/RawImageRecord.h"
#include "platform/FileSystem.h"

namespace packsmith {

namespace {

// Where an extraction into an empty target puts each entry: the first candidate name that
// no earlier entry of the pack took in its sub-directory. Taken as the system takes names,
// since it is the file system that turns an extraction's picture away from a name: on
// Windows a name meets another of other case, or with a character as UTF-8 where the other
// has its single byte, and the later entry goes to its next candidate there too.
class NamePlanner {
public:
    std::string Next(const std::string& storedName)
    {
        const std::string type = TypeDirectoryName(storedName);
        const std::string fileName = FileNamePart(storedName);
        std::set<std::string>& taken = taken_[NameKey(type)];
        unsigned long& next = next_[type + '/' + fileName];
        std::string name = CandidateName(fileName, next);
        while (!taken.insert(NameKey(name)).second)
            name = CandidateName(fileName, ++next);
        ++next;
        return type.empty() ? name : type + '/' + name;
    }

private:
    std::unordered_map<std::string, std::set<std::string>> taken_;
    std::unordered_map<std::string, unsigned long> next_;
};

void ReadRecordHeader(Stream& pack, std::uint64_t packSize, ListedEntry& listed)
{
    if (std::uint64_t{listed.DataOffset} + listed.RecordBytes > packSize) {
        listed.Problem = "the picture lies past the end of the file";
        return;
    }
    if (listed.RecordBytes < image_record::kHeaderBytes) {
        listed.Problem = "the record is shorter than its " + std::to_string(image_record::kHeaderBytes) + "-byte header";
        return;
    }
    std::array<std::uint8_t, image_record::kHeaderBytes> bytes;
    pack.ReadAt(listed.DataOffset, bytes);
    const ImageHeader header = ReadImageHeader(bytes);
    listed.Width = header.PictureWidth;
    listed.Height = header.PictureHeight;
    if (!PictureFits(header.PictureWidth, header.PictureHeight)) {
        listed.Problem = "its picture is larger than " + std::to_string(image_record::kMaxPixels) + " pixels";
        return;
    }
    if (IsRawImageRecordHeader(bytes, listed.RecordBytes)) {
        // Its pixels must be those of its header's picture, or no reader can take it.
        listed.Problem = RawPixelsMismatch(LoadLE32(bytes.data() + image_record::kPixelBytesAt), header.PictureWidth,
                                           header.PictureHeight);
        if (listed.Problem.empty())
            listed.Coding = RecordCoding::Raw;
        return;
    }
    listed.Coding = header.HalfRows != 0 ? RecordCoding::HalfRows : RecordCoding::FullRows;
    listed.BlockWidth = header.BlockWidth == 4 ? 4 : 2;
    if (header.BlockWidth == 0)
        listed.Problem = "its block width is 0";
}

} // namespace

std::vector<ListedEntry> ListImagePack(Stream& pack, const std::string& packPath)
{
    ImagePackReader reader(pack, packPath);
    const auto packSize = static_cast<std::uint64_t>(pack.Size());
    std::vector<PackEntry> entries;
    entries.reserve(reader.ReadableEntryCount());
    for (std::uint32_t i = 0; i < reader.ReadableEntryCount(); ++i)
        entries.push_back(reader.NextEntry());

    std::vector<ListedEntry> listing(entries.size());
    NamePlanner names;
    for (std::uint32_t i = 0; i < entries.size(); ++i) {
        ListedEntry& listed = listing[i];
        listed.Index = i;
        listed.StoredName = std::move(entries[i].Name);
        listed.OutputPath = names.Next(listed.StoredName);
        listed.DataOffset = entries[i].DataOffset;
        listed.RecordBytes = entries[i].DataLength;
        ReadRecordHeader(pack, packSize, listed);
    }
    // A table cut short lists what it holds, then the first entry missing, which says why.
    if (const std::string missing = reader.MissingEntries(); !missing.empty()) {
        ListedEntry& first = listing.emplace_back();
        first.Index = static_cast<std::uint32_t>(entries.size());
        first.Problem = missing;
    }
    return listing;
}

std::string CodingText(const ListedEntry& entry)
{
    switch (entry.Coding) {
    case RecordCoding::FullRows:
        return "full rows, " + std::to_string(entry.BlockWidth) + "-pixel blocks";
    case RecordCoding::HalfRows:
        return "half rows, " + std::to_string(entry.BlockWidth) + "-pixel blocks";
    case RecordCoding::Raw:
        return "raw";
    case RecordCoding::Unreadable:
        break;
    }
    return "unreadable";
}

} // namespace packsmith
