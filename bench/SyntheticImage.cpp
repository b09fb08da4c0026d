// Synthetic benchmark image, built row by row in double precision and stored as 16-bit RGBA.
#include "SyntheticImage.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

uint64_t SplitMix(uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// A stream of doubles in [0, 1) from one seed.
class Random {
public:
    explicit Random(uint64_t seed) : m_state(SplitMix(seed)) {}
    double Next()
    {
        m_state = SplitMix(m_state);
        return double(m_state >> 11) * 0x1.0p-53;
    }
    double Range(double low, double high) { return low + (high - low) * Next(); }

private:
    uint64_t m_state;
};

// A hash of lattice coordinates in [0, 1): the corners of the value-noise texture.
double Lattice(uint64_t seed, int64_t x, int64_t y)
{
    const uint64_t h = SplitMix(seed ^ SplitMix(uint64_t(x) * 0x632BE59BD9B4E019ull + uint64_t(y)));
    return double(h >> 11) * 0x1.0p-53;
}

// Smooth noise with one value per cell corner, interpolated with a smoothstep.
double ValueNoise(uint64_t seed, double x, double y)
{
    const double fx = std::floor(x);
    const double fy = std::floor(y);
    const int64_t ix = int64_t(fx);
    const int64_t iy = int64_t(fy);
    double tx = x - fx;
    double ty = y - fy;
    tx = tx * tx * (3 - 2 * tx);
    ty = ty * ty * (3 - 2 * ty);
    const double a = Lattice(seed, ix, iy);
    const double b = Lattice(seed, ix + 1, iy);
    const double c = Lattice(seed, ix, iy + 1);
    const double d = Lattice(seed, ix + 1, iy + 1);
    return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty;
}

// Background: a tilted gradient plus three separable cosine waves per channel.
struct Wave {
    double amplitude;
    std::vector<double> alongX;  // cos(2 pi (f x / width + phase)) per column
    std::vector<double> alongY;
};

struct Shape {
    bool ellipse;
    double left, top, right, bottom;      // bounding box in pixels
    std::array<double, 3> from, to;       // colours at the left and right edge
    double opacity;                       // how much of the background it covers
    double alpha;                         // its own alpha
};

}  // namespace

