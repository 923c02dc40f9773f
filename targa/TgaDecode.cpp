#include "targa/TgaDecode.h"

#include <algorithm>
#include <cstring>

#include "targa/TgaPixels.h"

namespace packsmith::targa {

namespace {

// Where the pixels of the stream go, in file order: row after row as the file stores them,
// each from the pixel the file stores first. A right-to-left file's rows come out mirrored
// and are put right at the end.
class RowCursor {
public:
    RowCursor(const Header& header, std::uint8_t* rows, std::size_t stride)
        : rows_(rows), stride_(stride), width_(header.Width), height_(header.Height), topDown_(header.TopDown())
    {
    }

    // Calls put(out, n) for each stretch of the next `run` pixels that lies in one row, out
    // pointing at the stretch's place; false when put does, or when the picture is full.
    template <class Put>
    bool Take(std::size_t run, Put&& put)
    {
        while (run > 0) {
            if (row_ >= height_)
                return false;
            const std::size_t n = std::min(run, width_ - x_);
            if (!put(rows_ + (topDown_ ? row_ : height_ - 1 - row_) * stride_ + x_ * 4, n))
                return false;
            run -= n;
            x_ += n;
            if (x_ == width_) {
                x_ = 0;
                ++row_;
            }
        }
        return true;
    }

private:
    std::uint8_t* rows_;
    std::size_t stride_;
    std::size_t width_;
    std::size_t height_;
    bool topDown_;
    std::size_t row_ = 0; // counted in file order
    std::size_t x_ = 0;
};

void MirrorRows(std::uint8_t* rows, std::size_t stride, std::size_t width, std::size_t height)
{
    for (std::size_t y = 0; y < height; ++y) {
        std::uint8_t* row = rows + y * stride;
        for (std::size_t l = 0, r = width - 1; l < r; ++l, --r)
            std::swap_ranges(row + l * 4, row + l * 4 + 4, row + r * 4);
    }
}

} // namespace

bool Complete(const Header& header, const std::uint8_t* data, std::size_t size)
{
    if (!header.Indexed())
        return WalkPackets(header, data, size, [](const std::uint8_t*, std::size_t, bool) { return true; });
    return WalkPackets(header, data, size, [&](const std::uint8_t* stored, std::size_t run, bool repeated) {
        return IndicesInMap(header, stored, repeated ? 1 : run);
    });
}

bool Decode(const Header& header, const std::uint8_t* data, std::size_t size, std::uint8_t* rows, std::size_t stride)
{
    if (size < header.PixelsOffset())
        return false;
    if (header.PixelCount() == 0)
        return true;
    const PixelFormat format(header, data + header.MapOffset());
    const std::size_t bytes = header.PixelBytes();
    RowCursor cursor(header, rows, stride);
    const bool whole = WalkPackets(header, data, size, [&](const std::uint8_t* stored, std::size_t run, bool repeated) {
        if (!repeated) {
            return cursor.Take(run, [&](std::uint8_t* out, std::size_t n) {
                const bool converted = format.Convert(stored, n, out);
                stored += n * bytes;
                return converted;
            });
        }
        std::uint8_t pixel[4];
        return format.Convert(stored, 1, pixel) && cursor.Take(run, [&](std::uint8_t* out, std::size_t n) {
            for (std::size_t i = 0; i < n; ++i)
                std::memcpy(out + i * 4, pixel, 4);
            return true;
        });
    });
    if (whole && header.RightToLeft())
        MirrorRows(rows, stride, header.Width, header.Height);
    return whole;
}

} // namespace packsmith::targa
