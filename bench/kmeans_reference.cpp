// What a plain k-means makes of a picture's blocks, for bench/real_pictures.sh to measure the
// record compressor against: the blocks of the layout a lossy record uses, each distinct one
// weighted by its count, the all-zero block left out (index 0 draws it for nothing), seeded
// by k-means++ and refined by Lloyd's passes until no block changes its centroid (at most 300
// passes), with 4,095 centroids of any real value. The cost of the indices is ignored.
// Hamerly's bounds spare most distance computations; the result is Lloyd's. Its PSNR is
// given twice: with the centroids rounded to whole bytes, as a record's table would hold
// them (each block drawn as the nearest), and as they are.
//
//   kmeans_reference PICTURE.tga...   prints one line per picture: NAME PSNR_AS_BYTES PSNR,
//                                     or NAME exact
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "formats/imagepack/compress/DistinctBlocks.h"
#include "formats/imagepack/compress/PictureLayout.h"
#include "formats/tga/Bitmap32.h"
#include "formats/tga/TgaLibrary.h"

namespace packsmith::bench {
namespace {

constexpr int kDims = 16;
constexpr std::size_t kCentroids = 4095;
constexpr int kMostPasses = 300;

using Point = std::array<float, kDims>;

float SquaredDistance(const Point& a, const Point& b)
{
    float sum = 0;
    for (int d = 0; d < kDims; ++d)
        sum += (a[d] - b[d]) * (a[d] - b[d]);
    return sum;
}

// k-means++: the first centroid drawn by weight, each next one by weight times the squared
// distance to the nearest centroid so far.
std::vector<Point> Seed(const std::vector<Point>& points, const std::vector<double>& weights, std::mt19937_64& random)
{
    std::vector<Point> centroids;
    std::vector<double> nearest(points.size(), std::numeric_limits<double>::infinity());
    std::vector<double> chances(weights);
    while (centroids.size() < kCentroids) {
        std::discrete_distribution<std::size_t> draw(chances.begin(), chances.end());
        const Point chosen = points[draw(random)];
        centroids.push_back(chosen);
        for (std::size_t i = 0; i < points.size(); ++i) {
            nearest[i] = std::min<double>(nearest[i], SquaredDistance(points[i], chosen));
            chances[i] = weights[i] * nearest[i];
        }
    }
    return centroids;
}

// Lloyd's passes with Hamerly's bounds; the weighted sum of squared distances at the end.
double Lloyd(const std::vector<Point>& points, const std::vector<double>& weights, std::vector<Point>& centroids)
{
    const std::size_t n = points.size(), k = centroids.size();
    std::vector<std::uint32_t> owner(n, 0);
    std::vector<float> upper(n, std::numeric_limits<float>::infinity()), lower(n, 0);
    std::vector<float> half(k), moved(k);
    const auto closestTwo = [&](std::size_t i) {
        float best = std::numeric_limits<float>::infinity(), second = best;
        std::uint32_t which = 0;
        for (std::size_t j = 0; j < k; ++j) {
            const float d = SquaredDistance(points[i], centroids[j]);
            if (d < best) {
                second = best;
                best = d;
                which = static_cast<std::uint32_t>(j);
            } else if (d < second) {
                second = d;
            }
        }
        owner[i] = which;
        upper[i] = std::sqrt(best);
        lower[i] = std::sqrt(second);
    };
    for (std::size_t i = 0; i < n; ++i)
        closestTwo(i);
    for (int pass = 0; pass < kMostPasses; ++pass) {
        // Each centroid moves to the weighted mean of its points.
        std::vector<std::array<double, kDims>> sums(k);
        std::vector<double> mass(k, 0);
        for (std::size_t i = 0; i < n; ++i) {
            mass[owner[i]] += weights[i];
            for (int d = 0; d < kDims; ++d)
                sums[owner[i]][d] += weights[i] * points[i][d];
        }
        float farthest = 0;
        for (std::size_t j = 0; j < k; ++j) {
            Point next = centroids[j];
            if (mass[j] > 0)
                for (int d = 0; d < kDims; ++d)
                    next[d] = static_cast<float>(sums[j][d] / mass[j]);
            moved[j] = std::sqrt(SquaredDistance(next, centroids[j]));
            farthest = std::max(farthest, moved[j]);
            centroids[j] = next;
        }
        for (std::size_t i = 0; i < n; ++i) {
            upper[i] += moved[owner[i]];
            lower[i] -= farthest;
        }
        for (std::size_t j = 0; j < k; ++j) {
            float closest = std::numeric_limits<float>::infinity();
            for (std::size_t other = 0; other < k; ++other)
                if (other != j)
                    closest = std::min(closest, SquaredDistance(centroids[j], centroids[other]));
            half[j] = std::sqrt(closest) / 2;
        }
        // A point whose bounds show its centroid is still the nearest is not looked at.
        std::size_t changed = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const float bound = std::max(half[owner[i]], lower[i]);
            if (upper[i] <= bound)
                continue;
            upper[i] = std::sqrt(SquaredDistance(points[i], centroids[owner[i]]));
            if (upper[i] <= bound)
                continue;
            const std::uint32_t was = owner[i];
            closestTwo(i);
            changed += owner[i] != was;
        }
        if (changed == 0)
            break;
    }
    double squares = 0;
    for (std::size_t i = 0; i < n; ++i)
        squares += weights[i] * SquaredDistance(points[i], centroids[owner[i]]);
    return squares;
}

// The same with the centroids as a record's table holds them, in whole bytes, each point
// drawn as the nearest of them.
double AsBytes(const std::vector<Point>& points, const std::vector<double>& weights, std::vector<Point> centroids)
{
    for (Point& centroid : centroids)
        for (float& value : centroid)
            value = std::clamp(std::nearbyint(value), 0.0f, 255.0f);
    double squares = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        float best = std::numeric_limits<float>::infinity();
        for (const Point& centroid : centroids)
            best = std::min(best, SquaredDistance(points[i], centroid));
        squares += weights[i] * best;
    }
    return squares;
}

} // namespace
} // namespace packsmith::bench