VxBenchImage VxBench_GenerateImage(uint32_t width, uint32_t height, uint64_t seed)
{
    VxBenchImage image;
    image.width = width;
    image.height = height;
    image.rgba.resize(size_t(width) * height * 4);
    Random random(seed);

    std::array<std::array<double, 3>, 3> slope{};  // per channel: offset, x slope, y slope
    std::array<std::vector<Wave>, 3> waves;
    for (int c = 0; c < 3; ++c) {
        slope[c] = {random.Range(0.3, 0.6), random.Range(-0.25, 0.25), random.Range(-0.25, 0.25)};
        for (int k = 0; k < 3; ++k) {
            Wave wave{random.Range(0.04, 0.12), std::vector<double>(width), std::vector<double>(height)};
            const double fx = random.Range(0.5, 3.5), px = random.Next();
            const double fy = random.Range(0.5, 3.5), py = random.Next();
            for (uint32_t x = 0; x < width; ++x)
                wave.alongX[x] = std::cos(2 * kPi * (fx * x / width + px));
            for (uint32_t y = 0; y < height; ++y)
                wave.alongY[y] = std::cos(2 * kPi * (fy * y / height + py));
            waves[c].push_back(std::move(wave));
        }
    }

    // Shapes from large to small, so that small ones sit on top.
    std::vector<Shape> shapes;
    const int shapeCount = 56;
    for (int i = 0; i < shapeCount; ++i) {
        const double scale = 0.45 * std::pow(0.94, i);
        const double w = std::max(2.0, width * scale * random.Range(0.4, 1.0));
        const double h = std::max(2.0, height * scale * random.Range(0.4, 1.0));
        const double left = random.Range(-0.1 * w, width - 0.9 * w);
        const double top = random.Range(-0.1 * h, height - 0.9 * h);
        Shape shape{random.Next() < 0.5, left, top, left + w, top + h, {}, {}, 0, 0};
        for (int c = 0; c < 3; ++c) {
            shape.from[size_t(c)] = random.Range(0.05, 0.95);
            shape.to[size_t(c)] = std::clamp(shape.from[size_t(c)] + random.Range(-0.3, 0.3), 0.0, 1.0);
        }
        shape.opacity = random.Next() < 0.3 ? random.Range(0.35, 0.8) : 1.0;
        shape.alpha = random.Range(0.5, 1.0);
        shapes.push_back(shape);
    }

    const uint64_t textureSeed = SplitMix(seed ^ 0x7E57u);
    const uint64_t grainSeed = SplitMix(seed ^ 0x6A41u);
    const double coarse = std::max(width, height) / 24.0;  // texture cell sizes in pixels
    const double fine = 7.0;
    const double grainy = 2.5;
    std::vector<double> row(size_t(width) * 4);
    for (uint32_t y = 0; y < height; ++y) {
        const double v = double(y) / height;
        for (uint32_t x = 0; x < width; ++x) {
            const double u = double(x) / width;
            const double texture = 0.06 * (ValueNoise(textureSeed, x / coarse, y / coarse) - 0.5);
            double* p = &row[size_t(x) * 4];
            for (int c = 0; c < 3; ++c) {
                double value = slope[c][0] + slope[c][1] * u + slope[c][2] * v + texture;
                for (const Wave& wave : waves[c])
                    value += wave.amplitude * wave.alongX[x] * wave.alongY[y];
                p[c] = value;
            }
            // Alpha: opaque in the middle, fading towards the corners.
            const double du = u - 0.5, dv = v - 0.5;
            p[3] = 1.0 - 0.7 * std::min(1.0, 2.0 * (du * du + dv * dv));
        }

        const double cy = y + 0.5;
        for (const Shape& shape : shapes) {
            if (cy < shape.top || cy >= shape.bottom)
                continue;
            double from = shape.left, to = shape.right;
            if (shape.ellipse) {
                const double ry = (cy - (shape.top + shape.bottom) / 2) / ((shape.bottom - shape.top) / 2);
                const double half = (shape.right - shape.left) / 2 * std::sqrt(std::max(0.0, 1 - ry * ry));
                from = (shape.left + shape.right) / 2 - half;
                to = (shape.left + shape.right) / 2 + half;
            }
            const int64_t x0 = std::max<int64_t>(0, int64_t(std::ceil(from - 0.5)));
            const int64_t x1 = std::min<int64_t>(width, int64_t(std::ceil(to - 0.5)));
            for (int64_t x = x0; x < x1; ++x) {
                const double t = (x + 0.5 - shape.left) / (shape.right - shape.left);
                double* p = &row[size_t(x) * 4];
                for (size_t c = 0; c < 3; ++c) {
                    const double colour = shape.from[c] + (shape.to[c] - shape.from[c]) * t;
                    p[c] += (colour - p[c]) * shape.opacity;
                }
                p[3] += (shape.alpha - p[3]) * shape.opacity;
            }
        }

        // Fine texture over everything (surfaces are not flat), then sensor noise: a shared
        // luminance part and a smaller per-channel part.
        uint64_t grain = SplitMix(grainSeed + y);
        uint16_t* out = image.rgba.data() + size_t(y) * width * 4;
        for (uint32_t x = 0; x < width; ++x) {
            grain = SplitMix(grain);
            const auto centred = [&grain](int shift) { return (double((grain >> shift) & 0xFFFF) - 32767.5) / 65536.0; };
            const double luminance = 0.04 * (ValueNoise(textureSeed + 1, x / fine, y / fine) - 0.5) +
                                     0.05 * (ValueNoise(textureSeed + 2, x / grainy, y / grainy) - 0.5) +
                                     0.016 * (centred(0) + centred(16));
            for (int c = 0; c < 4; ++c) {
                double value = row[size_t(x) * 4 + size_t(c)];
                if (c < 3)
                    value += luminance + 0.008 * centred(32 + 8 * c);
                out[size_t(x) * 4 + size_t(c)] = uint16_t(std::lround(std::clamp(value, 0.0, 1.0) * 65535));
            }
        }
    }
    return image;
}
