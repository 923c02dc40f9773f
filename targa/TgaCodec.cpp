// The codec library's two entry points: WriteTGA and ReadTGA. Nothing else leaves the
// library, and no exception does either.

#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <algorithm>
#include <type_traits>
#include <vector>

#include "targa/TgaBitmap.h"
#include "targa/TgaDecode.h"
#include "targa/TgaFile.h"
#include "targa/TgaLayout.h"

#ifdef _WIN32
#define TARGA_EXPORT __declspec(dllexport)
#else
#define TARGA_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {
TARGA_EXPORT int WriteTGA(const char* path, const TgaBitmap* bitmap, int flags);
TARGA_EXPORT int ReadTGA(const char* path, TgaBitmap* bitmap);
}

static_assert(std::is_same_v<decltype(&WriteTGA), WriteTgaFunction>);
static_assert(std::is_same_v<decltype(&ReadTGA), ReadTgaFunction>);

namespace packsmith::targa {
namespace {

// The written files end in a TGA 2.0 trailer whose extension area says the alpha channel
// holds straight alpha: readers that look at it keep the alpha whatever it holds, zeros
// everywhere included; the rest skip it.
constexpr std::size_t ExtensionSoftwareId = 2 + 41 + 324 + 12 + 41 + 6;

void PutLe16(std::uint8_t* p, unsigned v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void PutLe32(std::uint8_t* p, std::uint32_t v)
{
    PutLe16(p, v & 0xFFFFu);
    PutLe16(p + 2, v >> 16);
}

// A failure of kind, with the system's cause.
int Failed(int kind, int error) { return kind + TGA_CAUSE(error); }

// Writes an uncompressed 32-bit true-colour file (type 2), top row first, with 8 alpha bits
// and the TGA 2.0 trailer. Every flag asks for this one kind.
int Write(const char* path, const TgaBitmap* bitmap)
{
    if (path == nullptr || *path == '\0')
        return TgaCannotCreate;
    if (bitmap == nullptr)
        return TgaWriteFailed;
    const std::uint32_t width = bitmap->Width;
    const std::uint32_t height = bitmap->Height;
    // Nothing is written that ReadTGA would refuse; this also keeps the footer's 32-bit
    // offset in range.
    if (width > 0xFFFF || height > 0xFFFF || std::uint64_t{width} * height > TGA_MAX_PIXELS)
        return TgaTooLarge;
    const std::size_t rowBytes = std::size_t{width} * 4;
    if (width > 0 && height > 0 && (bitmap->Pixels == nullptr || bitmap->Stride < rowBytes))
        return TgaWriteFailed;

    std::uint8_t header[HeaderSize] = {};
    header[2] = 2;
    PutLe16(header + 12, width);
    PutLe16(header + 14, height);
    header[16] = 32;
    header[17] = DescriptorTopDown | 8;

    std::uint8_t extension[ExtensionSize] = {};
    PutLe16(extension, ExtensionSize);
    std::memcpy(extension + ExtensionSoftwareId, "Packsmith", 9);
    extension[ExtensionAttributesType] = AttributesStraightAlpha;

    std::uint8_t footer[FooterSize] = {};
    PutLe32(footer, static_cast<std::uint32_t>(HeaderSize + rowBytes * height));
    std::memcpy(footer + 8, FooterSignature, sizeof FooterSignature);

    TgaFile file(path, TgaFile::Mode::Write, std::size_t{height} + 3);
    if (!file.IsOpen())
        return Failed(TgaCannotCreate, file.Error());
    // Only a regular file is removed after a failure: never a device or pipe named as the
    // target.
    const bool regular = file.IsRegular();
    // Truncated only when there is something to cut: the tool hands over new, empty files,
    // and truncating one of those still costs the file system a journal entry.
    if (regular && file.Size() > 0 && !file.Truncate())
        return Failed(TgaCannotCreate, file.Error());

    file.Put(header, sizeof header);
    for (std::uint32_t y = 0; y < height && width > 0; ++y)
        file.Put(bitmap->Pixels + y * bitmap->Stride, rowBytes);
    file.Put(extension, sizeof extension);
    file.Put(footer, sizeof footer);
    // The cause is the first failure's: a close after a failed write may fail too.
    const bool written = file.Flush();
    const int error = file.Error();
    const bool closed = file.Close();
    if (written && closed)
        return TgaOk;
    if (regular)
        TgaFile::Remove(path);
    return Failed(TgaWriteFailed, written ? file.Error() : error);
}

// What the file's trailer says of the alpha, for a file of fileSize bytes whose picture ends
// at pictureEnd: Unstated when the file has no trailer that makes sense. False on a read
// error. Two small reads at the end of the file, whatever lies between.
bool ReadAlphaMeaning(TgaFile& file, std::uint64_t fileSize, std::size_t pictureEnd, AlphaMeaning& alpha)
{
    alpha = AlphaMeaning::Unstated;
    if (fileSize < FooterSize)
        return true;
    std::uint8_t footer[FooterSize];
    long long got = file.ReadUpTo(footer, FooterSize, fileSize - FooterSize);
    if (got < 0)
        return false;
    // Short when the file shrank since its size was taken: then there is no trailer to trust.
    const std::optional<std::uint64_t> offset =
        got == static_cast<long long>(FooterSize) ? ExtensionOffset(footer, fileSize, pictureEnd) : std::nullopt;
    if (!offset)
        return true;
    std::uint8_t extension[ExtensionSize];
    got = file.ReadUpTo(extension, ExtensionSize, *offset);
    if (got < 0)
        return false;
    if (got == static_cast<long long>(ExtensionSize))
        alpha = ExtensionAlpha(extension);
    return true;
}

int Read(const char* path, TgaBitmap* bitmap)
{
    if (bitmap == nullptr || bitmap->Resize == nullptr)
        return TgaOutOfMemory; // no way to give the bitmap a size
    if (path == nullptr)
        return TgaCannotOpen;
    // Only a regular file is read: a pipe or device could keep the reader waiting for ever.
    TgaFile file(path, TgaFile::Mode::Read);
    if (!file.IsOpen())
        return TgaCannotOpen;

    std::uint8_t headerBytes[HeaderSize];
    const long long got = file.ReadUpTo(headerBytes, HeaderSize);
    if (got < 0)
        return TgaCannotOpen;
    Header header;
    if (got < static_cast<long long>(HeaderSize))
        return TgaTooShort;
    if (!ParseHeader(headerBytes, header))
        return TgaUnknownKind;
    if (header.PixelCount() > TGA_MAX_PIXELS)
        return TgaTooLarge;

    // Only the part of the file the picture can take is read: what follows it (the TGA 2.0
    // areas, or anything else) is of no use, however large, but for the trailer's word on the
    // alpha. The buffer is not cleared first: only the bytes read are ever looked at.
    const std::size_t capacity = header.PixelsOffset() + header.MaxStreamBytes();
    const auto data = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
    std::memcpy(data.get(), headerBytes, HeaderSize);
    const long long rest = file.ReadUpTo(data.get() + HeaderSize, capacity - HeaderSize);
    if (rest < 0)
        return TgaCannotOpen;
    const std::size_t size = HeaderSize + static_cast<std::size_t>(rest);
    // Checked whole before the bitmap is touched: a file that fails leaves it as it was.
    bool badIndex = false;
    const std::optional<std::size_t> pictureEnd = Complete(header, data.get(), size, &badIndex);
    if (!pictureEnd)
        return badIndex ? TgaBadColourIndex : TgaTruncated;
    AlphaMeaning alpha = AlphaMeaning::Unstated;
    if (!ReadAlphaMeaning(file, file.Size(), *pictureEnd, alpha))
        return TgaCannotOpen;
    file.Close();

    const std::size_t rowBytes = std::size_t{header.Width} * 4;
    if (bitmap->Resize(bitmap, header.Width, header.Height) == 0)
        return TgaOutOfMemory;
    // A Resize that claims success but left too little room is a failure too.
    if (bitmap->Width != header.Width || bitmap->Height != header.Height ||
        (header.PixelCount() > 0 && (bitmap->Pixels == nullptr || bitmap->Stride < rowBytes)))
        return TgaOutOfMemory;
    // After Complete, Decode does not fail; were it to, the file is still reported as such.
    return Decode(header, alpha, data.get(), size, bitmap->Pixels, bitmap->Stride) ? TgaOk : TgaNotReadable;
}

} // namespace
} // namespace packsmith::targa

extern "C" int WriteTGA(const char* path, const TgaBitmap* bitmap, int flags)
{
    (void)flags; // 1, 32-bit with 8 alpha bits, is the only kind written
    try {
        return packsmith::targa::Write(path, bitmap);
    } catch (...) {
        return TgaWriteFailed;
    }
}

extern "C" int ReadTGA(const char* path, TgaBitmap* bitmap)
{
    try {
        return packsmith::targa::Read(path, bitmap);
    } catch (const std::bad_alloc&) {
        return TgaOutOfMemory;
    } catch (...) {
        return TgaNotReadable;
    }
}