int main(int argc, char** argv)
{
    using namespace packsmith;
    const TgaLibrary codec;
    for (int a = 1; a < argc; ++a) {
        Bitmap32 bitmap;
        codec.Read(argv[a], *bitmap.ForCodec());
        const PictureLayout layout = PictureLayouts(bitmap.Width(), bitmap.Height()).back();
        std::vector<PixelBlock> blocks;
        GatherBlocks(layout, bitmap.Width(), bitmap.Height(), bitmap.Row(0), bitmap.RowBytes(), blocks);
        DistinctBlocks distinct;
        for (const PixelBlock& block : blocks)
            distinct.Add(block);
        std::vector<bench::Point> points;
        std::vector<double> weights;
        for (std::size_t b = 0; b < distinct.Size(); ++b) {
            if (distinct.Blocks()[b] == PixelBlock{})
                continue;
            bench::Point point;
            for (int d = 0; d < bench::kDims; ++d)
                point[d] = static_cast<float>((distinct.Blocks()[b][d / 4] >> (8 * (d % 4))) & 0xFF);
            points.push_back(point);
            weights.push_back(distinct.Counts()[b]);
        }
        const std::string name = std::filesystem::path(argv[a]).stem().string();
        if (points.size() <= bench::kCentroids) {
            std::printf("%s exact\n", name.c_str());
        } else {
            std::mt19937_64 random(1);
            std::vector<bench::Point> centroids = bench::Seed(points, weights, random);
            const double samples = static_cast<double>(bitmap.Width()) * bitmap.Height() * 4;
            const auto psnr = [&](double squares) { return 10 * std::log10(255.0 * 255.0 * samples / squares); };
            const double squares = bench::Lloyd(points, weights, centroids);
            std::printf("%s %.4f %.4f\n", name.c_str(), psnr(bench::AsBytes(points, weights, centroids)),
                        psnr(squares));
        }
        std::fflush(stdout);
    }
    return 0;
}
