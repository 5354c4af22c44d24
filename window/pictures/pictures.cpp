// SPDX-License-Identifier: MIT
#include "pictures.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <optional>
#include <stdexcept>

namespace tavirel {
namespace {

struct Point {
    double x, y;
};
struct Colour {
    std::uint8_t r, g, b;
};

double distanceToSegment(Point p, Point a, Point b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double length2 = dx * dx + dy * dy;
    double t = length2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / length2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

bool inside(Point p, const std::vector<Point>& polygon) {
    bool in = false;
    for (std::size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++) {
        const Point a = polygon[i], b = polygon[j];
        if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x) in = !in;
    }
    return in;
}

// A picture on a 32-unit grid: shapes painted in order, each an outline and a fill, both optional.
// Every pixel averages a 4 × 4 grid of samples, each taking the colour of the topmost shape there.
class Picture {
public:
    using Fill = std::function<Colour(Point)>;

    void stroke(std::vector<Point> path, double width, Colour colour, bool closed = false) {
        if (closed) path.push_back(path.front());
        shapes_.push_back({std::move(path), width / 2, colour, {}});
    }
    void fill(std::vector<Point> polygon, Fill fill, double outlineWidth, Colour outline) {
        shapes_.push_back({std::move(polygon), outlineWidth / 2, outline, std::move(fill)});
    }

    Image render(int size) const {
        constexpr int kSamples = 4;
        Image image{size, size, std::vector<std::uint8_t>(static_cast<std::size_t>(size) * size * 4)};
        const double unit = 32.0 / size;
        for (int py = 0; py < size; ++py) {
            for (int px = 0; px < size; ++px) {
                double r = 0, g = 0, b = 0, covered = 0;
                for (int sy = 0; sy < kSamples; ++sy) {
                    for (int sx = 0; sx < kSamples; ++sx) {
                        const Point p{(px + (sx + 0.5) / kSamples) * unit,
                                      (py + (sy + 0.5) / kSamples) * unit};
                        if (const std::optional<Colour> c = colourAt(p)) {
                            r += c->r, g += c->g, b += c->b, covered += 1;
                        }
                    }
                }
                std::uint8_t* out = &image.rgba[(static_cast<std::size_t>(py) * size + px) * 4];
                if (covered > 0) {
                    out[0] = static_cast<std::uint8_t>(std::lround(r / covered));
                    out[1] = static_cast<std::uint8_t>(std::lround(g / covered));
                    out[2] = static_cast<std::uint8_t>(std::lround(b / covered));
                }
                out[3] = static_cast<std::uint8_t>(std::lround(255 * covered / (kSamples * kSamples)));
            }
        }
        return image;
    }

private:
    struct Shape {
        std::vector<Point> points;
        double halfWidth;
        Colour line;
        Fill fill;  // empty: a stroke only
    };

    std::optional<Colour> colourAt(Point p) const {
        for (auto shape = shapes_.rbegin(); shape != shapes_.rend(); ++shape) {
            const std::vector<Point>& pts = shape->points;
            const std::size_t n = pts.size();
            const std::size_t segments = shape->fill ? n : n - 1;
            for (std::size_t i = 0; i < segments; ++i) {
                if (distanceToSegment(p, pts[i], pts[(i + 1) % n]) <= shape->halfWidth) return shape->line;
            }
            if (shape->fill && inside(p, pts)) return shape->fill(p);
        }
        return std::nullopt;
    }

