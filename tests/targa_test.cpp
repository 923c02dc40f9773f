#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "targa/TgaBitmap.h"
#include "testing/Bytes.h"
#include "testing/FileSizeLimit.h"
#include "testing/TempDir.h"

extern "C" int WriteTGA(const char* path, const TgaBitmap* bitmap, int flags);
extern "C" int ReadTGA(const char* path, TgaBitmap* bitmap);

namespace packsmith::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A bitmap whose rows carry padding (checked to stay untouched) and whose Resize can be
// made to fail.
class Picture {
public:
    static constexpr std::size_t Padding = 12;
    static constexpr std::uint8_t PaddingByte = 0xEE;

    Picture()
    {
        c_.Owner = this;
        c_.Resize = &Picture::ResizeFromCodec;
    }
    Picture(std::uint32_t width, std::uint32_t height, const Bytes& packed) : Picture()
    {
        Resize(width, height);
        for (std::uint32_t y = 0; y < height; ++y)
            std::copy_n(packed.begin() + std::ptrdiff_t(y) * width * 4, width * 4, c_.Pixels + y * c_.Stride);
    }
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;

    TgaBitmap* Get() { return &c_; }
    std::uint32_t Width() const { return c_.Width; }
    std::uint32_t Height() const { return c_.Height; }
    // The pixels without the padding, top row first.
    Bytes Packed() const
    {
        Bytes out;
        for (std::uint32_t y = 0; y < c_.Height; ++y) {
            const std::uint8_t* row = c_.Pixels + y * c_.Stride;
            out.insert(out.end(), row, row + std::size_t{c_.Width} * 4);
            for (std::size_t k = 0; k < Padding; ++k)
                EXPECT_EQ(row[c_.Width * 4 + k], PaddingByte) << "padding of row " << y;
        }
        return out;
    }

    bool failResize = false;
    int resizeCalls = 0;

private:
    void Resize(std::uint32_t width, std::uint32_t height)
    {
        c_.Width = width;
        c_.Height = height;
        c_.Stride = std::size_t{width} * 4 + Padding;
        storage_.assign(c_.Stride * height + 1, PaddingByte);
        c_.Pixels = storage_.data();
    }
    static int ResizeFromCodec(TgaBitmap* self, std::uint32_t width, std::uint32_t height)
    {
        auto* picture = static_cast<Picture*>(self->Owner);
        ++picture->resizeCalls;
        if (picture->failResize)
            return 0;
        picture->Resize(width, height);
        return 1;
    }

    TgaBitmap c_{};
    Bytes storage_;
};

void WriteBytes(const std::string& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

Bytes ReadBytes(const std::string& path)
{
    const std::string s = ReadFileBytes(path);
    return Bytes(s.begin(), s.end());
}

// Swaps red and blue: BGRA <-> RGBA.
Bytes SwapRedBlue(Bytes pixels)
{
    for (std::size_t i = 0; i + 3 < pixels.size(); i += 4)
        std::swap(pixels[i], pixels[i + 2]);
    return pixels;
}

struct Layout {
    std::uint8_t type;
    std::uint8_t bits;
    std::uint8_t descriptor;
    std::uint16_t width;
    std::uint16_t height;
    std::uint8_t mapType = 0;
    std::uint16_t mapFirst = 0;
    std::uint16_t mapLength = 0;
    std::uint8_t mapBits = 0;
    std::string id = {};
};

// A TGA file: header, id, map and pixel stream as given.
Bytes Tga(const Layout& l, const Bytes& map, const Bytes& stream)
{
    Bytes f = {std::uint8_t(l.id.size()), l.mapType, l.type,
               std::uint8_t(l.mapFirst), std::uint8_t(l.mapFirst >> 8), std::uint8_t(l.mapLength), std::uint8_t(l.mapLength >> 8), l.mapBits,
               0, 0, 0, 0,
               std::uint8_t(l.width), std::uint8_t(l.width >> 8), std::uint8_t(l.height), std::uint8_t(l.height >> 8), l.bits, l.descriptor};
    f.insert(f.end(), l.id.begin(), l.id.end());
    f.insert(f.end(), map.begin(), map.end());
    f.insert(f.end(), stream.begin(), stream.end());
    return f;
}

// ---------------------------------------------------------------------------------------
// Round trips

TEST(TargaRoundTrip, RandomBitmapsOfEveryShapeComeBackExactly)
{
    TempDir dir;
    std::mt19937 rng(11);
    const std::pair<std::uint32_t, std::uint32_t> sizes[] = {{1, 1}, {0, 0}, {0, 7}, {7, 0}, {3, 2}, {17, 5}, {1000, 1}, {1, 1000}, {64, 64}};
    // A picture invisible throughout comes back as it went too: the trailer says its alpha is
    // meant.
    for (const bool invisible : {false, true}) {
        for (const auto& [w, h] : sizes) {
            SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + (invisible ? " alpha 0" : ""));
            Bytes pixels = RandomBytes(rng, std::size_t{w} * h * 4);
            for (std::size_t i = 3; invisible && i < pixels.size(); i += 4)
                pixels[i] = 0;
            Picture source(w, h, pixels);
            const std::string path = dir / "round.tga";
            ASSERT_EQ(WriteTGA(path.c_str(), source.Get(), 1), TgaOk);
            Picture back(2, 3, Bytes(24, 9)); // a previous picture of another size
            ASSERT_EQ(ReadTGA(path.c_str(), back.Get()), TgaOk);
            EXPECT_EQ(back.resizeCalls, 1);
            EXPECT_EQ(back.Width(), w);
            EXPECT_EQ(back.Height(), h);
            EXPECT_EQ(back.Packed(), pixels);
        }
    }
}

