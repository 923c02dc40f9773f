// The bundled TGA loader, compiled here with every other format left out, and the glue
// that hands it a file already checked by the codec.

#include "TgaLayout.h"

#include <climits>
#include <cstring>
#include <memory>

#define STBI_ONLY_TGA
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
// A TGA side is 16 bits; the codec's own limit on the pixel count is the one that bites.
#define STBI_MAX_DIMENSIONS 65535
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wall"
#pragma GCC diagnostic ignored "-Wextra"
#pragma GCC diagnostic ignored "-Wpedantic"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

namespace packsmith::targa {

DecodeResult DecodeWithLoader(const Header& header, const std::uint8_t* data, std::size_t size,
                              std::vector<std::uint8_t>& bgra)
{
    if (size > static_cast<std::size_t>(INT_MAX))
        return DecodeResult::NotReadable;
    int width = 0;
    int height = 0;
    int components = 0;
    const std::unique_ptr<stbi_uc, void (*)(void*)> rgba(
        stbi_load_from_memory(data, static_cast<int>(size), &width, &height, &components, 4), &stbi_image_free);
    if (!rgba) {
        const char* reason = stbi_failure_reason();
        return reason != nullptr && std::strcmp(reason, "outofmem") == 0 ? DecodeResult::OutOfMemory
                                                                          : DecodeResult::NotReadable;
    }
    if (width != header.Width || height != header.Height)
        return DecodeResult::NotReadable;

    const std::size_t count = header.PixelCount();
    bgra.resize(count * 4);
    const stbi_uc* in = rgba.get();
    for (std::size_t i = 0; i < count; ++i, in += 4) {
        std::uint8_t* out = bgra.data() + i * 4;
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
        out[3] = in[3];
    }
    return DecodeResult::Ok;
}

} // namespace packsmith::targa
