// panorama: draws the launcher's full-sky star field, an equirectangular picture
// with the Milky Way along its middle, and writes it as a progressive JPEG.
//   panorama <output file> [seed]
// The picture depends on the seed alone: the same seed gives the same bytes.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include <jpeglib.h>

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 3000;
constexpr double kPi = 3.14159265358979323846;

// The band's soft light and dust vary slowly, so they are worked out on a grid a
// quarter of the size and interpolated.
constexpr int kBandScale = 4;
constexpr int kBandWidth = kWidth / kBandScale;
constexpr int kBandHeight = kHeight / kBandScale;

constexpr int kFieldStars = 140000;
constexpr int kBandStars = 260000;
constexpr int kFaintBandStars = 1200000;

struct Rgb {
    float r, g, b;
};

// splitmix64: small, fast and the same on every compiler.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t Next()
    {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1).
    double Uniform() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }
    // Standard normal, by Box-Muller.
    double Normal()
    {
        const double u = 1.0 - Uniform();
        return std::sqrt(-2.0 * std::log(u)) * std::cos(2.0 * kPi * Uniform());
    }

private:
    uint64_t state_;
};

uint32_t Hash(uint32_t x, uint32_t y, uint32_t seed)
{
    uint32_t h = x * 0x8DA6B343u ^ y * 0xD8163841u ^ seed * 0xCB1AB31Fu;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}

double Lattice(int x, int y, int periodX, uint32_t seed)
{
    x %= periodX;
    if (x < 0) {
        x += periodX;
    }
    return Hash(static_cast<uint32_t>(x), static_cast<uint32_t>(y), seed) * (1.0 / 4294967296.0);
}

// Value noise in [0, 1), periodic in x with the given period in cells, so that
// the picture joins seamlessly where longitude wraps.
double ValueNoise(double x, double y, int periodX, uint32_t seed)
{
    const double fx = std::floor(x);
    const double fy = std::floor(y);
    const int ix = static_cast<int>(fx);
    const int iy = static_cast<int>(fy);
    double tx = x - fx;
    double ty = y - fy;
    tx = tx * tx * (3.0 - 2.0 * tx);
    ty = ty * ty * (3.0 - 2.0 * ty);
    const double a = Lattice(ix, iy, periodX, seed);
    const double b = Lattice(ix + 1, iy, periodX, seed);
    const double c = Lattice(ix, iy + 1, periodX, seed);
    const double d = Lattice(ix + 1, iy + 1, periodX, seed);
    return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty;
}

// Fractal noise in [0, 1) over longitude u in [0, 1) and latitude v in [0, 1).
double Fractal(double u, double v, int baseCells, int octaves, uint32_t seed)
{
    double sum = 0.0;
    double weight = 0.5;
    double total = 0.0;
    int cells = baseCells;
    for (int i = 0; i < octaves; ++i) {
        sum += weight * ValueNoise(u * cells, v * cells * 0.5, cells, seed + static_cast<uint32_t>(i));
        total += weight;
        weight *= 0.5;
        cells *= 2;
    }
    return sum / total;
}