TEST(TargaRoundTrip, WritesTopDownTrueColourWithAlphaAndTheTrailerAndReplacesOldFiles)
{
    TempDir dir;
    const std::string path = dir / "layout.tga";
    WriteBytes(path, Bytes(5000, 0x55)); // longer than what replaces it
    std::mt19937 rng(3);
    Picture source(3, 2, RandomBytes(rng, 24));
    ASSERT_EQ(WriteTGA(path.c_str(), source.Get(), 1), TgaOk);
    const Bytes f = ReadBytes(path);
    ASSERT_EQ(f.size(), 18u + 24u + 495u + 26u);
    EXPECT_EQ(Bytes(f.begin(), f.begin() + 18), (Bytes{0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 2, 0, 32, 0x28}));
    const std::size_t extension = f[f.size() - 26] | f[f.size() - 25] << 8 | f[f.size() - 24] << 16 | f[f.size() - 23] << 24;
    EXPECT_EQ(extension, 18u + 24u);
    EXPECT_EQ(f[extension] | f[extension + 1] << 8, 495);
    EXPECT_EQ(f[extension + 494], 3) << "alpha declared straight";
    EXPECT_EQ(std::string(f.end() - 18, f.end()), std::string("TRUEVISION-XFILE.\0", 18));
}

// ---------------------------------------------------------------------------------------
// Reading variants built by hand

struct Variant {
    const char* name;
    Bytes file;
    std::uint32_t width, height;
    Bytes bgra;
    bool sameInTools = false; // ImageMagick and Pillow both read it so
};

void ExpectReads(const Variant& v)
{
    SCOPED_TRACE(v.name);
    TempDir dir;
    const std::string path = dir / "v.tga";
    WriteBytes(path, v.file);
    Picture p;
    ASSERT_EQ(ReadTGA(path.c_str(), p.Get()), TgaOk);
    ASSERT_EQ(p.Width(), v.width);
    ASSERT_EQ(p.Height(), v.height);
    EXPECT_EQ(p.Packed(), v.bgra);
}

TEST(TargaRead, HandBuiltTrueColourAndGreyFiles)
{
    const Variant variants[] = {
        {"24-bit bottom-left with an id field",
         Tga({2, 24, 0, 2, 2, 0, 0, 0, 0, "hi"}, {}, {1, 2, 3, 4, 5, 6, /* top: */ 7, 8, 9, 10, 11, 12}), 2, 2,
         {7, 8, 9, 255, 10, 11, 12, 255, 1, 2, 3, 255, 4, 5, 6, 255}},
        {"32-bit top-left", Tga({2, 32, 0x28, 2, 1}, {}, {1, 2, 3, 4, 5, 6, 7, 8}), 2, 1, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"32-bit declaring no alpha keeps the stored alpha", Tga({2, 32, 0x20, 3, 1}, {}, {1, 2, 3, 0, 4, 5, 6, 128, 7, 8, 9, 255}), 3, 1,
         {1, 2, 3, 0, 4, 5, 6, 128, 7, 8, 9, 255}},
        // 0x7C00 red, 0x03E0 green, 0x001F blue, 0x8000 the alpha bit; 5-bit 16 is 132.
        {"16-bit with one alpha bit", Tga({2, 16, 0x21, 4, 1}, {}, {0x00, 0xFC, 0xE0, 0x03, 0x1F, 0x00, 0x10, 0xC2}), 4, 1,
         {0, 0, 255, 255, 0, 255, 0, 0, 255, 0, 0, 0, 132, 132, 132, 255}},
        {"16-bit without alpha bits is opaque", Tga({2, 16, 0x20, 2, 1}, {}, {0x00, 0xFC, 0x1F, 0x00}), 2, 1,
         {0, 0, 255, 255, 255, 0, 0, 255}},
        {"15-bit", Tga({2, 15, 0x21, 1, 1}, {}, {0x00, 0x7C}), 1, 1, {0, 0, 255, 255}},
        {"right-to-left, bottom-left", Tga({2, 24, 0x10, 2, 2}, {}, {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4}), 2, 2,
         {4, 4, 4, 255, 3, 3, 3, 255, 2, 2, 2, 255, 1, 1, 1, 255}},
        {"right-to-left, top-left", Tga({2, 32, 0x38, 3, 1}, {}, {1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3}), 3, 1,
         {3, 3, 3, 3, 2, 2, 2, 2, 1, 1, 1, 1}},
        {"8-bit grey", Tga({3, 8, 0x20, 2, 1}, {}, {0, 200}), 2, 1, {0, 0, 0, 255, 200, 200, 200, 255}},
        {"grey with alpha", Tga({3, 16, 0x28, 1, 1}, {}, {90, 30}), 1, 1, {90, 90, 90, 30}},
        {"true colour after an unused colour map", Tga({2, 24, 0x20, 1, 1, 1, 0, 2, 24}, {9, 9, 9, 9, 9, 9}, {1, 2, 3}), 1, 1,
         {1, 2, 3, 255}},
        {"grey with alpha after an unused colour map", Tga({3, 16, 0x28, 2, 1, 1, 0, 1, 32}, {9, 9, 9, 9}, {5, 6, 7, 8}), 2, 1,
         {5, 5, 5, 6, 7, 7, 7, 8}},
        // 3x2, top-left: a run of 4 crosses the first row's end, then a raw packet of 2.
        {"RLE run across rows", Tga({10, 24, 0x20, 3, 2}, {}, {0x83, 1, 2, 3, 0x01, 4, 5, 6, 7, 8, 9}), 3, 2,
         {1, 2, 3, 255, 1, 2, 3, 255, 1, 2, 3, 255, 1, 2, 3, 255, 4, 5, 6, 255, 7, 8, 9, 255}},
        // 2x2, bottom-left: a raw packet of 3 crosses into the top row, then a run of 1.
        {"RLE raw packet across rows, 32-bit", Tga({10, 32, 0x08, 2, 2}, {}, {0x02, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 0x80, 4, 4, 4, 4}), 2, 2,
         {3, 3, 3, 3, 4, 4, 4, 4, 1, 1, 1, 1, 2, 2, 2, 2}},
        {"RLE right-to-left 16-bit, last run too long", Tga({10, 16, 0x31, 3, 1}, {}, {0x81, 0x00, 0xFC, 0x85, 0x1F, 0x00}), 3, 1,
         {255, 0, 0, 0, 0, 0, 255, 255, 0, 0, 255, 255}},
        {"RLE grey, last packet longer than the picture", Tga({11, 8, 0x20, 3, 1}, {}, {0x00, 10, 0x85, 20}), 3, 1,
         {10, 10, 10, 255, 20, 20, 20, 255, 20, 20, 20, 255}},
    };
    for (const Variant& v : variants)
        ExpectReads(v);
}

