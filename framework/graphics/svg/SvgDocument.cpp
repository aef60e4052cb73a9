#include "framework/graphics/svg/SvgDocument.h"

#include "framework/graphics/svg/SvgParser.h"

#include <cstring>
#include <exception>

namespace iplug {
namespace igraphics {

namespace {
void DeletePaint(NSVGpaint& paint)
{
    if (paint.type == kSvgPaintLinearGradient || paint.type == kSvgPaintRadialGradient)
        delete paint.gradient;
}

void DeletePaths(NSVGpath* path)
{
    while (path) {
        NSVGpath* next = path->next;
        delete[] path->pts;
        delete path;
        path = next;
    }
}
} // namespace

NSVGimage* nsvgParse(char* text, const char* units, float dpi)
{
    if (!text)
        return nullptr;
    // Only the bytes up to the bound are looked at, so an oversized text costs nothing more.
    const size_t length = strnlen(text, SvgParser::kMaxInputBytes + 1);
    if (length > SvgParser::kMaxInputBytes)
        return nullptr;
    try {
        SvgParser parser(units, dpi);
        return parser.Parse(std::string_view(text, length));
    } catch (const std::exception&) {
        // Only allocation failures are thrown on the way; the document is then not formed.
        return nullptr;
    }
}

void nsvgDelete(NSVGimage* image)
{
    if (!image)
        return;
    NSVGshape* shape = image->shapes;
    while (shape) {
        NSVGshape* next = shape->next;
        DeletePaint(shape->fill);
        DeletePaint(shape->stroke);
        DeletePaths(shape->paths);
        delete shape;
        shape = next;
    }
    delete image;
}

} // namespace igraphics
} // namespace iplug