double SmoothStep(double edge0, double edge1, double x)
{
    const double t = std::clamp((x - edge0) / (edge1 - edge0), 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}

// The Milky Way's diffuse light and its dust transmission over the coarse grid.
struct Band {
    std::vector<Rgb> light;
    std::vector<float> transmission;

    // Bilinear look-up in picture coordinates.
    template <typename T>
    static T Sample(const std::vector<T>& grid, double px, double py)
    {
        const double gx = px / kBandScale - 0.5;
        const double gy = std::clamp(py / kBandScale - 0.5, 0.0, kBandHeight - 1.0);
        const int x0 = static_cast<int>(std::floor(gx));
        const int y0 = std::min(static_cast<int>(gy), kBandHeight - 2);
        const float tx = static_cast<float>(gx - x0);
        const float ty = static_cast<float>(gy - y0);
        const int xa = (x0 % kBandWidth + kBandWidth) % kBandWidth;
        const int xb = (xa + 1) % kBandWidth;
        const T& a = grid[y0 * kBandWidth + xa];
        const T& b = grid[y0 * kBandWidth + xb];
        const T& c = grid[(y0 + 1) * kBandWidth + xa];
        const T& d = grid[(y0 + 1) * kBandWidth + xb];
        return Mix(Mix(a, b, tx), Mix(c, d, tx), ty);
    }
    static float Mix(float a, float b, float t) { return a + (b - a) * t; }
    static Rgb Mix(const Rgb& a, const Rgb& b, float t)
    {
        return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
    }
};

// Longitude 0 (the picture's middle) looks at the galactic centre.
Band MakeBand(uint32_t seed)
{
    Band band;
    band.light.resize(static_cast<size_t>(kBandWidth) * kBandHeight);
    band.transmission.resize(band.light.size());
    for (int y = 0; y < kBandHeight; ++y) {
        const double v = (y + 0.5) / kBandHeight;
        const double lat = kPi * (0.5 - v);
        for (int x = 0; x < kBandWidth; ++x) {
            const double u = (x + 0.5) / kBandWidth;
            const double lon = 2.0 * kPi * (u - 0.5);
            const double centre = 0.03 * std::sin(2.0 * lon) + 0.015 * std::sin(5.0 * lon + 1.0);
            const double dl = lat - centre;
            const double width = 0.11 + 0.05 * std::cos(lon);
            const double disc = std::exp(-dl * dl / (2.0 * width * width));
            const double halo = 0.25 * std::exp(-dl * dl / (2.0 * 0.4 * 0.4));
            const double bulge = std::exp(-(lon * lon) / (2.0 * 0.32 * 0.32) - (dl * dl) / (2.0 * 0.16 * 0.16));
            double light = 0.0;
            double dust = 0.0;
            if (disc + halo + bulge > 1e-4) {
                const double clumps = Fractal(u, v, 24, 6, seed);
                const double wisps = Fractal(u, v, 64, 5, seed + 101);
                light = (disc * (0.35 + 1.1 * clumps * clumps) + halo * (0.6 + 0.6 * clumps)) * 0.5 + bulge * (0.8 + 0.6 * clumps);
                // Dust lanes: ridges of noise, thickest along the band's midline.
                const double ridge = 1.0 - std::fabs(2.0 * wisps - 1.0);
                const double rift = std::exp(-(dl + 0.012) * (dl + 0.012) / (2.0 * 0.035 * 0.035));
                dust = (0.6 * SmoothStep(0.6, 0.95, ridge) * std::exp(-dl * dl / (2.0 * 0.07 * 0.07)) +
                        0.5 * rift * SmoothStep(0.4, 0.8, clumps)) * std::min(1.0, 2.0 * disc + bulge);
            }
            const double warmth = std::clamp(bulge * 1.4 + 0.25 * disc, 0.0, 1.0);
            const Rgb cool{0.62f, 0.70f, 0.95f};
            const Rgb warm{1.00f, 0.80f, 0.55f};
            const Rgb colour = Band::Mix(cool, warm, static_cast<float>(warmth));
            const double t = std::clamp(1.0 - dust, 0.0, 1.0);
            // Dust reddens what it lets through.
            const size_t i = static_cast<size_t>(y) * kBandWidth + x;
            const float amount = static_cast<float>(0.22 * light);
            band.light[i] = {colour.r * amount * static_cast<float>(std::pow(t, 1.0)),
                             colour.g * amount * static_cast<float>(std::pow(t, 1.25)),
                             colour.b * amount * static_cast<float>(std::pow(t, 1.6))};
            band.transmission[i] = static_cast<float>(t);
        }
    }
    return band;
}

class Canvas {
public:
    Canvas() : pixels_(static_cast<size_t>(kWidth) * kHeight, Rgb{0.0f, 0.0f, 0.0f}) {}

    Rgb& At(int x, int y) { return pixels_[static_cast<size_t>(y) * kWidth + x]; }

    // A round star on the sphere: the picture stretches it along the rows by
    // 1 / cos(latitude).
    void Star(double px, double py, double flux, const Rgb& colour)
    {
        const double lat = kPi * (0.5 - py / kHeight);
        const double stretch = std::min(1.0 / std::max(std::cos(lat), 1e-3), 48.0);
        const double sigma = 0.55;
        const bool halo = flux > 1.5;
        const double reach = halo ? 7.0 : 2.2;
        const int rx = static_cast<int>(std::ceil(reach * stretch));
        const int ry = static_cast<int>(std::ceil(reach));
        const int cx = static_cast<int>(std::floor(px));
        const int cy = static_cast<int>(std::floor(py));
        for (int dy = -ry; dy <= ry; ++dy) {
            const int y = cy + dy;
            if (y < 0 || y >= kHeight) {
                continue;
            }
            const double oy = y + 0.5 - py;
            for (int dx = -rx; dx <= rx; ++dx) {
                const double ox = (cx + dx + 0.5 - px) / stretch;
                const double r2 = ox * ox + oy * oy;
                double value = flux * std::exp(-r2 / (2.0 * sigma * sigma));
                if (halo) {
                    value += 0.03 * flux * std::exp(-r2 / (2.0 * 2.2 * 2.2));
                }
                if (value < 1e-4) {
                    continue;
                }
                Rgb& p = At(((cx + dx) % kWidth + kWidth) % kWidth, y);
                p.r += static_cast<float>(value * colour.r);
                p.g += static_cast<float>(value * colour.g);
                p.b += static_cast<float>(value * colour.b);
            }
        }
    }

    const std::vector<Rgb>& Pixels() const { return pixels_; }

private:
    std::vector<Rgb> pixels_;
};

Rgb StarColour(Random& random)
{
    static const Rgb kColours[] = {
        {0.62f, 0.72f, 1.00f}, // hot blue
        {0.80f, 0.87f, 1.00f}, // blue-white
        {1.00f, 1.00f, 1.00f}, // white
        {1.00f, 0.94f, 0.80f}, // yellow-white
        {1.00f, 0.82f, 0.60f}, // orange
        {1.00f, 0.66f, 0.48f}, // red
    };
    static const double kShare[] = {0.08, 0.20, 0.30, 0.22, 0.14, 0.06};
    double pick = random.Uniform();
    for (int i = 0; i < 5; ++i) {
        if (pick < kShare[i]) {
            return kColours[i];
        }
        pick -= kShare[i];
    }
    return kColours[5];
}

// Many faint stars, a few bright ones.
double StarFlux(Random& random, double faintest)
{
    const double u = 1.0 - random.Uniform();
    return std::min(faintest * std::pow(u, -0.85), 12.0);
}

void DrawStars(Canvas& canvas, const Band& band, uint64_t seed)
{
    Random random(seed);
    // Spread evenly over the sphere.
    for (int i = 0; i < kFieldStars; ++i) {
        const double px = random.Uniform() * kWidth;
        const double py = std::acos(1.0 - 2.0 * random.Uniform()) / kPi * kHeight;
        const double flux = StarFlux(random, 0.06);
        canvas.Star(px, py, flux, StarColour(random));
    }
    // Crowded towards the band and its bulge, dimmed by its dust.
    for (int i = 0; i < kBandStars; ++i) {
        const double lon = random.Uniform() < 0.3 ? random.Normal() * 0.45 : (random.Uniform() - 0.5) * 2.0 * kPi;
        const double lat = random.Normal() * 0.13;
        const double px = std::fmod((lon / (2.0 * kPi) + 0.5) * kWidth + kWidth, kWidth);
        const double py = std::clamp((0.5 - lat / kPi) * kHeight, 0.0, kHeight - 1e-6);
        const double flux = StarFlux(random, 0.045) * Band::Sample(band.transmission, px, py);
        canvas.Star(px, py, flux, StarColour(random));
    }
    // The band's grain: unresolved stars, one pixel each.
    for (int i = 0; i < kFaintBandStars; ++i) {
        const double lon = random.Uniform() < 0.35 ? random.Normal() * 0.4 : (random.Uniform() - 0.5) * 2.0 * kPi;
        const double lat = random.Normal() * 0.1;
        const int x = static_cast<int>(std::fmod((lon / (2.0 * kPi) + 0.5) * kWidth + kWidth, kWidth));
        const int y = std::clamp(static_cast<int>((0.5 - lat / kPi) * kHeight), 0, kHeight - 1);
        const float value = static_cast<float>(0.05 * random.Uniform() * Band::Sample(band.transmission, x, y));
        Rgb& p = canvas.At(std::min(x, kWidth - 1), y);
        p.r += value;
        p.g += value * 0.95f;
        p.b += value * 0.9f;
    }
}

unsigned char Encode(float linear)
{
    // A soft shoulder keeps bright stars from clipping hard, then display gamma.
    const double shaped = 1.0 - std::exp(-std::max(0.0f, linear) * 1.3);
    return static_cast<unsigned char>(std::lround(std::pow(shaped, 1.0 / 2.2) * 255.0));
}

bool WriteJpeg(const char* path, const Canvas& canvas, const Band& band)
{
    FILE* file = std::fopen(path, "wb");
    if (!file) {
        std::fprintf(stderr, "panorama: cannot write %s\n", path);
        return false;
    }
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = kWidth;
    info.image_height = kHeight;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 88, TRUE);
    // Progressive in four scans: the DC of all three components, then each
    // component's AC in one go. The decoder makes far fewer passes than over the
    // usual ten scans, which keeps the launcher's start-up short.
    static const jpeg_scan_info kScans[] = {
        {3, {0, 1, 2, 0}, 0, 0, 0, 0},
        {1, {0, 0, 0, 0}, 1, 63, 0, 0},
        {1, {1, 0, 0, 0}, 1, 63, 0, 0},
        {1, {2, 0, 0, 0}, 1, 63, 0, 0},
    };
    info.scan_info = kScans;
    info.num_scans = 4;
    jpeg_start_compress(&info, TRUE);
    std::vector<unsigned char> row(static_cast<size_t>(kWidth) * 3);
    const std::vector<Rgb>& pixels = canvas.Pixels();
    while (info.next_scanline < info.image_height) {
        const int y = static_cast<int>(info.next_scanline);
        for (int x = 0; x < kWidth; ++x) {
            const Rgb& star = pixels[static_cast<size_t>(y) * kWidth + x];
            const Rgb glow = Band::Sample(band.light, x + 0.5, y + 0.5);
            row[x * 3 + 0] = Encode(star.r + glow.r + 0.0006f);
            row[x * 3 + 1] = Encode(star.g + glow.g + 0.0007f);
            row[x * 3 + 2] = Encode(star.b + glow.b + 0.0012f);
        }
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    const bool written = std::ferror(file) == 0;
    if (std::fclose(file) != 0 || !written) {
        std::fprintf(stderr, "panorama: cannot write %s\n", path);
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: panorama <output file> [seed]\n");
        return 2;
    }
    uint64_t seed = 1;
    if (argc == 3) {
        char* end = nullptr;
        seed = std::strtoull(argv[2], &end, 10);
        if (*argv[2] == '\0' || *end != '\0') {
            std::fprintf(stderr, "panorama: the seed must be a decimal number\n");
            return 2;
        }
    }
    const Band band = MakeBand(static_cast<uint32_t>(seed));
    auto canvas = std::make_unique<Canvas>();
    DrawStars(*canvas, band, seed);
    return WriteJpeg(argv[1], *canvas, band) ? 0 : 1;
}
