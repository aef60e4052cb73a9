#pragma once

#include "framework/graphics/svg/SvgDocument.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

// Parsing and inspection helpers shared by the SVG document tests.
namespace svgtest {

using namespace iplug::igraphics;

struct ImageDeleter
{
    void operator()(NSVGimage* image) const { nsvgDelete(image); }
};
using Image = std::unique_ptr<NSVGimage, ImageDeleter>;

inline Image Parse(std::string text, const char* units = "px", float dpi = 96.0f)
{
    return Image(nsvgParse(text.data(), units, dpi));
}

inline int CountShapes(const NSVGimage& image)
{
    int n = 0;
    for (const NSVGshape* s = image.shapes; s; s = s->next)
        ++n;
    return n;
}

inline int CountPaths(const NSVGshape& shape)
{
    int n = 0;
    for (const NSVGpath* p = shape.paths; p; p = p->next)
        ++n;
    return n;
}

inline const NSVGpath& LastPath(const NSVGshape& shape)
{
    const NSVGpath* p = shape.paths;
    while (p->next)
        p = p->next;
    return *p;
}

// Colour as packed in the records: red in the lowest byte.
constexpr unsigned int Rgba(unsigned int r, unsigned int g, unsigned int b, unsigned int a = 255)
{
    return r | (g << 8) | (b << 16) | (a << 24);
}

inline void ExpectBounds(const float* bounds, float l, float t, float r, float b, float tolerance = 1e-3f)
{
    EXPECT_NEAR(bounds[0], l, tolerance);
    EXPECT_NEAR(bounds[1], t, tolerance);
    EXPECT_NEAR(bounds[2], r, tolerance);
    EXPECT_NEAR(bounds[3], b, tolerance);
}

inline std::string Document(const std::string& body, const std::string& rootAttributes = "width=\"100\" height=\"100\"")
{
    return "<svg xmlns=\"http://www.w3.org/2000/svg\" " + rootAttributes + ">" + body + "</svg>";
}

} // namespace svgtest
