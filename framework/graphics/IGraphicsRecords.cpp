#include "framework/graphics/IGraphicsRecords.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace iplug {
namespace igraphics {

IBox IBox::Intersection(const IBox& b) const
{
    if (!Intersects(b))
        return IBox();
    return IBox(std::max(left, b.left), std::max(top, b.top), std::min(right, b.right), std::min(bottom, b.bottom));
}

IBox IBox::Union(const IBox& b) const
{
    if (IsEmpty())
        return b;
    if (b.IsEmpty())
        return *this;
    return IBox(std::min(left, b.left), std::min(top, b.top), std::max(right, b.right), std::max(bottom, b.bottom));
}

IBox IBox::PixelAligned(float scale) const
{
    const float inverse = float(1.0 / double(scale));
    return IBox(std::floor(left * scale) * inverse, std::floor(top * scale) * inverse,
                std::ceil(right * scale) * inverse, std::ceil(bottom * scale) * inverse);
}

ITextStyle::ITextStyle(const char* font, float fontSize, IArgb textColour, int32_t horizontal, int32_t vertical)
    : size(fontSize), colour(textColour), hAlign(horizontal), vAlign(vertical)
{
    if (font) {
        std::strncpy(fontId, font, kFontIdLength - 1);
        fontId[kFontIdLength - 1] = '\0';
    }
}

ITransform2D ITransform2D::Rotation(double degrees)
{
    const float radians = float(degrees) / 180.0f * 3.1415927f;
    const double c = std::cos(radians);
    const double s = std::sin(radians);
    return ITransform2D(c, s, -s, c, 0.0, 0.0);
}

ITransform2D ITransform2D::operator*(const ITransform2D& b) const
{
    return ITransform2D(xx * b.xx + xy * b.yx, yx * b.xx + yy * b.yx, xx * b.xy + xy * b.yy, yx * b.xy + yy * b.yy,
                        xx * b.tx + xy * b.ty + tx, yx * b.tx + yy * b.ty + ty);
}

ITransform2D ITransform2D::Inverted() const
{
    const double det = xx * yy - xy * yx;
    if (det == 0.0 || !std::isfinite(det))
        return ITransform2D();
    const double inv = 1.0 / det;
    const double nxx = yy * inv;
    const double nyx = -yx * inv;
    const double nxy = -xy * inv;
    const double nyy = xx * inv;
    return ITransform2D(nxx, nyx, nxy, nyy, -(nxx * tx + nxy * ty), -(nyx * tx + nyy * ty));
}

void ITransform2D::Apply(double& x, double& y) const
{
    const double nx = xx * x + xy * y + tx;
    const double ny = yx * x + yy * y + ty;
    x = nx;
    y = ny;
}

IPaint::IPaint(const IArgb& colour)
{
    stops[0].colour = colour;
    stops[0].offset = 0.0f;
    stopCount = 1;
}

int SystemCursorId(int cursorKind)
{
    static const int kIds[] = {32512, 32513, 32514, 32515, 32516, 32642, 32643,
                               32644, 32645, 32646, 32648, 32649, 32650, 32651};
    if (cursorKind < 0 || cursorKind > kCursorHelp)
        return kIds[0];
    return kIds[cursorKind];
}

IArgb IRoleColours::DefaultFor(int role)
{
    static const IArgb kDefaults[kNumColourRoles] = {{0, 0, 0, 0},      {255, 200, 200, 200}, {255, 240, 240, 240},
                                                     {255, 70, 70, 70}, {10, 0, 0, 0},        {60, 0, 0, 0},
                                                     {255, 0, 0, 0},    {255, 0, 255, 0},     {255, 0, 0, 255}};
    return role >= 0 && role < kNumColourRoles ? kDefaults[role] : IArgb(255, 0, 0, 0);
}

IRoleColours::IRoleColours(std::initializer_list<IArgb> colours)
{
    int role = 0;
    for (const IArgb& c : colours) {
        if (role == kNumColourRoles)
            break;
        roles[role++] = c;
    }
    for (; role < kNumColourRoles; ++role)
        roles[role] = DefaultFor(role);
}

} // namespace igraphics
} // namespace iplug
