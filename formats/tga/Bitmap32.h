#pragma once

#include <cstdint>

#include "formats/tga/BitmapView.h"
#include "io/ByteBuffer.h"
#include "targa/TgaBitmap.h"

namespace packsmith {

// The image handlers' 32-bit bitmap, created once per call and resized for every picture.
// It crosses to the codec library as a TgaBitmap and to the decoder as a BitmapView.
class Bitmap32 {
public:
    Bitmap32();
    Bitmap32(const Bitmap32&) = delete;
    Bitmap32& operator=(const Bitmap32&) = delete;

    // "Out of memory while expanding memory stream" when the pixels cannot be had.
    void SetSize(std::uint32_t width, std::uint32_t height);

    std::uint32_t Width() const { return c_.Width; }
    std::uint32_t Height() const { return c_.Height; }
    std::uint8_t* Row(std::uint32_t y) { return c_.Pixels + y * c_.Stride; }
    const std::uint8_t* Row(std::uint32_t y) const { return c_.Pixels + y * c_.Stride; }
    std::size_t RowBytes() const { return c_.Stride; }

    TgaBitmap* ForCodec() { return &c_; }
    const TgaBitmap* ForCodec() const { return &c_; }
    BitmapView ForDecoder() { return {c_.Width, c_.Height, c_.Stride, c_.Pixels}; }

private:
    static int ResizeFromCodec(TgaBitmap* self, std::uint32_t width, std::uint32_t height);
    void Point();

    ByteBuffer pixels_;
    TgaBitmap c_{};
};

} // namespace packsmith