TEST(TargaRead, HandBuiltColourMappedFiles)
{
    const Bytes map24 = {10, 20, 30, 40, 50, 60, 70, 80, 90};
    const Variant variants[] = {
        {"8-bit indices, 24-bit map, bottom-left", Tga({1, 8, 0, 2, 2, 1, 0, 3, 24}, map24, {0, 1, 2, 2}), 2, 2,
         {70, 80, 90, 255, 70, 80, 90, 255, 10, 20, 30, 255, 40, 50, 60, 255}},
        {"32-bit map", Tga({1, 8, 0x28, 2, 1, 1, 0, 2, 32}, {1, 2, 3, 0, 4, 5, 6, 77}, {1, 0}), 2, 1, {4, 5, 6, 77, 1, 2, 3, 0}},
        {"16-bit map with an alpha bit", Tga({1, 8, 0x21, 2, 1, 1, 0, 2, 16}, {0x1F, 0x80, 0xE0, 0x03}, {0, 1}), 2, 1,
         {255, 0, 0, 255, 0, 255, 0, 0}},
        {"map starting at entry 5", Tga({1, 8, 0x20, 2, 1, 1, 5, 3, 24}, map24, {7, 5}), 2, 1, {70, 80, 90, 255, 10, 20, 30, 255}},
        {"16-bit indices", Tga({1, 16, 0x20, 2, 1, 1, 0, 3, 24}, map24, {2, 0, 1, 0}), 2, 1, {70, 80, 90, 255, 40, 50, 60, 255}},
        {"RLE indices across rows", Tga({9, 8, 0x20, 2, 2, 1, 0, 3, 24}, map24, {0x82, 1, 0x00, 2}), 2, 2,
         {40, 50, 60, 255, 40, 50, 60, 255, 40, 50, 60, 255, 70, 80, 90, 255}},
        {"RLE right-to-left with a 16-bit map", Tga({9, 8, 0x31, 3, 1, 1, 0, 2, 16}, {0x1F, 0x80, 0x00, 0x7C}, {0x81, 0, 0x00, 1}), 3, 1,
         {0, 0, 255, 0, 255, 0, 0, 255, 255, 0, 0, 255}},
    };
    for (const Variant& v : variants)
        ExpectReads(v);
}

// The file followed by a TGA 2.0 extension area, giving its size as `size` and the attributes
// type, and the footer, pointing at `at` or else at the area.
Bytes WithTrailer(Bytes f, std::uint8_t attributes, std::optional<std::uint32_t> at = {}, std::uint16_t size = 495)
{
    const std::uint32_t offset = at.value_or(std::uint32_t(f.size()));
    Bytes extension(495, 0);
    extension[0] = std::uint8_t(size);
    extension[1] = std::uint8_t(size >> 8);
    extension[494] = attributes;
    f.insert(f.end(), extension.begin(), extension.end());
    f.insert(f.end(), {std::uint8_t(offset), std::uint8_t(offset >> 8), std::uint8_t(offset >> 16), std::uint8_t(offset >> 24), 0, 0, 0, 0});
    const std::string signature("TRUEVISION-XFILE.\0", 18);
    f.insert(f.end(), signature.begin(), signature.end());
    return f;
}

