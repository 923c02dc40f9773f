#include "formats/tga/Bitmap32.h"

#include "core/PackError.h"

namespace packsmith {

Bitmap32::Bitmap32()
{
    c_.Owner = this;
    c_.Resize = &Bitmap32::ResizeFromCodec;
    Point();
}

void Bitmap32::SetSize(std::uint32_t width, std::uint32_t height)
{
    ResizeBuffer(pixels_, std::uint64_t{width} * height * 4);
    c_.Width = width;
    c_.Height = height;
    c_.Stride = std::size_t{width} * 4;
    Point();
}

void Bitmap32::Point() { c_.Pixels = pixels_.data(); }

int Bitmap32::ResizeFromCodec(TgaBitmap* self, std::uint32_t width, std::uint32_t height)
{
    // No exception may cross into the library.
    try {
        static_cast<Bitmap32*>(self->Owner)->SetSize(width, height);
        return 1;
    } catch (...) {
        return 0;
    }
}

} // namespace packsmith
