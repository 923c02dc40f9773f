#include "ExtractAt3.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <sys/stat.h>

#include "Bitmap32.h"
#include "ByteBuffer.h"
#include "ByteOrder.h"
#include "FileStream.h"
#include "ImageDecoder.h"
#include "ImagePack.h"
#include "ImageRecord.h"
#include "OutputNames.h"
#include "PackError.h"
#include "PathUtils.h"
#include "TgaCodec.h"

namespace packsmith {

namespace {

// Reads one entry's picture into bitmap: raw records by their stored pixels, compressed
// ones through the decoder. A record that cannot give its picture ends the job with a
// message naming the pack and the entry.
class PictureReader {
public:
    PictureReader(const std::string& packPath) : packPath_(packPath) {}

    void Read(std::span<const std::uint8_t> record, const std::string& entryName, Bitmap32& bitmap)
    {
        try {
            const ImageHeader header = ReadImageHeader(record);
            // Refused before any bitmap is sized for it.
            if (!PictureFits(header.PictureWidth, header.PictureHeight))
                throw ImageRecordError("its picture of " + std::to_string(header.PictureWidth) + " x " +
                                       std::to_string(header.PictureHeight) + " pixels is larger than " +
                                       std::to_string(image_record::kMaxPixels) + " pixels");
            bitmap.SetSize(header.PictureWidth, header.PictureHeight);
            if (IsRawImageRecord(record))
                ReadRaw(record, header, bitmap);
            else
                decoder_.DecodeImageRecord(record, bitmap.ForDecoder());
        } catch (const ImageRecordError& e) {
            throw PackError("Cannot decode the image \"" + PrintableName(entryName) + "\" in " + packPath_ + ": " +
                            e.what());
        }
    }

private:
    static void ReadRaw(std::span<const std::uint8_t> record, const ImageHeader& header, Bitmap32& bitmap)
    {
        const std::uint32_t pixelBytes = LoadLE32(record.data() + raw_image_record::kPixelBytesAt);
        const std::uint64_t wanted = std::uint64_t{header.PictureWidth} * header.PictureHeight * 4;
        if (pixelBytes != wanted)
            throw ImageRecordError("it stores " + std::to_string(pixelBytes) + " bytes of pixels, not the " +
                                   std::to_string(wanted) + " of a picture of " +
                                   std::to_string(header.PictureWidth) + " x " +
                                   std::to_string(header.PictureHeight) + " pixels");
        // Stored bottom row first.
        const std::uint8_t* from = record.data() + image_record::kHeaderBytes;
        for (std::uint32_t y = bitmap.Height(); y-- > 0; from += bitmap.RowBytes())
            std::copy_n(from, bitmap.RowBytes(), bitmap.Row(y));
    }

    std::string packPath_;
    ImageDecoder decoder_;
};

void CreateDirectoryIfMissing(const std::string& path)
{
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) {
        std::error_code ignored; // a directory that cannot be made shows when writing into it
        std::filesystem::create_directory(path, ignored);
    }
}

std::uint64_t FileSize(const std::string& path)
{
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    return ec ? 0 : size;
}

} // namespace

void ExtractAt3(const std::string& path, RunContext& run, JobHost& host)
{
    using namespace image_pack;
    Bitmap32 bitmap;
    const TgaCodec codec;
    FileStream pack(path, FileStream::Mode::OpenRead);
    const auto packSize = static_cast<std::uint64_t>(pack.Size());

    std::array<std::uint8_t, kHeaderBytes> headerBytes;
    pack.ReadBuffer(headerBytes);
    const PackHeader header = ParsePackHeader(headerBytes);
    if (header.EntryCount > 0 && header.EntrySize < kMinEntrySize)
        throw PackError("The entries of " + path + " are " + std::to_string(header.EntrySize) +
                        " bytes long, fewer than the " + std::to_string(kMinEntrySize) + " an entry needs");
    // Nothing is sized for a table that the file cannot hold.
    if (header.EntryCount > 0 && header.EntrySize > packSize)
        ThrowReadError();
    ByteBuffer entryBytes;
    ResizeBuffer(entryBytes, header.EntryCount > 0 ? header.EntrySize : 0);
    ByteBuffer record;
    PictureReader pictures(path);

    host.SetStatus("Processing " + ExtractFileName(path) + "...");
    host.SetProgressMax(100);
    host.SetProgressPosition(0);
    host.ProcessMessages();

    for (std::uint32_t i = 0; i < header.EntryCount; ++i) {
        CheckStop(host);
        pack.ReadBuffer(entryBytes);
        const std::int64_t next = pack.Position();
        const PackEntry entry = ParsePackEntry(entryBytes);

        const std::string typeDirectory = JoinPath(run.TargetDirectory, TypeDirectoryName(entry.Name));
        CreateDirectoryIfMissing(typeDirectory);
        const std::string outputPath = ChooseOutputPath(typeDirectory, FileNamePart(entry.Name));

        if (std::uint64_t{entry.DataOffset} + entry.DataLength > packSize)
            ThrowReadError();
        ResizeBuffer(record, entry.DataLength);
        pack.SetPosition(entry.DataOffset);
        pack.ReadBuffer(record);
        pictures.Read(record, entry.Name, bitmap);

        codec.Write(outputPath, *bitmap.ForCodec());
        run.ResultList.Add(outputPath);
        host.ReportOutput(outputPath, FileSize(outputPath));
        host.ShowFileProgress(static_cast<int>(std::uint64_t{i} * 100 / header.EntryCount));
        pack.SetPosition(next);
    }
}

} // namespace packsmith
