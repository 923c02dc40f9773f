// packsmith-samples DIR: writes a sample of each packed format into DIR, to try the tool on.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include "core/FilesystemPath.h"
#include "formats/wac/WacEncoder.h"
#include "formats/was/WasEncoder.h"
#include "platform/CommandLine.h"
#include "testing/ImageEncoder.h"
#include "testing/ImagePackBuilder.h"

namespace {

using namespace packsmith;

// Two seconds of a chord that fades out.
std::vector<std::int16_t> Chord()
{
    std::vector<std::int16_t> samples(44100);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double t = static_cast<double>(i) / 22050;
        const double fade = 1 - t / 2;
        samples[i] = static_cast<std::int16_t>(fade * (6000 * std::sin(2 * std::numbers::pi * 262 * t) +
                                                       5000 * std::sin(2 * std::numbers::pi * 330 * t) +
                                                       4000 * std::sin(2 * std::numbers::pi * 392 * t)));
    }
    return samples;
}

// A picture with a transparent margin, a gradient and a checkered inset.
std::vector<std::uint32_t> Picture(std::uint32_t width, std::uint32_t height, std::uint32_t seed)
{
    std::vector<std::uint32_t> pixels(std::size_t{width} * height, 0);
    for (std::uint32_t y = 2; y + 2 < height; ++y)
        for (std::uint32_t x = 4; x + 4 < width; ++x) {
            const std::uint32_t blue = (x * 112 / width + seed * 9) & 0x7E;
            const std::uint32_t green = (y * 112 / height) & 0x7E;
            const std::uint32_t red = ((x / 8 + y / 8 + seed) % 2) ? 0x70 : 0x20;
            pixels[std::size_t{y} * width + x] = 0xFE000000u | red << 16 | green << 8 | blue;
        }
    return pixels;
}

void Save(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + packsmith::PathText(path));
    std::printf("%s\n", packsmith::PathText(path).c_str());
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments = packsmith::CommandLineArguments(argc, argv);
    if (arguments.size() != 1) {
        std::fprintf(stderr, "Usage: packsmith-samples DIR\nWrites chord.wac, theme.was and sprites.at3 into DIR.\n");
        return 2;
    }
    try {
        const std::filesystem::path directory = packsmith::FilesystemPath(arguments[0]);
        std::filesystem::create_directories(directory);
        const auto chord = Chord();
        Save(directory / "chord.wac", EncodeWacFile(chord));
        Save(directory / "theme.was", EncodeWasFile(chord));

        // Every mode, and stored names that show how they become files: a directory part,
        // a lower-case extension, a name used twice, one without an extension.
        struct Sample {
            const char* Name;
            std::uint32_t Width, Height;
            bool HalfRows;
            int BlockWidth;
        };
        const Sample samples[] = {
            {"GFX\\TITLE.BMP", 64, 32, false, 4}, {"GFX\\TITLE.BMP", 64, 32, true, 4},
            {"logo.pcx", 48, 24, false, 2},       {"icons/ship.bmp", 32, 32, true, 2},
            {"README", 16, 8, false, 4},
        };
        std::vector<PackPicture> pictures;
        std::uint32_t seed = 0;
        for (const Sample& sample : samples) {
            ImageEncoderOptions options;
            options.HalfRows = sample.HalfRows;
            options.BlockWidth = sample.BlockWidth;
            options.Seed = ++seed;
            const auto pixels = Picture(sample.Width, sample.Height, seed);
            pictures.push_back({sample.Name, EncodeImageRecord(sample.Width, sample.Height, pixels, options).Record});
        }
        Save(directory / "sprites.at3", BuildImagePack(pictures));
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "packsmith-samples: %s\n", e.what());
        return 1;
    }
}