    std::vector<Shape> shapes_;
};

Picture::Fill solid(Colour c) {
    return [c](Point) { return c; };
}

std::vector<Point> cubic(Point a, Point b, Point c, Point d) {
    std::vector<Point> points;
    constexpr int kSteps = 24;
    for (int i = 0; i <= kSteps; ++i) {
        const double t = static_cast<double>(i) / kSteps, u = 1 - t;
        points.push_back({u * u * u * a.x + 3 * u * u * t * b.x + 3 * u * t * t * c.x + t * t * t * d.x,
                          u * u * u * a.y + 3 * u * u * t * b.y + 3 * u * t * t * c.y + t * t * t * d.y});
    }
    return points;
}

void putLittleEndian(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

Image boxImage(int size) {
    const Colour black{0, 0, 0}, dark{128, 128, 128}, light{192, 192, 192}, white{255, 255, 255};
    Picture p;
    // The handle: an arch over the lid, black with a grey core.
    const std::vector<Point> handle = cubic({11, 11}, {11, 2}, {21, 2}, {21, 11});
    p.stroke(handle, 3.2, black);
    p.stroke(handle, 1.4, dark);
    // The box in three faces: lid, front, side; a highlight down the front's left edge.
    p.fill({{4, 13}, {10, 9}, {28, 9}, {22, 13}}, solid(white), 1.2, black);
    p.fill({{4, 13}, {22, 13}, {22, 28}, {4, 28}}, solid(light), 1.2, black);
    p.fill({{22, 13}, {28, 9}, {28, 24}, {22, 28}}, solid(dark), 1.2, black);
    p.stroke({{5.5, 14.5}, {5.5, 26.5}}, 1, white);
    return p.render(size);
}

Image trianglePointerImage() {
    Picture p;
    // Light at the top, dark at the bottom.
    p.fill({{4, 3}, {28, 16}, {4, 29}},
           [](Point at) {
               const double t = std::clamp(at.y / 32, 0.0, 1.0);
               const auto grey = static_cast<std::uint8_t>(std::lround(208 + (96 - 208) * t));
               return Colour{grey, grey, grey};
           },
           1, {64, 64, 64});
    return p.render(32);
}

std::string icoFile(const std::vector<Image>& images) {
    // The icon directory, one entry per image, then each image as a bottom-up 32-bit bitmap of
    // twice its height followed by its 1-bit mask (set where the image is transparent).
    std::string out;
    putLittleEndian(out, 0, 2);
    putLittleEndian(out, 1, 2);
    putLittleEndian(out, static_cast<std::uint32_t>(images.size()), 2);
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * images.size());
    std::string data;
    for (const Image& image : images) {
        if (image.width < 1 || image.width > 256 || image.height < 1 || image.height > 256)
            throw std::invalid_argument("an icon image is 1 to 256 pixels square");
        const auto w = static_cast<std::uint32_t>(image.width), h = static_cast<std::uint32_t>(image.height);
        const std::uint32_t maskStride = (w + 31) / 32 * 4;
        const std::uint32_t bytes = 40 + w * h * 4 + maskStride * h;
        out.push_back(static_cast<char>(w & 0xFF));  // 256 is written as 0
        out.push_back(static_cast<char>(h & 0xFF));
        putLittleEndian(out, 0, 2);   // no palette, reserved
        putLittleEndian(out, 1, 2);   // planes
        putLittleEndian(out, 32, 2);  // bits per pixel
        putLittleEndian(out, bytes, 4);
        putLittleEndian(out, offset, 4);
        offset += bytes;

        putLittleEndian(data, 40, 4);
        putLittleEndian(data, w, 4);
        putLittleEndian(data, 2 * h, 4);
        putLittleEndian(data, 1, 2);
        putLittleEndian(data, 32, 2);
        for (int i = 0; i < 6; ++i) putLittleEndian(data, 0, 4);  // BI_RGB, sizes, palette
        for (std::uint32_t row = h; row-- > 0;) {
            for (std::uint32_t x = 0; x < w; ++x) {
                const std::uint8_t* px = &image.rgba[(row * w + x) * 4];
                data.push_back(static_cast<char>(px[2]));
                data.push_back(static_cast<char>(px[1]));
                data.push_back(static_cast<char>(px[0]));
                data.push_back(static_cast<char>(px[3]));
            }
        }
        for (std::uint32_t row = h; row-- > 0;) {
            std::string mask(maskStride, '\0');
            for (std::uint32_t x = 0; x < w; ++x) {
                if (image.rgba[(row * w + x) * 4 + 3] == 0) mask[x / 8] |= static_cast<char>(0x80 >> (x % 8));
            }
            data += mask;
        }
    }
    return out + data;
}

}  // namespace tavirel
