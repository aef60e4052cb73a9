#pragma once

#include <functional>
#include <string>
#include <vector>

// Colour with straight (not premultiplied) alpha, components 0..1.
struct Rgba
{
    float r;
    float g;
    float b;
    float a;

    static Rgba FromBytes(int r, int g, int b, int a = 255);
    Rgba WithAlpha(float alpha) const { return {r, g, b, a * alpha}; }
    // Mixes towards other by t (0 keeps this colour).
    Rgba Mix(const Rgba& other, float t) const;
    Rgba Lighter(float t) const { return Mix({1, 1, 1, a}, t); }
    Rgba Darker(float t) const { return Mix({0, 0, 0, a}, t); }
};

// An RGBA picture in premultiplied floats, painted with antialiased shapes given by their signed
// distance (negative inside, in pixels). Coordinates are pixels; the generator passes panel units
// times the picture's scale.
class Canvas
{
public:
    using Distance = std::function<float(float x, float y)>;
    using Shade = std::function<Rgba(float x, float y)>;

    Canvas(int width, int height);

    int Width() const { return width; }
    int Height() const { return height; }

    // Composites shade over every pixel of the box whose coverage is above 0; softness widens the
    // edge (0 gives a one-pixel antialiased edge, more gives a blurred shadow-like edge).
    void Paint(float x0, float y0, float x1, float y1, const Distance& distance, const Shade& shade,
               float softness = 0.0f);
    void FillCircle(float cx, float cy, float radius, const Rgba& colour, float softness = 0.0f);
    void StrokeCircle(float cx, float cy, float radius, float thickness, const Rgba& colour);
    void FillRoundRect(float x0, float y0, float x1, float y1, float radius, const Shade& shade, float softness = 0.0f);
    void FillRoundRect(float x0, float y0, float x1, float y1, float radius, const Rgba& colour, float softness = 0.0f);
    void StrokeRoundRect(float x0, float y0, float x1, float y1, float radius, float thickness, const Rgba& colour);
    void StrokeLine(float ax, float ay, float bx, float by, float thickness, const Rgba& colour);
    // Composites a coverage mask (0..255, mask width x height) at (x, y) in colour.
    void BlendMask(const unsigned char* mask, int maskWidth, int maskHeight, int x, int y, const Rgba& colour);
    // Composites another canvas over this one at an offset.
    void Draw(const Canvas& other, int x, int y);

    Rgba PixelAt(int x, int y) const;
    bool SavePng(const std::string& path) const;

    static float RoundRectDistance(float x, float y, float x0, float y0, float x1, float y1, float radius);
    static float SegmentDistance(float x, float y, float ax, float ay, float bx, float by);

private:
    void Blend(int x, int y, const Rgba& colour, float coverage);

    int width;
    int height;
    std::vector<float> pixels;
};
