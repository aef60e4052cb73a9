#include "plugin/resources/generator/Canvas.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb/stb_image_write.h>

namespace {

float Clamp01(float v)
{
    return v < 0.0f ? 0.0f : v > 1.0f ? 1.0f : v;
}

// Coverage of a pixel whose centre lies at signed distance d from an edge.
float Coverage(float d, float softness)
{
    if (softness <= 0.0f)
        return Clamp01(0.5f - d);
    const float t = Clamp01(0.5f - d / (2.0f * softness));
    return t * t * (3.0f - 2.0f * t);
}

} // namespace

Rgba Rgba::FromBytes(int r, int g, int b, int a)
{
    return {r / 255.0f, g / 255.0f, b / 255.0f, a / 255.0f};
}

Rgba Rgba::Mix(const Rgba& other, float t) const
{
    return {r + (other.r - r) * t, g + (other.g - g) * t, b + (other.b - b) * t, a + (other.a - a) * t};
}

Canvas::Canvas(int width, int height)
    : width(width), height(height), pixels(static_cast<size_t>(width) * height * 4, 0.0f)
{}

void Canvas::Blend(int x, int y, const Rgba& colour, float coverage)
{
    const float alpha = Clamp01(colour.a) * coverage;
    if (alpha <= 0.0f)
        return;
    float* p = &pixels[(static_cast<size_t>(y) * width + x) * 4];
    const float keep = 1.0f - alpha;
    p[0] = colour.r * alpha + p[0] * keep;
    p[1] = colour.g * alpha + p[1] * keep;
    p[2] = colour.b * alpha + p[2] * keep;
    p[3] = alpha + p[3] * keep;
}

void Canvas::Paint(float x0, float y0, float x1, float y1, const Distance& distance, const Shade& shade, float softness)
{
    const float pad = 2.0f + 2.0f * softness;
    const int left = std::max(0, static_cast<int>(std::floor(x0 - pad)));
    const int top = std::max(0, static_cast<int>(std::floor(y0 - pad)));
    const int right = std::min(width, static_cast<int>(std::ceil(x1 + pad)));
    const int bottom = std::min(height, static_cast<int>(std::ceil(y1 + pad)));
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) {
            const float px = x + 0.5f;
            const float py = y + 0.5f;
            const float coverage = Coverage(distance(px, py), softness);
            if (coverage > 0.0f)
                Blend(x, y, shade(px, py), coverage);
        }
}

void Canvas::FillCircle(float cx, float cy, float radius, const Rgba& colour, float softness)
{
    Paint(
        cx - radius, cy - radius, cx + radius, cy + radius,
        [=](float x, float y) { return std::hypot(x - cx, y - cy) - radius; }, [=](float, float) { return colour; },
        softness);
}

void Canvas::StrokeCircle(float cx, float cy, float radius, float thickness, const Rgba& colour)
{
    const float half = thickness / 2.0f;
    Paint(
        cx - radius - half, cy - radius - half, cx + radius + half, cy + radius + half,
        [=](float x, float y) { return std::fabs(std::hypot(x - cx, y - cy) - radius) - half; },
        [=](float, float) { return colour; });
}

float Canvas::RoundRectDistance(float x, float y, float x0, float y0, float x1, float y1, float radius)
{
    const float cx = (x0 + x1) / 2.0f;
    const float cy = (y0 + y1) / 2.0f;
    const float hx = (x1 - x0) / 2.0f - radius;
    const float hy = (y1 - y0) / 2.0f - radius;
    const float qx = std::fabs(x - cx) - hx;
    const float qy = std::fabs(y - cy) - hy;
    const float outside = std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f));
    return outside + std::min(std::max(qx, qy), 0.0f) - radius;
}