// What the stored alpha means: the extension area's attributes type when there is a sound
// one; without it, alpha 0 in every pixel means no alpha, unless every byte is 0.
std::vector<Variant> AlphaVariants()
{
    const Bytes none = {10, 20, 30, 0, 40, 50, 60, 0};
    const Bytes opaque = {10, 20, 30, 255, 40, 50, 60, 255};
    const Bytes some = {10, 20, 30, 0, 40, 50, 60, 1};
    const Bytes premultiplied = {10, 20, 30, 0, 60, 50, 40, 128, 100, 100, 100, 200, 1, 2, 3, 3, 200, 0, 0, 100, 7, 8, 9, 255};
    const Bytes straight = {10, 20, 30, 0, 120, 100, 80, 128, 128, 128, 128, 200, 85, 170, 255, 3, 255, 0, 0, 100, 7, 8, 9, 255};
    const Bytes red16 = {0x00, 0x7C, 0x00, 0x7C}; // attribute bits 0
    const Bytes map32 = {10, 20, 30, 0, 40, 50, 60, 0, 1, 1, 1, 9}; // the last entry unused
    const Bytes plain = Tga({2, 32, 0x28, 2, 1}, {}, none);
    // The footer's offset lands inside the picture, on bytes that look like an extension area.
    Bytes lure(130 * 4, 0);
    lure[0] = 0xEF;
    lure[1] = 0x01;
    lure[494] = 3;
    Bytes lureRead = lure;
    for (std::size_t i = 3; i < lureRead.size(); i += 4)
        lureRead[i] = 255;
    Bytes lureFile = WithTrailer(Tga({2, 32, 0x28, 130, 1}, {}, lure), 3, 18);
    lureFile.erase(lureFile.end() - 26 - 495, lureFile.end() - 26);
    // An area at 31 would run into the footer, where its attributes type would be the 3 put
    // in the footer's other offset.
    Bytes overlapping = WithTrailer(plain, 0, 31);
    overlapping[31] = 0xEF;
    overlapping[32] = 0x01;
    overlapping[overlapping.size() - 22] = 3;
    Bytes damaged = WithTrailer(plain, 3);
    damaged[damaged.size() - 2] = '!';
    Bytes developerArea = Tga({2, 32, 0x28, 2, 1}, {}, none);
    developerArea.insert(developerArea.end(), 40, 0x5A);
    return {
        {"32-bit, alpha 0, no alpha bits", Tga({2, 32, 0x20, 2, 1}, {}, none), 2, 1, opaque},
        {"32-bit, alpha 0, 8 alpha bits", plain, 2, 1, opaque},
        {"32-bit RLE, alpha 0", Tga({10, 32, 0x08, 2, 1}, {}, {0x81, 10, 20, 30, 0}), 2, 1, {10, 20, 30, 255, 10, 20, 30, 255}},
        // 0 in every byte is a blank picture, erased rather than written without alpha.
        {"32-bit, 0 in every byte, 8 alpha bits", Tga({2, 32, 0x28, 2, 1}, {}, Bytes(8, 0)), 2, 1, Bytes(8, 0), true},
        {"32-bit, 0 in every byte, no alpha bits", Tga({2, 32, 0x20, 2, 1}, {}, Bytes(8, 0)), 2, 1, Bytes(8, 0)},
        {"32-bit RLE, 0 in every byte", Tga({10, 32, 0x08, 2, 1}, {}, {0x81, 0, 0, 0, 0}), 2, 1, Bytes(8, 0)},
        {"32-bit, alpha only in the last pixel", Tga({2, 32, 0x28, 2, 2}, {}, {1, 1, 1, 0, 2, 2, 2, 0, 3, 3, 3, 0, 4, 4, 4, 1}), 2, 2,
         {1, 1, 1, 0, 2, 2, 2, 0, 3, 3, 3, 0, 4, 4, 4, 1}, true},
        {"attributes 0, alpha 0", WithTrailer(Tga({2, 32, 0x20, 2, 1}, {}, none), 0), 2, 1, opaque},
        {"attributes 1", WithTrailer(Tga({2, 32, 0x28, 2, 1}, {}, some), 1), 2, 1, opaque},
        {"attributes 2", WithTrailer(Tga({2, 32, 0x28, 2, 1}, {}, some), 2), 2, 1, opaque},
        {"attributes 3, alpha 0", WithTrailer(plain, 3), 2, 1, none, true},
        {"attributes 3, no alpha bits", WithTrailer(Tga({2, 32, 0x20, 2, 1}, {}, none), 3), 2, 1, none, true},
        {"attributes 4", WithTrailer(Tga({2, 32, 0x28, 6, 1}, {}, premultiplied), 4), 6, 1, straight},
        {"attributes 4, RLE right-to-left", WithTrailer(Tga({10, 32, 0x38, 2, 1}, {}, {0x81, 40, 50, 60, 128}), 4), 2, 1,
         {80, 100, 120, 128, 80, 100, 120, 128}},
        {"attributes 3 after a short RLE stream", WithTrailer(Tga({10, 32, 0x28, 2, 1}, {}, {0x81, 10, 20, 30, 0}), 3), 2, 1,
         {10, 20, 30, 0, 10, 20, 30, 0}},
        {"attributes 3 after a developer area", WithTrailer(developerArea, 3, 18 + 8 + 40), 2, 1, none},
        {"16-bit, attribute bits 0", Tga({2, 16, 0x21, 2, 1}, {}, red16), 2, 1, {0, 0, 255, 255, 0, 0, 255, 255}},
        {"16-bit, attribute bits 0, attributes 3", WithTrailer(Tga({2, 16, 0x21, 2, 1}, {}, red16), 3), 2, 1, {0, 0, 255, 0, 0, 0, 255, 0}},
        {"32-bit map, used entries alpha 0", Tga({1, 8, 0x28, 2, 1, 1, 0, 3, 32}, map32, {1, 0}), 2, 1, {40, 50, 60, 255, 10, 20, 30, 255}},
        {"16-bit map, attribute bits 0", Tga({1, 8, 0x21, 2, 1, 1, 0, 2, 16}, red16, {0, 1}), 2, 1, {0, 0, 255, 255, 0, 0, 255, 255}, true},
        {"grey, alpha 0", Tga({3, 16, 0x28, 2, 1}, {}, {90, 0, 30, 0}), 2, 1, {90, 90, 90, 255, 30, 30, 30, 255}},
        {"grey, attributes 4", WithTrailer(Tga({3, 16, 0x28, 2, 1}, {}, {64, 128, 30, 0}), 4), 2, 1, {128, 128, 128, 128, 30, 30, 30, 0}},
        {"24-bit, attributes 3", WithTrailer(Tga({2, 24, 0x20, 1, 1}, {}, {1, 2, 3}), 3), 1, 1, {1, 2, 3, 255}, true},
        // Trailers that make no sense are not there: alpha 0 everywhere is no alpha.
        {"footer offset past the file", WithTrailer(plain, 3, 0xFFFFFFF0u), 2, 1, opaque},
        {"extension area into the footer", overlapping, 2, 1, opaque},
        {"extension area inside the picture", lureFile, 130, 1, lureRead},
        {"extension area of another size", WithTrailer(plain, 3, {}, 494), 2, 1, opaque},
        {"attributes 5", WithTrailer(plain, 5), 2, 1, opaque},
        {"signature damaged", damaged, 2, 1, opaque},
    };
}

