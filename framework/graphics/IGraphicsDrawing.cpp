#include "framework/graphics/IGraphics.h"
#include "framework/graphics/svg/SvgDocument.h"

#include <algorithm>
#include <cmath>

namespace iplug {
namespace igraphics {

namespace {

// More grid lines than any screen has pixels across are never drawn: a box far larger than the
// panel would otherwise take a path of millions of lines.
constexpr int kMaxGridLines = 1 << 16;

// Counted from the edge rather than summed line by line: far from the origin a step can be
// smaller than the float spacing there, and a running sum would never move.
float GridLine(float edge, float step, int index)
{
    return static_cast<float>(static_cast<double>(edge) + static_cast<double>(step) * index);
}

IStrokeStyle ShapeStrokeStyle(float dash)
{
    IStrokeStyle style;
    if (dash > 0.0f) {
        style.dash.lengths[0] = dash;
        style.dash.count = 1;
    }
    return style;
}

int32_t OpacityAlpha(float opacity)
{
    if (!std::isfinite(opacity))
        return 255;
    return std::clamp(int32_t(std::lround(opacity * 255.0f)), 0, 255);
}

IPaint PaintFromSvg(const NSVGpaint& svgPaint, float opacity)
{
    if (svgPaint.type == kSvgPaintColour) {
        const unsigned int c = svgPaint.color;
        return IPaint(
            IArgb(OpacityAlpha(opacity), int32_t(c & 0xff), int32_t((c >> 8) & 0xff), int32_t((c >> 16) & 0xff)));
    }
    IPaint paint;
    const NSVGgradient* gradient = svgPaint.gradient;
    if (!gradient)
        return IPaint(IArgb(0, 0, 0, 0));
    paint.kind = svgPaint.type == kSvgPaintLinearGradient ? kPaintLinear : kPaintRadial;
    paint.extend = gradient->spread == kSvgSpreadReflect ? 2 : (gradient->spread == kSvgSpreadRepeat ? 3 : 1);
    paint.stopCount = std::clamp(gradient->nstops, 0, kMaxPaintStops);
    for (int i = 0; i < paint.stopCount; ++i) {
        const unsigned int c = gradient->stops[i].color;
        paint.stops[i].colour = IArgb(255, int32_t(c & 0xff), int32_t((c >> 8) & 0xff), int32_t((c >> 16) & 0xff));
        paint.stops[i].offset = gradient->stops[i].offset;
    }
    const float* m = gradient->xform;
    paint.transform = ITransform2D(m[0], m[1], m[2], m[3], m[4], m[5]);
    return paint;
}

// Crossings of the ray from (ox, oy) through (tx, ty) with the chords of a path's outline.
int RayCrossings(float ox, float oy, float tx, float ty, const NSVGpath& path)
{
    if (path.npts < 4 || !path.pts)
        return 0;
    const double rdx = double(tx) - ox;
    const double rdy = double(ty) - oy;
    int crossings = 0;
    const int ends = 1 + (path.npts - 1) / 3;
    for (int k = 0; k < ends; ++k) {
        const int a = k * 3;
        const int b = ((k + 1) % ends) * 3;
        const double ax = path.pts[2 * a], ay = path.pts[2 * a + 1];
        const double bx = path.pts[2 * b], by = path.pts[2 * b + 1];
        const double sdx = bx - ax;
        const double sdy = by - ay;
        const double denominator = rdx * sdy - rdy * sdx;
        if (std::fabs(denominator) < 1e-8)
            continue;
        const double t = ((ax - ox) * sdy - (ay - oy) * sdx) / denominator;
        const double u = ((ax - ox) * rdy - (ay - oy) * rdx) / denominator;
        if (t >= 0.0 && u >= 0.0 && u < 1.0)
            ++crossings;
    }
    return crossings;
}

// Offset that puts a span at the start (0), centre (1) or end (2) of a target span.
double AlignmentOffset(int align, float targetStart, float targetEnd, float start, float end)
{
    if (align == 0)
        return double(targetStart) - start;
    if (align == 2)
        return double(targetEnd) - end;
    return (double(targetStart) + targetEnd) * 0.5 - (double(start) + end) * 0.5;
}

} // namespace

void IGraphics::FinishStroke(const IArgb& colour, float thickness, const IBlendSpec* blend, float dash)
{
    PathDoStroke(IPaint(colour), thickness, ShapeStrokeStyle(dash), blend);
}

void IGraphics::FinishFill(const IArgb& colour, const IBlendSpec* blend)
{
    PathDoFill(IPaint(colour), IFillStyle(), blend);
}

void IGraphics::PathRect(const IBox& box)
{
    PathMove(box.left, box.top);
    PathLine(box.right, box.top);
    PathLine(box.right, box.bottom);
    PathLine(box.left, box.bottom);
    PathCloseFigure();
}

void IGraphics::PathRoundRect(const IBox& box, float tl, float tr, float bl, float br)
{
    if (tl <= 0.0f && tr <= 0.0f && bl <= 0.0f && br <= 0.0f) {
        PathRect(box);
        return;
    }
    PathMove(box.left, box.top + tl);
    PathAddArc(box.left + tl, box.top + tl, tl, 270.0f, 360.0f);
    PathAddArc(box.right - tr, box.top + tr, tr, 0.0f, 90.0f);
    PathAddArc(box.right - br, box.bottom - br, br, 90.0f, 180.0f);
    PathAddArc(box.left + bl, box.bottom - bl, bl, 180.0f, 270.0f);
    PathCloseFigure();
}

void IGraphics::PathCircle(float cx, float cy, float r)
{
    PathMove(cx, cy - r);
    PathAddArc(cx, cy, r, 0.0f, 360.0f, 0);
    PathCloseFigure();
}

void IGraphics::PathConvexPolygon(const float* xs, const float* ys, int n)
{
    if (!xs || !ys || n < 1)
        return;
    PathMove(xs[0], ys[0]);
    for (int i = 1; i < n; ++i)
        PathLine(xs[i], ys[i]);
    PathCloseFigure();
}

void IGraphics::PathEllipse(float cx, float cy, float rx, float ry, float angle)
{
    SaveTransform();
    if (rx > 0.0f && ry > 0.0f) {
        TranslateTransform(cx, cy);
        RotateTransform(angle);
        ScaleTransform(rx, ry);
        PathCircle(0.0f, 0.0f, 1.0f);
    }
    RestoreTransform();
}

void IGraphics::SaveTransform()
{
    transformStack.push_back(transform);
}

void IGraphics::RestoreTransform()
{
    if (transformStack.empty())
        return;
    transform = transformStack.back();
    transformStack.pop_back();
    ApplyTransform(transform);
}

void IGraphics::TranslateTransform(float x, float y)
{
    transform = transform * ITransform2D::Translation(x, y);
    ApplyTransform(transform);
}

void IGraphics::ScaleTransform(float sx, float sy)
{
    transform = transform * ITransform2D::Scaling(sx, sy);
    ApplyTransform(transform);
}

void IGraphics::RotateTransform(float degrees)
{
    transform = transform * ITransform2D::Rotation(degrees);
    ApplyTransform(transform);
}

void IGraphics::ResetTransform(bool clearStack)
{
    if (clearStack)
        transformStack.clear();
    transform = ITransform2D();
    ApplyTransform(transform);
}

void IGraphics::RenderSvg(ISvgRef svg, const IBox& box, const IBlendSpec* blend, const IArgb* strokeColour,
                          const IArgb* fillColour)
{
    // A document that failed to parse, or one without a size, has nothing to scale.
    if (!svg || !(svg->width > 0.0f) || !(svg->height > 0.0f))
        return;
    const float s = std::min(box.W() / svg->width, box.H() / svg->height);
    SaveTransform();
    TranslateTransform(box.left, box.top);
    ScaleTransform(s, s);
    RenderSvgShapes(svg, blend, strokeColour, fillColour);
    RestoreTransform();
}

void IGraphics::RenderSvgRotated(ISvgRef svg, float cx, float cy, float w, float h, double angle,
                                 const IBlendSpec* blend)
{
    SaveTransform();
    TranslateTransform(cx, cy);
    RotateTransform(float(angle));
    RenderSvg(svg, IBox(-w / 2.0f, -h / 2.0f, w / 2.0f, h / 2.0f), blend, nullptr, nullptr);
    RestoreTransform();
}

void IGraphics::RenderSvgShapes(ISvgRef svg, const IBlendSpec* blend, const IArgb* strokeColour,
                                const IArgb* fillColour)
{
    if (!svg)
        return;
    for (const NSVGshape* shape = svg->shapes; shape; shape = shape->next) {
        if (!(shape->flags & kSvgShapeVisible))
            continue;
        PathBegin();
        for (const NSVGpath* path = shape->paths; path; path = path->next) {
            if (!path->pts || path->npts < 1)
                continue;
            PathMove(path->pts[0], path->pts[1]);
            for (int i = 1; i + 2 < path->npts; i += 3) {
                const float* p = &path->pts[i * 2];
                PathCubic(p[0], p[1], p[2], p[3], p[4], p[5]);
            }
            if (path->closed)
                PathCloseFigure();
            int crossings = 0;
            for (const NSVGpath* other = shape->paths; other; other = other->next) {
                if (other != path)
                    crossings += RayCrossings(path->pts[0], path->pts[1], path->bounds[0] - 1.0f,
                                              path->bounds[1] - 1.0f, *other);
            }
            PathSetWindingDir(crossings % 2);
        }
        const bool hasStroke = shape->stroke.type != kSvgPaintNone;
        if (shape->fill.type != kSvgPaintNone) {
            const IPaint paint = fillColour ? IPaint(*fillColour) : PaintFromSvg(shape->fill, shape->opacity);
            PathDoFill(paint, IFillStyle{kFillPreserveWinding, hasStroke}, blend);
        }
        if (hasStroke) {
            const IPaint paint = strokeColour ? IPaint(*strokeColour) : PaintFromSvg(shape->stroke, shape->opacity);
            IStrokeStyle style;
            style.miterLimit = shape->miterLimit;
            style.cap = std::clamp(int32_t(shape->strokeLineCap), 0, 2);
            style.join = std::clamp(int32_t(shape->strokeLineJoin), 0, 2);
            style.dash.offset = shape->strokeDashOffset;
            style.dash.count = std::clamp(int32_t(shape->strokeDashCount), 0, kMaxDashLengths);
            for (int i = 0; i < style.dash.count; ++i)
                style.dash.lengths[i] = shape->strokeDashArray[i];
            PathDoStroke(paint, shape->strokeWidth, style, blend);
        }
    }
}

void IGraphics::BlitBitmapFitted(const IBitmapRef& bitmap, const IBox& box, const IBlendSpec* blend)
{
    if (!bitmap.IsValid())
        return;
    SaveTransform();
    TranslateTransform(box.left, box.top);
    ScaleTransform(box.W() / float(bitmap.width), box.H() / float(bitmap.height));
    BlitBitmap(bitmap, IBox(0.0f, 0.0f, float(bitmap.width), float(bitmap.height)), 0, 0, blend);
    RestoreTransform();
}

void IGraphics::BlitBitmapRotated(const IBitmapRef& bitmap, float cx, float cy, double angle, const IBlendSpec* blend)
{
    if (!bitmap.IsValid() || !(bitmap.bitmap->GetDrawScale() > 0.0f))
        return;
    const float w = float(bitmap.width) / bitmap.bitmap->GetDrawScale();
    const float h = float(bitmap.height) / bitmap.bitmap->GetDrawScale();
    SaveTransform();
    TranslateTransform(cx, cy);
    RotateTransform(float(angle));
    BlitBitmap(bitmap, IBox(-w / 2.0f, -h / 2.0f, w / 2.0f, h / 2.0f), 0, 0, blend);
    RestoreTransform();
}

void IGraphics::BlitBitmapFrame(const IBitmapRef& bitmap, const IBox& box, int frame, const IBlendSpec* blend)
{
    // A bitmap that failed to load (null, no frames, no size) draws nothing.
    if (!bitmap.IsValid())
        return;
    const int k = std::min(std::max(frame, 1), bitmap.frameCount);
    int srcX = 0;
    int srcY = 0;
    if (bitmap.frameCount >= 2 && k >= 2) {
        if (bitmap.framesHorizontal)
            srcX = int((int64_t(k - 1) * bitmap.width) / bitmap.frameCount);
        else
            srcY = int((int64_t(k - 1) * bitmap.height) / bitmap.frameCount);
    }
    BlitBitmap(bitmap, box, srcX, srcY, blend);
}

void IGraphics::PlotPoint(const IArgb& colour, float x, float y, const IBlendSpec* blend)
{
    SolidBox(colour, IBox(x, y, x + 1.0f, y + 1.0f), blend);
}

void IGraphics::StrokeLine(const IArgb& colour, float x1, float y1, float x2, float y2, const IBlendSpec* blend,
                           float thickness)
{
    PathBegin();
    PathMove(x1, y1);
    PathLine(x2, y2);
    FinishStroke(colour, thickness, blend, 0.0f);
}

void IGraphics::StrokeDashedLine(const IArgb& colour, float x1, float y1, float x2, float y2, const IBlendSpec* blend,
                                 float thickness, float dash)
{
    PathBegin();
    PathMove(x1, y1);
    PathLine(x2, y2);
    FinishStroke(colour, thickness, blend, dash);
}

void IGraphics::OutlineTriangle(const IArgb& colour, float x1, float y1, float x2, float y2, float x3, float y3,
                                const IBlendSpec* blend, float thickness)
{
    PathBegin();
    PathMove(x1, y1);
    PathLine(x2, y2);
    PathLine(x3, y3);
    PathCloseFigure();
    FinishStroke(colour, thickness, blend, 0.0f);
}

void IGraphics::OutlineBox(const IArgb& colour, const IBox& box, const IBlendSpec* blend, float thickness)
{
    PathBegin();
    PathRect(box);
    FinishStroke(colour, thickness, blend, 0.0f);
}

void IGraphics::OutlineRoundedBoxCorners(const IArgb& colour, const IBox& box, float tl, float tr, float bl, float br,
                                         const IBlendSpec* blend, float thickness)
{
    PathBegin();
    PathRoundRect(box, tl, tr, bl, br);
    FinishStroke(colour, thickness, blend, 0.0f);
}

void IGraphics::OutlineRoundedBox(const IArgb& colour, const IBox& box, float r, const IBlendSpec* blend,
                                  float thickness)
{
    PathBegin();
    PathRoundRect(box, r, r, r, r);
    FinishStroke(colour, thickness, blend, 0.0f);
}

void IGraphics::OutlineArc(const IArgb& colour, float cx, float cy, float r, float a1, float a2,
                           const IBlendSpec* blend, float thickness)
{
    PathBegin();
    PathAddArc(cx, cy, r, a1, a2, 0);
    FinishStroke(colour, thickness, blend, 0.0f);
}

void IGraphics::OutlineCircle(const IArgb& colour, float cx, float cy, float r, const IBlendSpec* blend,
                              float thickness)
{
    PathBegin();
    PathCircle(cx, cy, r);
    FinishStroke(colour, thickness, blend, 0.0f);
}

void IGraphics::OutlineOval(const IArgb& colour, float cx, float cy, float rx, float ry, float angle,
                            const IBlendSpec* blend, float thickness)
{
    PathBegin();
    PathEllipse(cx, cy, rx, ry, angle);
    FinishStroke(colour, thickness, blend, 0.0f);
}

void IGraphics::OutlineOvalInBox(const IArgb& colour, const IBox& box, const IBlendSpec* blend, float thickness)
{
    PathBegin();
    PathEllipse(box.MW(), box.MH(), box.W() / 2.0f, box.H() / 2.0f, 0.0f);
    FinishStroke(colour, thickness, blend, 0.0f);
}

void IGraphics::OutlinePolygon(const IArgb& colour, const float* xs, const float* ys, int n, const IBlendSpec* blend,
                               float thickness)
{
    PathBegin();
    PathConvexPolygon(xs, ys, n);
    FinishStroke(colour, thickness, blend, 0.0f);
}

void IGraphics::OutlineDashedBox(const IArgb& colour, const IBox& box, const IBlendSpec* blend, float thickness,
                                 float dash)
{
    PathBegin();
    PathRect(box);
    FinishStroke(colour, thickness, blend, dash);
}

void IGraphics::SolidTriangle(const IArgb& colour, float x1, float y1, float x2, float y2, float x3, float y3,
                              const IBlendSpec* blend)
{
    PathBegin();
    PathMove(x1, y1);
    PathLine(x2, y2);
    PathLine(x3, y3);
    PathCloseFigure();
    FinishFill(colour, blend);
}

void IGraphics::SolidBox(const IArgb& colour, const IBox& box, const IBlendSpec* blend)
{
    PathBegin();
    PathRect(box);
    FinishFill(colour, blend);
}

void IGraphics::SolidRoundedBoxCorners(const IArgb& colour, const IBox& box, float tl, float tr, float bl, float br,
                                       const IBlendSpec* blend)
{
    PathBegin();
    PathRoundRect(box, tl, tr, bl, br);
    FinishFill(colour, blend);
}

void IGraphics::SolidRoundedBox(const IArgb& colour, const IBox& box, float r, const IBlendSpec* blend)
{
    PathBegin();
    PathRoundRect(box, r, r, r, r);
    FinishFill(colour, blend);
}

void IGraphics::SolidCircle(const IArgb& colour, float cx, float cy, float r, const IBlendSpec* blend)
{
    PathBegin();
    PathCircle(cx, cy, r);
    FinishFill(colour, blend);
}

void IGraphics::SolidOval(const IArgb& colour, float cx, float cy, float rx, float ry, float angle,
                          const IBlendSpec* blend)
{
    PathBegin();
    PathEllipse(cx, cy, rx, ry, angle);
    FinishFill(colour, blend);
}

void IGraphics::SolidOvalInBox(const IArgb& colour, const IBox& box, const IBlendSpec* blend)
{
    PathBegin();
    PathEllipse(box.MW(), box.MH(), box.W() / 2.0f, box.H() / 2.0f, 0.0f);
    FinishFill(colour, blend);
}

void IGraphics::SolidPie(const IArgb& colour, float cx, float cy, float r, float a1, float a2, const IBlendSpec* blend)
{
    PathBegin();
    PathMove(cx, cy);
    PathAddArc(cx, cy, r, a1, a2, 0);
    PathCloseFigure();
    FinishFill(colour, blend);
}

void IGraphics::SolidPolygon(const IArgb& colour, const float* xs, const float* ys, int n, const IBlendSpec* blend)
{
    PathBegin();
    PathConvexPolygon(xs, ys, n);
    FinishFill(colour, blend);
}

float IGraphics::TextExtent(const ITextStyle& style, const char* text, IBox& box)
{
    if (!text || !*text)
        return 0.0f;
    return MeasureTextImpl(style, text, box);
}

void IGraphics::DrawTextBlock(const ITextStyle& style, const char* text, const IBox& box, const IBlendSpec* blend)
{
    DrawTextImpl(style, "Unsupported", box, blend);
}

void IGraphics::WriteText(const ITextStyle& style, const char* text, const IBox& box, const IBlendSpec* blend)
{
    if (!text || !*text)
        return;
    DrawTextImpl(style, text, box, blend);
}

void IGraphics::StrokeGrid(const IArgb& colour, const IBox& box, float xStep, float yStep, const IBlendSpec* blend,
                           float thickness)
{
    PathBegin();
    const bool finite =
        std::isfinite(box.left) && std::isfinite(box.top) && std::isfinite(box.right) && std::isfinite(box.bottom);
    if (finite && xStep > 1.0f) {
        for (int i = 1; i <= kMaxGridLines; ++i) {
            const float x = GridLine(box.left, xStep, i);
            if (!(x < box.right))
                break;
            PathMove(x, box.top);
            PathLine(x, box.bottom);
        }
    }
    if (finite && yStep > 1.0f) {
        for (int i = 1; i <= kMaxGridLines; ++i) {
            const float y = GridLine(box.top, yStep, i);
            if (!(y < box.bottom))
                break;
            PathMove(box.left, y);
            PathLine(box.right, y);
        }
    }
    PathDoStroke(IPaint(colour), thickness, IStrokeStyle(), blend);
}

void IGraphics::PlotSeries(const IArgb& colour, const IBox& box, const float* ys, int n, const float* xs,
                           const IBlendSpec* blend, float thickness, const IArgb* fillColour)
{
    if (n <= 0 || !ys)
        return;
    PathBegin();
    PathMove(box.left, box.bottom - box.H() * ys[0]);
    for (int i = 1; i < n; ++i) {
        const float x = xs ? box.left + box.W() * xs[i] : box.left + box.W() / float(n - 1) * float(i);
        PathLine(x, box.bottom - box.H() * ys[i]);
    }
    if (fillColour)
        PathDoFill(IPaint(*fillColour), IFillStyle{kFillWinding, true}, blend);
    PathDoStroke(IPaint(colour), thickness, IStrokeStyle(), blend);
}

void IGraphics::ComputeTextRotation(const ITextStyle& style, const IBox& target, IBox& bounds, double& dx, double& dy)
{
    if (style.angle == 0.0f)
        return;
    const ITransform2D r = ITransform2D::Rotation(style.angle);
    double xs[4] = {bounds.left, bounds.right, bounds.right, bounds.left};
    double ys[4] = {bounds.top, bounds.top, bounds.bottom, bounds.bottom};
    for (int i = 0; i < 4; ++i)
        r.Apply(xs[i], ys[i]);
    bounds = IBox(float(*std::min_element(xs, xs + 4)), float(*std::min_element(ys, ys + 4)),
                  float(*std::max_element(xs, xs + 4)), float(*std::max_element(ys, ys + 4)));
    dx = AlignmentOffset(style.hAlign, target.left, target.right, bounds.left, bounds.right);
    dy = AlignmentOffset(style.vAlign, target.top, target.bottom, bounds.top, bounds.bottom);
}

void IGraphics::MeasureRotatedText(const ITextStyle& style, const IBox& target, IBox& bounds)
{
    double dx = 0.0;
    double dy = 0.0;
    ComputeTextRotation(style, target, bounds, dx, dy);
    bounds = bounds.Translated(float(dx), float(dy));
}

} // namespace igraphics
} // namespace iplug
