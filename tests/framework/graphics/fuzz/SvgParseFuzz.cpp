// Parses arbitrary bytes as an SVG document and checks the shape of what comes back: the
// drawing operations rely on these invariants without checking them.
#include "framework/graphics/svg/SvgDocument.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace iplug::igraphics;

namespace {

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

void CheckBounds(const float* b)
{
    for (int i = 0; i < 4; ++i)
        Require(std::isfinite(b[i]));
    Require(b[0] <= b[2] && b[1] <= b[3]);
}

void CheckPaint(const NSVGpaint& paint)
{
    Require(paint.type >= kSvgPaintNone && paint.type <= kSvgPaintRadialGradient);
    if (paint.type < kSvgPaintLinearGradient)
        return;
    const NSVGgradient& g = *paint.gradient;
    Require(g.nstops >= 2 && g.nstops <= kSvgMaxGradientStops);
    for (float v : g.xform)
        Require(std::isfinite(v));
    for (int i = 0; i < g.nstops; ++i)
        Require(g.stops[i].offset >= 0.0f && g.stops[i].offset <= 1.0f
                && (i == 0 || g.stops[i].offset >= g.stops[i - 1].offset));
}

void CheckImage(const NSVGimage& image)
{
    Require(std::isfinite(image.width) && image.width > 0.0f);
    Require(std::isfinite(image.height) && image.height > 0.0f);
    for (const NSVGshape* s = image.shapes; s; s = s->next) {
        Require(std::memchr(s->id, '\0', sizeof(s->id)) != nullptr);
        CheckPaint(s->fill);
        CheckPaint(s->stroke);
        Require(std::isfinite(s->strokeWidth) && s->strokeWidth >= 0.0f);
        Require(s->strokeDashCount >= 0 && s->strokeDashCount <= kSvgMaxDashes);
        Require(s->opacity >= 0.0f && s->opacity <= 1.0f);
        CheckBounds(s->bounds);
        Require(s->paths != nullptr);
        for (const NSVGpath* p = s->paths; p; p = p->next) {
            Require(p->npts >= 4 && (p->npts - 1) % 3 == 0);
            for (int i = 0; i < 2 * p->npts; ++i)
                Require(std::isfinite(p->pts[i]));
            CheckBounds(p->bounds);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const char* const kUnits[] = {"px", "pt", "pc", "mm", "cm", "in", "em", "ex", "%", nullptr};
    if (size == 0)
        return 0;
    // The first byte picks the units and the dots per inch; the rest is the document.
    const char* units = kUnits[data[0] % 10];
    const float dpi = (data[0] & 0x80) ? 72.0f : 96.0f;
    std::vector<char> text(data + 1, data + size);
    text.push_back('\0');
    NSVGimage* image = nsvgParse(text.data(), units, dpi);
    if (image)
        CheckImage(*image);
    nsvgDelete(image);
    return 0;
}