TEST(TargaRead, AlphaFollowsTheTrailerElseZeroEverywhereIsOpaque)
{
    for (const Variant& v : AlphaVariants())
        ExpectReads(v);
}

// The same 5x4 picture in every orientation, plain and run-length encoded, for each kind of
// pixel: what comes back must not depend on how the file lays it out.
TEST(TargaRead, EveryOrientationAndEncodingOfEachPixelKind)
{
    struct Kind {
        const char* name;
        std::uint8_t type, bits, alphaBits, mapBits;
        Bytes map;
        std::vector<Bytes> stored; // the four colours as stored (or their map indices)
        Bytes bgra;                // the four colours as read
    };
    const Kind kinds[] = {
        {"32-bit", 2, 32, 8, 0, {}, {{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 0}, {0, 0, 0, 0}}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0, 0, 0, 0, 0}},
        {"24-bit", 2, 24, 0, 0, {}, {{1, 2, 3}, {5, 6, 7}, {9, 10, 11}, {0, 0, 0}}, {1, 2, 3, 255, 5, 6, 7, 255, 9, 10, 11, 255, 0, 0, 0, 255}},
        {"16-bit", 2, 16, 1, 0, {}, {{0x1F, 0x80}, {0xE0, 0x03}, {0x00, 0xFC}, {0x00, 0x00}}, {255, 0, 0, 255, 0, 255, 0, 0, 0, 0, 255, 255, 0, 0, 0, 0}},
        {"grey", 3, 8, 0, 0, {}, {{1}, {2}, {3}, {4}}, {1, 1, 1, 255, 2, 2, 2, 255, 3, 3, 3, 255, 4, 4, 4, 255}},
        {"24-bit map", 1, 8, 0, 24, {1, 2, 3, 5, 6, 7, 9, 10, 11, 0, 0, 0}, {{0}, {1}, {2}, {3}}, {1, 2, 3, 255, 5, 6, 7, 255, 9, 10, 11, 255, 0, 0, 0, 255}},
        {"16-bit map", 1, 8, 1, 16, {0x1F, 0x80, 0xE0, 0x03, 0x00, 0xFC, 0x00, 0x00}, {{0}, {1}, {2}, {3}}, {255, 0, 0, 255, 0, 255, 0, 0, 0, 0, 255, 255, 0, 0, 0, 0}},
    };
    const int w = 5, h = 4;
    // Colour per pixel, top row first: runs of equal pixels cross row ends.
    const int picture[h][w] = {{0, 0, 1, 2, 3}, {3, 3, 3, 1, 0}, {0, 2, 2, 2, 2}, {2, 2, 1, 0, 3}};
    for (const Kind& kind : kinds) {
        for (const std::uint8_t orientation : {0x00, 0x10, 0x20, 0x30}) {
            for (const bool rle : {false, true}) {
                SCOPED_TRACE(std::string(kind.name) + " orientation " + std::to_string(orientation) + (rle ? " RLE" : ""));
                std::vector<int> order; // colours in file order
                for (int sy = 0; sy < h; ++sy)
                    for (int sx = 0; sx < w; ++sx)
                        order.push_back(picture[orientation & 0x20 ? sy : h - 1 - sy][orientation & 0x10 ? w - 1 - sx : sx]);
                Bytes stream;
                for (std::size_t i = 0; i < order.size();) {
                    std::size_t run = 1;
                    while (i + run < order.size() && order[i + run] == order[i])
                        ++run;
                    if (rle)
                        stream.push_back(std::uint8_t(run > 1 ? 0x80 | (run - 1) : 0));
                    for (std::size_t k = 0; k < (rle ? 1 : run); ++k)
                        stream.insert(stream.end(), kind.stored[order[i]].begin(), kind.stored[order[i]].end());
                    i += run;
                }
                const std::uint16_t mapLength = std::uint16_t(kind.map.size() / std::max(1, kind.mapBits / 8));
                const Layout layout{std::uint8_t(kind.type + (rle ? 8 : 0)), kind.bits, std::uint8_t(orientation | kind.alphaBits), w, h,
                                    std::uint8_t(kind.map.empty() ? 0 : 1), 0, mapLength, kind.mapBits};
                Bytes expected;
                for (const auto& row : picture)
                    for (const int c : row)
                        expected.insert(expected.end(), kind.bgra.begin() + c * 4, kind.bgra.begin() + c * 4 + 4);
                ExpectReads({"", Tga(layout, kind.map, stream), w, h, expected});
            }
        }
    }
}

