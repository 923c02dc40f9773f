// Any bytes as a ".tga" file read by the codec, from a file in memory; and the same bytes
// decoded without the completeness check that ReadTGA makes first, since the decoder must
// stay within its buffers on its own.
#include <cstdint>
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
    Decode(header, data, size, rows.data(), std::size_t{header.Width} * 4);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    DecodeUnchecked(data, size);
    static const int file = memfd_create("tga", 0);
    if (file < 0 || ftruncate(file, 0) != 0 || pwrite(file, data, size, 0) != static_cast<ssize_t>(size))
        return 0;
    Pixels pixels;
    TgaBitmap bitmap{0, 0, 0, nullptr, &pixels, &Resize};
    ReadTGA(("/proc/self/fd/" + std::to_string(file)).c_str(), &bitmap);
    return 0;
}
