// Any bytes as a ".tga" file read by the codec, from a file in memory, once as they are and
// once behind a TGA 2.0 trailer, so that every run reaches the trailer's reading; and the
// same bytes decoded without the completeness check that ReadTGA makes first, since the
// decoder must stay within its buffers on its own.
#include <cstdint>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

#include "targa/TgaBitmap.h"
#include "targa/TgaDecode.h"
#include "targa/TgaLayout.h"

extern "C" int ReadTGA(const char* path, TgaBitmap* bitmap);

namespace {

struct Pixels {
    std::vector<std::uint8_t> Bytes;
};

int Resize(TgaBitmap* self, std::uint32_t width, std::uint32_t height)
{
    auto* pixels = static_cast<Pixels*>(self->Owner);
    pixels->Bytes.assign(std::size_t{width} * height * 4, 0);
    self->Width = width;
    self->Height = height;
    self->Stride = std::size_t{width} * 4;
    self->Pixels = pixels->Bytes.data();
    return 1;
}

// Pictures past this many pixels are left to ReadTGA alone, to keep each run quick.
constexpr std::size_t MaxDecodedPixels = 1u << 18;

void DecodeUnchecked(const std::uint8_t* data, std::size_t size)
{
    using namespace packsmith::targa;
    Header header;
    if (size < HeaderSize || !ParseHeader(data, header) || header.PixelCount() > MaxDecodedPixels)
        return;
    // The rows exactly as large as the picture, so that a write past them is caught.
    std::vector<std::uint8_t> rows(header.PixelCount() * 4);
    Decode(header, static_cast<AlphaMeaning>(data[size - 1] % 4), data, size, rows.data(), std::size_t{header.Width} * 4);
}

void ReadAsFile(const std::vector<std::uint8_t>& bytes)
{
    static const int file = memfd_create("tga", 0);
    if (file < 0 || ftruncate(file, 0) != 0 || pwrite(file, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size()))
        return;
    Pixels pixels;
    TgaBitmap bitmap{0, 0, 0, nullptr, &pixels, &Resize};
    ReadTGA(("/proc/self/fd/" + std::to_string(file)).c_str(), &bitmap);
}

// The bytes, an extension area and a footer with the signature. The input's last bytes choose
// the attributes type, and whether the footer points right after the input or wherever the
// four bytes before say, which may be inside the picture, the trailer or past the file.
std::vector<std::uint8_t> WithTrailer(const std::uint8_t* data, std::size_t size)
{
    using namespace packsmith::targa;
    std::vector<std::uint8_t> file(data, data + size);
    const std::uint8_t choice = size > 0 ? data[size - 1] : 0;
    std::uint32_t offset = static_cast<std::uint32_t>(size);
    if ((choice & 0x80) != 0 && size >= 5)
        std::memcpy(&offset, data + size - 5, 4);
    std::uint8_t extension[ExtensionSize] = {};
    extension[0] = ExtensionSize & 0xFF;
    extension[1] = ExtensionSize >> 8;
    extension[ExtensionAttributesType] = choice & 7;
    file.insert(file.end(), extension, extension + ExtensionSize);
    std::uint8_t footer[FooterSize] = {};
    for (int i = 0; i < 4; ++i)
        footer[i] = static_cast<std::uint8_t>(offset >> (8 * i));
    std::memcpy(footer + 8, FooterSignature, sizeof FooterSignature);
    file.insert(file.end(), footer, footer + FooterSize);
    return file;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    DecodeUnchecked(data, size);
    ReadAsFile(std::vector<std::uint8_t>(data, data + size));
    ReadAsFile(WithTrailer(data, size));
    return 0;
}