TEST(TargaRead, EmptyPicturesResizeToTheirSize)
{
    TempDir dir;
    for (const auto& [w, h] : {std::pair{0, 0}, {0, 3}, {4, 0}}) {
        const std::string path = dir / "empty.tga";
        WriteBytes(path, Tga({2, 32, 0x28, std::uint16_t(w), std::uint16_t(h)}, {}, {}));
        Picture p(1, 1, Bytes(4, 1));
        ASSERT_EQ(ReadTGA(path.c_str(), p.Get()), TgaOk);
        EXPECT_EQ(p.resizeCalls, 1);
        EXPECT_EQ(p.Width(), std::uint32_t(w));
        EXPECT_EQ(p.Height(), std::uint32_t(h));
    }
}

// ---------------------------------------------------------------------------------------
// Errors

int ReadBytesAsTga(const Bytes& file, Picture& p)
{
    TempDir dir;
    const std::string path = dir / "e.tga";
    WriteBytes(path, file);
    return ReadTGA(path.c_str(), p.Get());
}

TEST(TargaErrors, FilesThatAreNotTgaOrNotWholeAreNotReadableAndSayWhy)
{
    const Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R', 0, 0, 0, 1, 0, 0, 0, 1, 8, 6, 0, 0, 0};
    const Bytes bmp = {'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 32, 0};
    const Bytes map24 = {1, 2, 3, 4, 5, 6};
    struct Case {
        const char* name;
        Bytes file;
        int why;
    };
    const std::vector<Case> cases = {
        {"PNG", png, TgaUnknownKind},
        {"BMP", bmp, TgaUnknownKind},
        {"empty", {}, TgaTooShort},
        {"17 bytes", Bytes(17, 0), TgaTooShort},
        {"image type 0", Tga({0, 24, 0, 1, 1}, {}, {1, 2, 3}), TgaUnknownKind},
        {"compressed type 32", Tga({32, 24, 0, 1, 1}, {}, {1, 2, 3}), TgaUnknownKind},
        {"true colour of 8 bits", Tga({2, 8, 0, 1, 1}, {}, {1}), TgaUnknownKind},
        {"colour-mapped without a map", Tga({1, 8, 0, 1, 1}, {}, {0}), TgaUnknownKind},
        {"index past a map of 24-bit entries", Tga({1, 8, 0, 2, 1, 1, 0, 2, 24}, map24, {0, 2}), TgaBadColourIndex},
        {"index past a map of 16-bit entries", Tga({1, 8, 0, 2, 1, 1, 0, 3, 16}, map24, {0, 3}), TgaBadColourIndex},
        {"index below the first entry", Tga({1, 8, 0, 1, 1, 1, 4, 2, 24}, map24, {3}), TgaBadColourIndex},
        // 256: its low byte alone would name entry 0.
        {"16-bit index past the map", Tga({1, 16, 0, 2, 1, 1, 0, 2, 24}, map24, {1, 0, 0, 1}), TgaBadColourIndex},
        {"16-bit index below the first entry", Tga({1, 16, 0, 1, 1, 1, 300, 2, 24}, map24, {0x2B, 0x01}),
         TgaBadColourIndex},
        {"RLE run of an index past the map", Tga({9, 8, 0, 3, 1, 1, 0, 2, 24}, map24, {0x00, 1, 0x81, 2}),
         TgaBadColourIndex},
    };
    for (const auto& [name, file, why] : cases) {
        SCOPED_TRACE(name);
        Picture p;
        EXPECT_EQ(ReadBytesAsTga(file, p), why);
        EXPECT_EQ(p.resizeCalls, 0);
    }

    // Every cut-short copy of complete files, plain and RLE, true colour and colour-mapped.
    const Bytes whole[] = {
        Tga({2, 24, 0, 2, 2, 0, 0, 0, 0, "id"}, {}, Bytes(12, 7)),
        Tga({10, 32, 0x28, 3, 2}, {}, {0x82, 1, 2, 3, 4, 0x02, 5, 6, 7, 8, 1, 1, 1, 1, 2, 2, 2, 2}),
        Tga({9, 8, 0x21, 2, 2, 1, 0, 2, 16}, {0x1F, 0x80, 0xE0, 0x03}, {0x81, 1, 0x01, 0, 1}),
    };
    for (const Bytes& file : whole) {
        Picture full;
        ASSERT_EQ(ReadBytesAsTga(file, full), TgaOk);
        for (std::size_t n = 0; n < file.size(); ++n) {
            SCOPED_TRACE("cut to " + std::to_string(n));
            Picture p;
            EXPECT_EQ(ReadBytesAsTga(Bytes(file.begin(), file.begin() + std::ptrdiff_t(n)), p),
                      n < 18 ? TgaTooShort : TgaTruncated);
        }
    }
}

TEST(TargaErrors, MissingFilesTooLargePicturesAndFailedResizes)
{
    TempDir dir;
    Picture p;
    EXPECT_EQ(ReadTGA((dir / "missing.tga").c_str(), p.Get()), TgaCannotOpen);
    EXPECT_EQ(ReadTGA(dir.Path().c_str(), p.Get()), TgaCannotOpen);

    for (const auto& [w, h] : {std::pair{65535, 65535}, {4097, 4096}, {65535, 257}}) {
        Picture big;
        EXPECT_EQ(ReadBytesAsTga(Tga({2, 32, 0x28, std::uint16_t(w), std::uint16_t(h)}, {}, {}), big), TgaTooLarge);
        EXPECT_EQ(big.resizeCalls, 0);
    }
    // The limit itself is allowed: this one fails only for want of pixel data.
    Picture atLimit;
    EXPECT_EQ(ReadBytesAsTga(Tga({2, 32, 0x28, 4096, 4096}, {}, {}), atLimit), TgaTruncated);

    Picture refuses(2, 1, {1, 2, 3, 4, 5, 6, 7, 8});
    refuses.failResize = true;
    EXPECT_EQ(ReadBytesAsTga(Tga({2, 24, 0x20, 1, 1}, {}, {9, 9, 9}), refuses), TgaOutOfMemory);
    EXPECT_EQ(refuses.resizeCalls, 1);
    EXPECT_EQ(refuses.Packed(), (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(TargaErrors, DamagedFilesNeverCrashTheReader)
{
    std::mt19937 rng(5);
    const Bytes seeds[] = {
        Tga({10, 32, 0x28, 9, 7}, {}, RandomBytes(rng, 300)),
        Tga({9, 8, 0x20, 8, 8, 1, 0, 4, 24}, RandomBytes(rng, 12), RandomBytes(rng, 100)),
        Tga({2, 16, 0x31, 6, 5}, {}, RandomBytes(rng, 60)),
    };
    for (const Bytes& seed : seeds) {
        for (int round = 0; round < 300; ++round) {
            Bytes file = seed;
            for (int k = 0; k < 1 + round % 4; ++k)
                file[rng() % std::min<std::size_t>(file.size(), round % 2 ? 18 : file.size())] = std::uint8_t(rng());
            Picture p;
            const int result = ReadBytesAsTga(file, p);
            EXPECT_TRUE(result == TgaOk || result == TgaUnknownKind || result == TgaTruncated ||
                        result == TgaBadColourIndex || result == TgaTooLarge)
                << result;
            if (result == TgaOk) {
                EXPECT_EQ(p.Packed().size(), std::size_t{p.Width()} * p.Height() * 4);
            }
        }
    }
}

TEST(TargaErrors, WriteFailuresAreReportedAndLeaveNothingBehind)
{
    TempDir dir;
    std::mt19937 rng(9);
    Picture small(4, 4, RandomBytes(rng, 64));
    // A failure the system reports carries its cause.
    EXPECT_EQ(WriteTGA((dir / "no/such/dir.tga").c_str(), small.Get(), 1), TgaCannotCreate + TGA_CAUSE(ENOENT));
    EXPECT_EQ(WriteTGA(dir.Path().c_str(), small.Get(), 1), TgaCannotCreate + TGA_CAUSE(EISDIR));
    EXPECT_EQ(WriteTGA("", small.Get(), 1), TgaCannotCreate);
    if (FileExists("/dev/full")) {
        const int full = WriteTGA("/dev/full", small.Get(), 1);
        EXPECT_EQ(TGA_RESULT_KIND(full), TgaWriteFailed);
        EXPECT_EQ(TGA_RESULT_CAUSE(full), ENOSPC);
    }

    for (const auto& [w, h] : {std::pair{70000, 1}, {1, 70000}, {4097, 4096}}) {
        TgaBitmap huge{std::uint32_t(w), std::uint32_t(h), std::size_t(w) * 4, nullptr, nullptr, nullptr};
        EXPECT_EQ(WriteTGA((dir / "huge.tga").c_str(), &huge, 1), TgaTooLarge);
        EXPECT_FALSE(FileExists(dir / "huge.tga"));
    }
    TgaBitmap noPixels{2, 2, 8, nullptr, nullptr, nullptr};
    EXPECT_EQ(WriteTGA((dir / "none.tga").c_str(), &noPixels, 1), TgaWriteFailed);
    EXPECT_FALSE(FileExists(dir / "none.tga"));

    // A file size limit stops the write part way, as a full disk would.
    const std::size_t side = 300;
    Picture large(side, side, RandomBytes(rng, side * side * 4));
    int result = 0;
    {
        const FileSizeLimit limit(100000);
        ASSERT_TRUE(limit.Active());
        result = WriteTGA((dir / "short.tga").c_str(), large.Get(), 1);
    }
    EXPECT_EQ(result, TgaWriteFailed + TGA_CAUSE(EFBIG));
    EXPECT_FALSE(FileExists(dir / "short.tga"));
}

// ---------------------------------------------------------------------------------------
// Other programs: ImageMagick and Pillow

std::string ImageMagick()
{
    for (const char* tool : {"/usr/bin/magick", "/usr/bin/convert"})
        if (access(tool, X_OK) == 0)
            return tool;
    return {};
}

std::string PythonWithPillow()
{
    for (const char* python : {"/usr/bin/python3", "python3"})
        if (std::system((std::string(python) + " -c 'import PIL' >/dev/null 2>&1").c_str()) == 0)
            return python;
    return {};
}

bool RunTool(const std::string& command)
{
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    EXPECT_EQ(status, 0) << command;
    return status == 0;
}

const char* const PillowToRgba =
    "import sys; from PIL import Image; open(sys.argv[2], 'wb').write(Image.open(sys.argv[1]).convert('RGBA').tobytes())";

// 16x16 random pixels holding every alpha value once.
Bytes EveryAlphaPicture()
{
    std::mt19937 rng(21);
    Bytes pixels = RandomBytes(rng, 16 * 16 * 4);
    for (int i = 0; i < 256; ++i)
        pixels[std::size_t(i) * 4 + 3] = std::uint8_t(i);
    return pixels;
}

// Reads path with ReadTGA and compares it with what the tool's own reading gave (RGBA).
void ExpectSameAsTool(const std::string& tga, const std::string& rgbaDump, std::uint32_t w, std::uint32_t h)
{
    Picture p;
    ASSERT_EQ(ReadTGA(tga.c_str(), p.Get()), TgaOk);
    ASSERT_EQ(p.Width(), w);
    ASSERT_EQ(p.Height(), h);
    EXPECT_EQ(SwapRedBlue(p.Packed()), ReadBytes(rgbaDump));
}

// Checks that ImageMagick and Pillow, those of them installed, read the file as rgba.
void ExpectToolsRead(const std::string& magick, const std::string& python, const TempDir& dir, const std::string& path, const Bytes& rgba)
{
    if (!magick.empty() && RunTool(magick + " '" + path + "' -auto-orient -depth 8 'rgba:" + (dir / "im.raw") + "'")) {
        EXPECT_EQ(ReadBytes(dir / "im.raw"), rgba) << "ImageMagick";
    }
    if (!python.empty() && RunTool(python + " -c \"" + PillowToRgba + "\" '" + path + "' '" + (dir / "pil.raw") + "'")) {
        EXPECT_EQ(ReadBytes(dir / "pil.raw"), rgba) << "Pillow";
    }
}

TEST(TargaInterop, OurFilesReadTheSameInImageMagickAndPillow)
{
    const std::string magick = ImageMagick();
    const std::string python = PythonWithPillow();
    if (magick.empty() && python.empty())
        GTEST_SKIP() << "neither ImageMagick nor Pillow is installed";
    TempDir dir;
    Bytes invisible = EveryAlphaPicture();
    for (std::size_t i = 3; i < invisible.size(); i += 4)
        invisible[i] = 0;
    for (const Bytes& pixels : {EveryAlphaPicture(), invisible}) {
        Picture source(16, 16, pixels);
        const std::string path = dir / "ours.tga";
        ASSERT_EQ(WriteTGA(path.c_str(), source.Get(), 1), TgaOk);
        ExpectToolsRead(magick, python, dir, path, SwapRedBlue(pixels));
    }
}

// The alpha variants marked in the table as read alike by both: on the others they part from
// this reader, or from each other.
TEST(TargaInterop, AlphaVariantsReadAsBothToolsReadThem)
{
    const std::string magick = ImageMagick();
    const std::string python = PythonWithPillow();
    if (magick.empty() || python.empty())
        GTEST_SKIP() << "ImageMagick and Pillow are not both installed";
    TempDir dir;
    for (const Variant& v : AlphaVariants()) {
        if (!v.sameInTools)
            continue;
        SCOPED_TRACE(v.name);
        const std::string path = dir / "v.tga";
        WriteBytes(path, v.file);
        ExpectToolsRead(magick, python, dir, path, SwapRedBlue(v.bgra));
    }
}

TEST(TargaInterop, ImageMagickFilesReadAsImageMagickReadsThem)
{
    const std::string magick = ImageMagick();
    if (magick.empty())
        GTEST_SKIP() << "ImageMagick is not installed";
    TempDir dir;
    const std::string source = dir / "source.raw";
    WriteBytes(source, SwapRedBlue(EveryAlphaPicture()));
    const std::pair<const char*, const char*> variants[] = {
        {"32-bit", ""},
        {"32-bit top-left", "-orient TopLeft"},
        {"32-bit RLE", "-compress RLE"},
        {"24-bit", "-alpha off"},
        {"24-bit RLE top-left", "-alpha off -compress RLE -orient TopLeft"},
        {"grey", "-alpha off -type Grayscale"},
        {"colour-mapped", "-alpha off -colors 40 -type Palette"},
        {"colour-mapped RLE", "-alpha off -colors 40 -type Palette -compress RLE"},
    };
    for (const auto& [name, options] : variants) {
        SCOPED_TRACE(name);
        const std::string tga = dir / "im.tga";
        const std::string dump = dir / "im.raw";
        if (RunTool(magick + " -size 16x16 -depth 8 'rgba:" + source + "' " + options + " '" + tga + "'") &&
            RunTool(magick + " '" + tga + "' -auto-orient -depth 8 'rgba:" + dump + "'"))
            ExpectSameAsTool(tga, dump, 16, 16);
    }
}

TEST(TargaInterop, PillowFilesReadAsPillowReadsThem)
{
    const std::string python = PythonWithPillow();
    if (python.empty())
        GTEST_SKIP() << "Pillow is not installed";
    TempDir dir;
    const std::string source = dir / "source.raw";
    WriteBytes(source, SwapRedBlue(EveryAlphaPicture()));
    const char* const save =
        "import sys; from PIL import Image;"
        "im = Image.frombytes('RGBA', (16, 16), open(sys.argv[1], 'rb').read());"
        "im = im.convert('RGB').quantize(40) if sys.argv[3] == 'P' else im.convert(sys.argv[3]);"
        "im.save(sys.argv[2], rle=sys.argv[4] == 'rle', orientation=int(sys.argv[5]))";
    for (const char* mode : {"RGBA", "RGB", "L", "LA", "P"}) {
        for (const char* rle : {"raw", "rle"}) {
            for (const char* orientation : {"-1", "1"}) {
                SCOPED_TRACE(std::string(mode) + " " + rle + " orientation " + orientation);
                const std::string tga = dir / "pil.tga";
                const std::string dump = dir / "pil.raw";
                if (RunTool(python + " -c \"" + save + "\" '" + source + "' '" + tga + "' " + mode + " " + rle + " " + orientation) &&
                    RunTool(python + " -c \"" + PillowToRgba + "\" '" + tga + "' '" + dump + "'"))
                    ExpectSameAsTool(tga, dump, 16, 16);
            }
        }
    }
}

} // namespace
} // namespace packsmith::test