float Canvas::SegmentDistance(float x, float y, float ax, float ay, float bx, float by)
{
    const float dx = bx - ax;
    const float dy = by - ay;
    const float lengthSquared = dx * dx + dy * dy;
    const float t = lengthSquared > 0.0f ? Clamp01(((x - ax) * dx + (y - ay) * dy) / lengthSquared) : 0.0f;
    return std::hypot(x - (ax + t * dx), y - (ay + t * dy));
}

void Canvas::FillRoundRect(float x0, float y0, float x1, float y1, float radius, const Shade& shade, float softness)
{
    Paint(
        x0, y0, x1, y1, [=](float x, float y) { return RoundRectDistance(x, y, x0, y0, x1, y1, radius); }, shade,
        softness);
}

void Canvas::FillRoundRect(float x0, float y0, float x1, float y1, float radius, const Rgba& colour, float softness)
{
    FillRoundRect(
        x0, y0, x1, y1, radius, [=](float, float) { return colour; }, softness);
}

void Canvas::StrokeRoundRect(float x0, float y0, float x1, float y1, float radius, float thickness, const Rgba& colour)
{
    const float half = thickness / 2.0f;
    Paint(
        x0 - half, y0 - half, x1 + half, y1 + half,
        [=](float x, float y) { return std::fabs(RoundRectDistance(x, y, x0, y0, x1, y1, radius)) - half; },
        [=](float, float) { return colour; });
}

void Canvas::StrokeLine(float ax, float ay, float bx, float by, float thickness, const Rgba& colour)
{
    const float half = thickness / 2.0f;
    Paint(
        std::min(ax, bx) - half, std::min(ay, by) - half, std::max(ax, bx) + half, std::max(ay, by) + half,
        [=](float x, float y) { return SegmentDistance(x, y, ax, ay, bx, by) - half; },
        [=](float, float) { return colour; });
}

void Canvas::BlendMask(const unsigned char* mask, int maskWidth, int maskHeight, int x, int y, const Rgba& colour)
{
    for (int j = 0; j < maskHeight; ++j)
        for (int i = 0; i < maskWidth; ++i) {
            const int px = x + i;
            const int py = y + j;
            if (px < 0 || py < 0 || px >= width || py >= height)
                continue;
            const unsigned char m = mask[j * maskWidth + i];
            if (m)
                Blend(px, py, colour, m / 255.0f);
        }
}

void Canvas::Draw(const Canvas& other, int x, int y)
{
    for (int j = 0; j < other.height; ++j)
        for (int i = 0; i < other.width; ++i) {
            const int px = x + i;
            const int py = y + j;
            if (px < 0 || py < 0 || px >= width || py >= height)
                continue;
            const float* s = &other.pixels[(static_cast<size_t>(j) * other.width + i) * 4];
            float* d = &pixels[(static_cast<size_t>(py) * width + px) * 4];
            const float keep = 1.0f - s[3];
            for (int c = 0; c < 4; ++c)
                d[c] = s[c] + d[c] * keep;
        }
}

Rgba Canvas::PixelAt(int x, int y) const
{
    const float* p = &pixels[(static_cast<size_t>(y) * width + x) * 4];
    if (p[3] <= 0.0f)
        return {0, 0, 0, 0};
    return {p[0] / p[3], p[1] / p[3], p[2] / p[3], p[3]};
}

bool Canvas::SavePng(const std::string& path) const
{
    std::vector<uint8_t> bytes(static_cast<size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Rgba c = PixelAt(x, y);
            uint8_t* out = &bytes[(static_cast<size_t>(y) * width + x) * 4];
            out[0] = static_cast<uint8_t>(std::lround(Clamp01(c.r) * 255.0f));
            out[1] = static_cast<uint8_t>(std::lround(Clamp01(c.g) * 255.0f));
            out[2] = static_cast<uint8_t>(std::lround(Clamp01(c.b) * 255.0f));
            out[3] = static_cast<uint8_t>(std::lround(Clamp01(c.a) * 255.0f));
        }
    return stbi_write_png(path.c_str(), width, height, 4, bytes.data(), width * 4) != 0;
}
