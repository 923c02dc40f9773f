#include "testing/PictureFixtures.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <random>

namespace packsmith {
namespace {

using Colour = std::array<double, 3>; // blue, green, red

class Canvas {
public:
    Canvas(std::uint32_t width, std::uint32_t height)
        : width_(width), height_(height), bytes_(std::size_t{width} * height * 4, 0)
    {
    }

    std::uint32_t Width() const { return width_; }
    std::uint32_t Height() const { return height_; }
    std::uint8_t* At(std::uint32_t x, std::uint32_t y) { return bytes_.data() + (std::size_t{y} * width_ + x) * 4; }

    // Covers the pixel with colour by coverage (0 to 1), making it opaque where covered.
    void Blend(std::uint32_t x, std::uint32_t y, const Colour& colour, double coverage)
    {
        if (coverage <= 0)
            return;
        std::uint8_t* p = At(x, y);
        for (int c = 0; c < 3; ++c)
            p[c] = Byte(p[c] + (colour[c] - p[c]) * std::min(coverage, 1.0));
        if (coverage > 0)
            p[3] = 255;
    }

    void Fill(std::uint32_t x0, std::uint32_t y0, std::uint32_t x1, std::uint32_t y1, const Colour& colour)
    {
        for (std::uint32_t y = y0; y < std::min(y1, height_); ++y)
            for (std::uint32_t x = x0; x < std::min(x1, width_); ++x)
                Blend(x, y, colour, 1);
    }

    static std::uint8_t Byte(double v) { return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0l, 255l)); }

    std::vector<std::uint8_t> Take() { return std::move(bytes_); }

private:
    std::uint32_t width_, height_;
    std::vector<std::uint8_t> bytes_;
};

double Uniform(std::mt19937& rng, double low, double high)
{
    return std::uniform_real_distribution<double>(low, high)(rng);
}

Colour RandomColour(std::mt19937& rng)
{
    return {Uniform(rng, 0, 255), Uniform(rng, 0, 255), Uniform(rng, 0, 255)};
}

// Distance from p to the segment a-b.
double SegmentDistance(double px, double py, double ax, double ay, double bx, double by)
{
    const double dx = bx - ax, dy = by - ay;
    const double length = dx * dx + dy * dy;
    const double t = length == 0 ? 0 : std::clamp(((px - ax) * dx + (py - ay) * dy) / length, 0.0, 1.0);
    return std::hypot(px - ax - t * dx, py - ay - t * dy);
}

std::vector<std::uint8_t> Photo(std::uint32_t width, std::uint32_t height, std::mt19937& rng)
{
    Canvas canvas(width, height);
    // A sky-like gradient with slow waves, then soft-edged shaded shapes, then noise.
    const Colour top = RandomColour(rng), bottom = RandomColour(rng);
    std::array<double, 6> wave;
    for (double& w : wave)
        w = Uniform(rng, 0.002, 0.02);
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x) {
            const double t = static_cast<double>(y) / height;
            Colour c;
            for (int k = 0; k < 3; ++k)
                c[k] = top[k] + (bottom[k] - top[k]) * t + 20 * std::sin(wave[k] * x + wave[k + 3] * y);
            canvas.Blend(x, y, c, 1);
        }
    for (int shape = 0; shape < 14; ++shape) {
        const double cx = Uniform(rng, 0, width), cy = Uniform(rng, 0, height);
        const double rx = Uniform(rng, 0.04, 0.25) * width, ry = Uniform(rng, 0.04, 0.3) * height;
        const double softness = Uniform(rng, 1.5, 12);
        const Colour colour = RandomColour(rng);
        const double lightX = Uniform(rng, -1, 1), lightY = Uniform(rng, -1, 1);
        for (std::uint32_t y = 0; y < height; ++y)
            for (std::uint32_t x = 0; x < width; ++x) {
                const double u = (x - cx) / rx, v = (y - cy) / ry;
                const double r = std::sqrt(u * u + v * v);
                const double coverage = std::clamp((1 - r) * std::min(rx, ry) / softness, 0.0, 1.0);
                if (coverage <= 0)
                    continue;
                const double shade = 1 + 0.35 * (u * lightX + v * lightY);
                canvas.Blend(x, y, {colour[0] * shade, colour[1] * shade, colour[2] * shade}, coverage);
            }
    }
    std::uniform_int_distribution<int> noise(-2, 2);
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x) {
            std::uint8_t* p = canvas.At(x, y);
            for (int c = 0; c < 3; ++c)
                p[c] = Canvas::Byte(p[c] + noise(rng));
        }
    return canvas.Take();
}

