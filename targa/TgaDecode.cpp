#include "targa/TgaDecode.h"

#include <algorithm>
#include <array>
#include <bit>
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

// The alpha byte of a pixel loaded as one 32-bit word, whatever the machine's byte order.
constexpr std::uint32_t AlphaMask = std::endian::native == std::endian::little ? 0xFF000000u : 0x000000FFu;

// These two take each pixel as one word, in loops the compiler can vectorize.

// The bits set in any pixel, up to the first row that has alpha: row by row, so that a
// picture with alpha is told apart early.
std::uint32_t PixelBitsUpToAlpha(const std::uint8_t* rows, std::size_t stride, std::size_t width, std::size_t height)
{
    std::uint32_t any = 0;
    for (std::size_t y = 0; y < height && (any & AlphaMask) == 0; ++y) {
        const std::uint8_t* row = rows + y * stride;
        for (std::size_t x = 0; x < width; ++x) {
            std::uint32_t word;
            std::memcpy(&word, row + x * 4, 4);
            any |= word;
        }
    }
    return any;
}

void MakeOpaque(std::uint8_t* rows, std::size_t stride, std::size_t width, std::size_t height)
{
    for (std::size_t y = 0; y < height; ++y) {
        std::uint8_t* row = rows + y * stride;
        for (std::size_t x = 0; x < width; ++x) {
            std::uint32_t word;
            std::memcpy(&word, row + x * 4, 4);
            word |= AlphaMask;
            std::memcpy(row + x * 4, &word, 4);
        }
    }
}

// round(c * 255 / a) is (510 * c + a) / (2 * a) rounded down; the division is done as a
// multiplication by 2^32 / (2 * a) rounded up, then a shift, which is exact while the
// numerator stays below 2^18, as it does for every c and a up to 255.
constexpr std::array<std::uint64_t, 256> HalfReciprocal = [] {
    std::array<std::uint64_t, 256> table{};
    for (std::uint64_t a = 1; a < 256; ++a)
        table[a] = ((std::uint64_t{1} << 32) + 2 * a - 1) / (2 * a);
    return table;
}();

// Straight colours from premultiplied ones. A colour above its alpha cannot have been
// multiplied by it; it comes out as 255. A transparent pixel's colour is kept as stored: its
// straight colour cannot be had back, and keeping what the file gave loses nothing more.
void Unpremultiply(std::uint8_t* rows, std::size_t stride, std::size_t width, std::size_t height)
{
    for (std::size_t y = 0; y < height; ++y) {
        std::uint8_t* pixel = rows + y * stride;
        for (std::size_t x = 0; x < width; ++x, pixel += 4) {
            const std::uint64_t a = pixel[3];
            if (a == 0 || a == 255)
                continue;
            for (int c = 0; c < 3; ++c) {
                const std::uint64_t straight = ((510 * pixel[c] + a) * HalfReciprocal[a]) >> 32;
                pixel[c] = static_cast<std::uint8_t>(std::min<std::uint64_t>(straight, 255));
            }
        }
    }
}

void SettleAlpha(const Header& header, AlphaMeaning alpha, std::uint8_t* rows, std::size_t stride)
{
    if (!header.HasAlpha())
        return; // opaque already
    switch (alpha) {
    case AlphaMeaning::Straight:
        break;
    case AlphaMeaning::None:
        MakeOpaque(rows, stride, header.Width, header.Height);
        break;
    case AlphaMeaning::Premultiplied:
        Unpremultiply(rows, stride, header.Width, header.Height);
        break;
    case AlphaMeaning::Unstated:
    {
        // Many writers fill the alpha with zeros when they have none to give, and a picture
        // meant to be invisible throughout is not one anybody stores with colours in it. A
        // picture that is 0 in every byte, though, is a blank one (a sprite erased), and
        // stays transparent.
        const std::uint32_t bits = PixelBitsUpToAlpha(rows, stride, header.Width, header.Height);
        if ((bits & AlphaMask) == 0 && bits != 0)
            MakeOpaque(rows, stride, header.Width, header.Height);
        break;
    }
    }
}

} // namespace

std::optional<std::size_t> Complete(const Header& header, const std::uint8_t* data, std::size_t size, bool* badIndex)
{
    bool outsideMap = false;
    std::optional<std::size_t> end;
    if (!header.Indexed())
        end = WalkPackets(header, data, size, [](const std::uint8_t*, std::size_t, bool) { return true; });
    else
        end = WalkPackets(header, data, size, [&](const std::uint8_t* stored, std::size_t run, bool repeated) {
            outsideMap = !IndicesInMap(header, stored, repeated ? 1 : run);
            return !outsideMap;
        });
    if (badIndex != nullptr)
        *badIndex = outsideMap;
    return end;
}

bool Decode(const Header& header, AlphaMeaning alpha, const std::uint8_t* data, std::size_t size, std::uint8_t* rows,
            std::size_t stride)
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
    }).has_value();
    if (!whole)
        return false;
    if (header.RightToLeft())
        MirrorRows(rows, stride, header.Width, header.Height);
    SettleAlpha(header, alpha, rows, stride);
    return true;
}

} // namespace packsmith::targa