std::vector<std::uint8_t> Interface(std::uint32_t width, std::uint32_t height, std::mt19937& rng)
{
    Canvas canvas(width, height);
    std::vector<Colour> palette(6);
    for (Colour& c : palette)
        c = RandomColour(rng);
    canvas.Fill(0, 0, width, height, palette[0]);
    // Glyphs: a few strokes each in a cell of 7 x 11 pixels, used over and over.
    struct Stroke {
        double Ax, Ay, Bx, By;
    };
    std::vector<std::vector<Stroke>> glyphs(48);
    for (auto& glyph : glyphs) {
        const int strokes = 1 + static_cast<int>(rng() % 3);
        for (int s = 0; s < strokes; ++s)
            glyph.push_back({Uniform(rng, 0.5, 5.5), Uniform(rng, 1, 9), Uniform(rng, 0.5, 5.5), Uniform(rng, 1, 9)});
    }
    const int panels = 4 + static_cast<int>(rng() % 4);
    for (int panel = 0; panel < panels; ++panel) {
        const std::uint32_t x0 = rng() % (width * 3 / 4), y0 = rng() % (height * 3 / 4);
        const std::uint32_t x1 = std::min(width, x0 + 80 + static_cast<std::uint32_t>(rng() % (width / 2)));
        const std::uint32_t y1 = std::min(height, y0 + 40 + static_cast<std::uint32_t>(rng() % (height / 2)));
        const Colour& fill = palette[1 + rng() % 3];
        const Colour& border = palette[4];
        canvas.Fill(x0, y0, x1, y1, border);
        canvas.Fill(x0 + 2, y0 + 2, x1 - 2, y1 - 2, fill);
        canvas.Fill(x0 + 2, y0 + 2, x1 - 2, std::min(y1 - 2, y0 + 16), palette[(panel + 2) % 4]); // title bar
        // Lines of text.
        const Colour& ink = palette[5];
        for (std::uint32_t line = y0 + 20; line + 12 < y1 - 4; line += 14) {
            std::uint32_t x = x0 + 6;
            while (x + 8 < x1 - 6) {
                if (rng() % 7 == 0) { // a space
                    x += 5;
                    continue;
                }
                const auto& glyph = glyphs[rng() % glyphs.size()];
                for (std::uint32_t gy = 0; gy < 11; ++gy)
                    for (std::uint32_t gx = 0; gx < 7; ++gx) {
                        double distance = 1e9;
                        for (const Stroke& s : glyph)
                            distance = std::min(distance, SegmentDistance(gx + 0.5, gy + 0.5, s.Ax, s.Ay, s.Bx, s.By));
                        canvas.Blend(x + gx, line + gy, ink, 1.2 - distance); // strokes about 1.4 pixels wide
                    }
                x += 7;
            }
        }
    }
    return canvas.Take();
}

std::vector<std::uint8_t> Sprites(std::uint32_t width, std::uint32_t height, std::mt19937& rng)
{
    Canvas canvas(width, height); // transparent black
    for (int sprite = 0; sprite < 40; ++sprite) {
        const double cx = Uniform(rng, 0, width), cy = Uniform(rng, 0, height);
        const double rx = Uniform(rng, 12, 70), ry = Uniform(rng, 12, 70);
        const double power = Uniform(rng, 1.5, 4); // rounder or squarer
        const Colour body = RandomColour(rng), outline = {body[0] * 0.3, body[1] * 0.3, body[2] * 0.3};
        const auto x0 = static_cast<std::uint32_t>(std::max(0.0, cx - rx - 2));
        const auto y0 = static_cast<std::uint32_t>(std::max(0.0, cy - ry - 2));
        for (std::uint32_t y = y0; y < std::min<double>(height, cy + ry + 2); ++y)
            for (std::uint32_t x = x0; x < std::min<double>(width, cx + rx + 2); ++x) {
                const double u = std::abs((x - cx) / rx), v = std::abs((y - cy) / ry);
                const double r = std::pow(std::pow(u, power) + std::pow(v, power), 1 / power);
                if (r > 1)
                    continue; // hard edge: a pixel is in or out
                const double shade = 1.15 - 0.6 * r + 0.25 * ((cx - x) / rx + (cy - y) / ry) * 0.5;
                const bool edge = r > 1 - 1.5 / std::min(rx, ry);
                const Colour c = edge ? outline : Colour{body[0] * shade, body[1] * shade, body[2] * shade};
                canvas.Blend(x, y, c, 1);
            }
    }
    return canvas.Take();
}

} // namespace

std::vector<std::uint8_t> MakePicture(PictureKind kind, std::uint32_t width, std::uint32_t height, std::uint32_t seed)
{
    std::mt19937 rng(seed);
    switch (kind) {
    case PictureKind::Photo:
        return Photo(width, height, rng);
    case PictureKind::Interface:
        return Interface(width, height, rng);
    default:
        return Sprites(width, height, rng);
    }
}

} // namespace packsmith
