#include "framework/graphics/svg/SvgParser.h"

#include "framework/graphics/svg/SvgTextCursor.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <utility>

namespace iplug {
namespace igraphics {

namespace {
constexpr double kInfinity = std::numeric_limits<double>::infinity();

std::string_view LocalName(std::string_view name)
{
    const size_t colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

const SvgAttribute* FindAttribute(const std::vector<SvgAttribute>& attributes, std::string_view name)
{
    for (const SvgAttribute& a : attributes) {
        if (a.name == name)
            return &a;
    }
    return nullptr;
}

unsigned int WithAlpha(unsigned int rgb, double opacity)
{
    const long alpha = std::lround(std::clamp(opacity, 0.0, 1.0) * 255.0);
    return (rgb & 0xffffffu) | (static_cast<unsigned int>(alpha) << 24);
}

void IncludePoint(double* bounds, double x, double y)
{
    bounds[0] = std::min(bounds[0], x);
    bounds[1] = std::min(bounds[1], y);
    bounds[2] = std::max(bounds[2], x);
    bounds[3] = std::max(bounds[3], y);
}

double CubicAt(double p0, double p1, double p2, double p3, double t)
{
    const double u = 1.0 - t;
    return u * u * u * p0 + 3.0 * u * u * t * p1 + 3.0 * u * t * t * p2 + t * t * t * p3;
}

// The parameters in (0, 1) where one coordinate of a cubic turns.
int CubicExtrema(double p0, double p1, double p2, double p3, double* ts)
{
    const double d0 = p1 - p0;
    const double d1 = p2 - p1;
    const double d2 = p3 - p2;
    const double a = d0 - 2.0 * d1 + d2;
    const double b = 2.0 * (d1 - d0);
    const double c = d0;
    int n = 0;
    auto keep = [&](double t) {
        if (t > 0.0 && t < 1.0)
            ts[n++] = t;
    };
    if (std::fabs(a) < 1e-12) {
        if (std::fabs(b) > 1e-12)
            keep(-c / b);
        return n;
    }
    const double disc = b * b - 4.0 * a * c;
    if (disc < 0.0)
        return n;
    const double root = std::sqrt(disc);
    keep((-b + root) / (2.0 * a));
    keep((-b - root) / (2.0 * a));
    return n;
}

// Bounds of an outline's curves (not of its control points), merged into bounds.
void IncludeCurves(double* bounds, const std::vector<double>& pts)
{
    IncludePoint(bounds, pts[0], pts[1]);
    for (size_t i = 2; i + 5 < pts.size(); i += 6) {
        const double* p = &pts[i - 2];
        IncludePoint(bounds, p[6], p[7]);
        for (int axis = 0; axis < 2; ++axis) {
            double ts[2];
            const int n = CubicExtrema(p[axis], p[2 + axis], p[4 + axis], p[6 + axis], ts);
            for (int k = 0; k < n; ++k) {
                const double x = CubicAt(p[0], p[2], p[4], p[6], ts[k]);
                const double y = CubicAt(p[1], p[3], p[5], p[7], ts[k]);
                IncludePoint(bounds, x, y);
            }
        }
    }
}

bool ParseViewBox(std::string_view text, double* box)
{
    SvgTextCursor cursor(text);
    cursor.SkipSpace();
    for (int i = 0; i < 4; ++i) {
        if (i > 0)
            cursor.SkipSeparator();
        if (!cursor.ReadNumber(box[i]))
            return false;
    }
    cursor.SkipSpace();
    return cursor.AtEnd() && box[2] > 0.0 && box[3] > 0.0;
}

// The view box mapping of preserveAspectRatio: "none", or an alignment with "meet" or "slice".
SvgMatrix ViewBoxMatrix(const double* box, double width, double height, std::string_view aspect)
{
    aspect = SvgValueParser::Trim(aspect);
    if (aspect.substr(0, 5) == "defer")
        aspect = SvgValueParser::Trim(aspect.substr(5));
    double sx = width / box[2];
    double sy = height / box[3];
    double alignX = 0.5;
    double alignY = 0.5;
    if (aspect.substr(0, 4) != "none") {
        if (aspect.size() >= 8) {
            const std::string_view x = aspect.substr(1, 3);
            const std::string_view y = aspect.substr(5, 3);
            alignX = x == "Min" ? 0.0 : (x == "Max" ? 1.0 : 0.5);
            alignY = y == "Min" ? 0.0 : (y == "Max" ? 1.0 : 0.5);
        }
        const bool slice = aspect.find("slice") != std::string_view::npos;
        sx = sy = slice ? std::max(sx, sy) : std::min(sx, sy);
    }
    const double tx = -box[0] * sx + (width - box[2] * sx) * alignX;
    const double ty = -box[1] * sy + (height - box[3] * sy) * alignY;
    return SvgMatrix::Make(sx, 0.0, 0.0, sy, tx, ty);
}

// The position of value among words, or fallback.
int Keyword(std::string_view value, std::initializer_list<std::string_view> words, int fallback)
{
    int index = 0;
    for (std::string_view w : words) {
        if (value == w)
            return index;
        ++index;
    }
    return fallback;
}
} // namespace

SvgParser::SvgParser(const char* units, float dpi) : mUnits(dpi), mOutputScale(1.0 / mUnits.UserUnitsPer(units)) {}

SvgParser::~SvgParser()
{
    nsvgDelete(mImage);
}

NSVGimage* SvgParser::Parse(std::string_view text)
{
    if (text.size() > kMaxInputBytes)
        return nullptr;
    mImage = new NSVGimage();
    SvgXmlReader reader;
    if (!reader.Read(text, *this) || mFailed)
        return nullptr;
    ResolvePendingPaints();

    double extent[4] = {0.0, 0.0, 0.0, 0.0};
    for (const NSVGshape* s = mImage->shapes; s; s = s->next)
        IncludePoint(extent, s->bounds[2], s->bounds[3]);
    // A document that states no size is as large as its drawing.
    const double width = mWidth > 0.0 ? mWidth * mOutputScale : extent[2];
    const double height = mHeight > 0.0 ? mHeight * mOutputScale : extent[3];
    if (!(width > 0.0 && height > 0.0) || !SvgUnits::FitsFloat(width) || !SvgUnits::FitsFloat(height))
        return nullptr;
    mImage->width = static_cast<float>(width);
    mImage->height = static_cast<float>(height);
    return std::exchange(mImage, nullptr);
}

SvgParser::EElement SvgParser::Classify(std::string_view name)
{
    if (name == "svg" || name == "g" || name == "a" || name == "switch")
        return EElement::kGroup;
    if (name == "path" || name == "rect" || name == "circle" || name == "ellipse" || name == "line"
        || name == "polyline" || name == "polygon")
        return EElement::kShape;
    if (name == "linearGradient" || name == "radialGradient")
        return EElement::kGradient;
    if (name == "stop")
        return EElement::kStop;
    return EElement::kOther;
}

bool SvgParser::OnStartElement(std::string_view name, const std::vector<SvgAttribute>& attributes)
{
    if (mFailed)
        return false;
    const std::string_view local = LocalName(name);
    if (mFrames.empty()) {
        if (local != "svg")
            return false;
        mFrames.emplace_back();
        if (!ReadRoot(attributes))
            return false;
        ApplyAttributes(mFrames.back().style, attributes);
        mFrames.back().renders = mFrames.back().style.displayed;
        return true;
    }

    const Frame& parent = mFrames.back();
    Frame frame;
    frame.style = parent.style;
    frame.style.displayed = true;
    frame.style.elementOpacity = 1.0;
    frame.style.stopColour = 0;
    frame.style.stopOpacity = 1.0;
    const EElement kind = Classify(local);
    frame.renders = parent.renders && (kind == EElement::kGroup || kind == EElement::kShape);
    if (local == "svg")
        frame.style.xform = frame.style.xform.Then(NestedViewport(attributes));
    ApplyAttributes(frame.style, attributes);
    frame.renders = frame.renders && frame.style.displayed;

    switch (kind) {
    case EElement::kShape:
        if (frame.renders && !AddShape(local, frame.style, attributes)) {
            mFailed = true;
            return false;
        }
        frame.renders = false;
        break;
    case EElement::kGradient:
        frame.gradient = AddGradient(local == "radialGradient", attributes);
        break;
    case EElement::kStop:
        AddStop(parent.gradient, frame.style, attributes);
        break;
    default:
        break;
    }
    mFrames.push_back(std::move(frame));
    return true;
}

// A nested svg element places its view box at (x, y) in a box of its width and height (the
// whole viewport by default). Percentages inside it still refer to the root's view box.
SvgMatrix SvgParser::NestedViewport(const std::vector<SvgAttribute>& attributes) const
{
    bool ok = true;
    const double x = Length(attributes, "x", ESvgAxis::kX, ok);
    const double y = Length(attributes, "y", ESvgAxis::kY, ok);
    const double w =
        Length(attributes, "width", ESvgAxis::kX, ok, mUnits.ToUser({100.0, ESvgUnit::kPercent}, ESvgAxis::kX));
    const double h =
        Length(attributes, "height", ESvgAxis::kY, ok, mUnits.ToUser({100.0, ESvgUnit::kPercent}, ESvgAxis::kY));
    if (!ok)
        return SvgMatrix();
    SvgMatrix placement = SvgMatrix::Translate(x, y);
    double box[4];
    const SvgAttribute* viewBox = FindAttribute(attributes, "viewBox");
    if (viewBox && w > 0.0 && h > 0.0 && ParseViewBox(viewBox->value, box)) {
        const SvgAttribute* aspect = FindAttribute(attributes, "preserveAspectRatio");
        placement = placement.Then(ViewBoxMatrix(box, w, h, aspect ? aspect->value : std::string_view()));
    }
    return placement;
}

bool SvgParser::OnEndElement(std::string_view name)
{
    if (!mFrames.empty())
        mFrames.pop_back();
    return !mFailed;
}

double SvgParser::RootLength(const SvgAttribute* attribute, double viewBoxExtent, bool& ok) const
{
    if (!attribute || SvgValueParser::Trim(attribute->value) == "auto")
        return 0.0;
    SvgLength length;
    if (!SvgValueParser::ParseLength(attribute->value, length) || !(length.value > 0.0)) {
        ok = false;
        return 0.0;
    }
    // A percentage of nothing leaves the size to the drawing.
    if (length.unit == ESvgUnit::kPercent)
        return viewBoxExtent * length.value / 100.0;
    return mUnits.ToUser(length, ESvgAxis::kOther);
}

bool SvgParser::ReadRoot(const std::vector<SvgAttribute>& attributes)
{
    double box[4] = {0.0, 0.0, 0.0, 0.0};
    const SvgAttribute* viewBox = FindAttribute(attributes, "viewBox");
    if (viewBox && !ParseViewBox(viewBox->value, box))
        return false;
    bool ok = true;
    double w = RootLength(FindAttribute(attributes, "width"), box[2], ok);
    double h = RootLength(FindAttribute(attributes, "height"), box[3], ok);
    if (!ok)
        return false;
    SvgMatrix mapping;
    if (viewBox) {
        if (w <= 0.0 && h <= 0.0) {
            w = box[2];
            h = box[3];
        } else if (w <= 0.0) {
            w = h * box[2] / box[3];
        } else if (h <= 0.0) {
            h = w * box[3] / box[2];
        }
        const SvgAttribute* aspect = FindAttribute(attributes, "preserveAspectRatio");
        mapping = ViewBoxMatrix(box, w, h, aspect ? aspect->value : std::string_view());
        mUnits.SetViewport(box[2], box[3]);
    } else {
        mUnits.SetViewport(w, h);
    }
    mWidth = w;
    mHeight = h;
    mFrames.back().style.xform = SvgMatrix::Scale(mOutputScale, mOutputScale).Then(mapping);
    return true;
}

void SvgParser::ApplyAttributes(SvgStyle& style, const std::vector<SvgAttribute>& attributes)
{
    const SvgAttribute* declarations = nullptr;
    for (const SvgAttribute& a : attributes) {
        if (a.name == "style") {
            declarations = &a;
        } else if (a.name == "transform") {
            SvgMatrix local;
            if (SvgValueParser::ParseTransform(a.value, local))
                style.xform = style.xform.Then(local);
        } else {
            ApplyProperty(style, a.name, a.value);
        }
    }
    // Style declarations override presentation attributes.
    if (declarations)
        ApplyStyleDeclarations(style, declarations->value);
    style.opacity *= style.elementOpacity;
}

void SvgParser::ApplyStyleDeclarations(SvgStyle& style, std::string_view declarations)
{
    while (!declarations.empty()) {
        const size_t semicolon = declarations.find(';');
        const std::string_view declaration = declarations.substr(0, semicolon);
        declarations = semicolon == std::string_view::npos ? std::string_view() : declarations.substr(semicolon + 1);
        const size_t colon = declaration.find(':');
        if (colon == std::string_view::npos)
            continue;
        std::string_view value = SvgValueParser::Trim(declaration.substr(colon + 1));
        const size_t important = value.find("!important");
        if (important != std::string_view::npos)
            value = value.substr(0, important);
        ApplyProperty(style, SvgValueParser::Trim(declaration.substr(0, colon)), value);
    }
}

void SvgParser::ApplyProperty(SvgStyle& style, std::string_view name, std::string_view value)
{
    value = SvgValueParser::Trim(value);
    if (value == "inherit")
        return;
    double number = 0.0;
    double alpha = 1.0;
    SvgLength length;
    if (name == "fill") {
        SvgValueParser::ParsePaint(value, style.fill);
    } else if (name == "stroke") {
        SvgValueParser::ParsePaint(value, style.stroke);
    } else if (name == "color") {
        SvgValueParser::ParseColour(value, style.colour, alpha);
    } else if (name == "opacity") {
        SvgValueParser::ParseUnitFraction(value, style.elementOpacity);
    } else if (name == "fill-opacity") {
        SvgValueParser::ParseUnitFraction(value, style.fillOpacity);
    } else if (name == "stroke-opacity") {
        SvgValueParser::ParseUnitFraction(value, style.strokeOpacity);
    } else if (name == "stroke-width") {
        if (SvgValueParser::ParseLength(value, length) && length.value >= 0.0)
            style.strokeWidth = length;
    } else if (name == "stroke-linejoin") {
        style.lineJoin = static_cast<char>(Keyword(value, {"miter", "round", "bevel"}, style.lineJoin));
    } else if (name == "stroke-linecap") {
        style.lineCap = static_cast<char>(Keyword(value, {"butt", "round", "square"}, style.lineCap));
    } else if (name == "stroke-miterlimit") {
        if (SvgValueParser::ParseNumber(value, number) && number >= 1.0)
            style.miterLimit = number;
    } else if (name == "stroke-dasharray") {
        SvgLength dashes[kSvgMaxDashes];
        int count = 0;
        if (!SvgValueParser::ParseLengthList(value, dashes, kSvgMaxDashes, count))
            return;
        for (int i = 0; i < count; ++i) {
            if (dashes[i].value < 0.0)
                return;
        }
        // An odd list repeats to make dashes and gaps alternate.
        const int total = count % 2 == 1 ? std::min(count * 2, static_cast<int>(kSvgMaxDashes)) : count;
        for (int i = 0; i < total; ++i)
            style.dashes[i] = dashes[i % count];
        style.dashCount = total;
    } else if (name == "stroke-dashoffset") {
        if (SvgValueParser::ParseLength(value, length))
            style.dashOffset = length;
    } else if (name == "fill-rule") {
        style.fillRule = static_cast<char>(Keyword(value, {"nonzero", "evenodd"}, style.fillRule));
    } else if (name == "display") {
        style.displayed = value != "none";
    } else if (name == "visibility") {
        if (value == "visible")
            style.visible = true;
        else if (value == "hidden" || value == "collapse")
            style.visible = false;
    } else if (name == "stop-color") {
        if (value == "currentColor")
            style.stopColour = style.colour;
        else
            SvgValueParser::ParseColour(value, style.stopColour, alpha);
    } else if (name == "stop-opacity") {
        SvgValueParser::ParseUnitFraction(value, style.stopOpacity);
    }
}

double SvgParser::Length(const std::vector<SvgAttribute>& attributes, std::string_view name, ESvgAxis axis, bool& ok,
                         double fallback) const
{
    const SvgAttribute* a = FindAttribute(attributes, name);
    if (!a)
        return fallback;
    SvgLength length;
    if (!SvgValueParser::ParseLength(a->value, length)) {
        ok = false;
        return fallback;
    }
    return mUnits.ToUser(length, axis);
}

bool SvgParser::AddShape(std::string_view localName, const SvgStyle& style, const std::vector<SvgAttribute>& attributes)
{
    if (mShapeCount >= kMaxShapes)
        return false;
    SvgPathBuilder builder(mPointBudget);
    BuildOutlines(localName, attributes, builder);
    if (builder.Overflowed())
        return false;
    mPointBudget = builder.RemainingBudget();
    const std::vector<SvgOutline> outlines = builder.TakeOutlines();
    if (outlines.empty())
        return true;
    const SvgAttribute* id = FindAttribute(attributes, "id");
    return AppendShape(style, outlines, id ? id->value : std::string_view());
}

void SvgParser::BuildOutlines(std::string_view localName, const std::vector<SvgAttribute>& attributes,
                              SvgPathBuilder& builder)
{
    bool ok = true;
    auto length = [&](std::string_view name, ESvgAxis axis) { return Length(attributes, name, axis, ok); };
    if (localName == "path") {
        if (const SvgAttribute* d = FindAttribute(attributes, "d"))
            builder.AddPathData(d->value);
    } else if (localName == "rect") {
        const double x = length("x", ESvgAxis::kX);
        const double y = length("y", ESvgAxis::kY);
        const double w = length("width", ESvgAxis::kX);
        const double h = length("height", ESvgAxis::kY);
        const bool hasRx = FindAttribute(attributes, "rx") != nullptr;
        const bool hasRy = FindAttribute(attributes, "ry") != nullptr;
        double rx = length("rx", ESvgAxis::kX);
        double ry = length("ry", ESvgAxis::kY);
        if (!ok || !(w > 0.0) || !(h > 0.0) || rx < 0.0 || ry < 0.0)
            return;
        // One radius given stands for both.
        if (hasRx && !hasRy)
            ry = rx;
        else if (hasRy && !hasRx)
            rx = ry;
        builder.AddRect(x, y, w, h, std::min(rx, w / 2.0), std::min(ry, h / 2.0));
    } else if (localName == "circle" || localName == "ellipse") {
        const bool circle = localName == "circle";
        const double cx = length("cx", ESvgAxis::kX);
        const double cy = length("cy", ESvgAxis::kY);
        const double rx = circle ? length("r", ESvgAxis::kOther) : length("rx", ESvgAxis::kX);
        const double ry = circle ? rx : length("ry", ESvgAxis::kY);
        if (ok && rx > 0.0 && ry > 0.0)
            builder.AddEllipse(cx, cy, rx, ry);
    } else if (localName == "line") {
        const double x1 = length("x1", ESvgAxis::kX);
        const double y1 = length("y1", ESvgAxis::kY);
        const double x2 = length("x2", ESvgAxis::kX);
        const double y2 = length("y2", ESvgAxis::kY);
        if (!ok)
            return;
        builder.MoveTo(x1, y1);
        builder.LineTo(x2, y2);
    } else if (const SvgAttribute* points = FindAttribute(attributes, "points")) {
        builder.AddPoints(points->value, localName == "polygon");
    }
}

bool SvgParser::AppendShape(const SvgStyle& style, const std::vector<SvgOutline>& outlines, std::string_view id)
{
    // Everything is converted and checked before anything is allocated, so a shape whose
    // coordinates overflow is left out whole.
    double localBounds[4] = {kInfinity, kInfinity, -kInfinity, -kInfinity};
    std::vector<std::vector<float>> converted(outlines.size());
    std::vector<double> transformed;
    std::vector<std::array<double, 4>> pathBounds(outlines.size());
    for (size_t i = 0; i < outlines.size(); ++i) {
        const std::vector<double>& pts = outlines[i].pts;
        IncludeCurves(localBounds, pts);
        transformed.resize(pts.size());
        for (size_t k = 0; k + 1 < pts.size(); k += 2)
            style.xform.Apply(pts[k], pts[k + 1], transformed[k], transformed[k + 1]);
        pathBounds[i] = {kInfinity, kInfinity, -kInfinity, -kInfinity};
        IncludeCurves(pathBounds[i].data(), transformed);
        for (double v : pathBounds[i]) {
            if (!SvgUnits::FitsFloat(v))
                return true;
        }
        converted[i].assign(transformed.begin(), transformed.end());
    }
    if (!std::all_of(localBounds, localBounds + 4, [](double v) { return std::isfinite(v); }))
        return true;

    NSVGshape* shape = new NSVGshape();
    if (mLastShape)
        mLastShape->next = shape;
    else
        mImage->shapes = shape;
    mLastShape = shape;
    ++mShapeCount;

    id.copy(shape->id, sizeof(shape->id) - 1);
    shape->opacity = static_cast<float>(std::clamp(style.opacity, 0.0, 1.0));
    shape->strokeLineJoin = style.lineJoin;
    shape->strokeLineCap = style.lineCap;
    shape->miterLimit = static_cast<float>(style.miterLimit);
    shape->fillRule = style.fillRule;
    shape->flags = style.visible ? kSvgShapeVisible : 0;

    const double scale = style.xform.AverageScale();
    const double strokeWidth = mUnits.ToUser(style.strokeWidth, ESvgAxis::kOther) * scale;
    const bool stroked = strokeWidth > 0.0 && SvgUnits::FitsFloat(strokeWidth);
    shape->strokeWidth = stroked ? static_cast<float>(strokeWidth) : 0.0f;
    double dashes[kSvgMaxDashes];
    double dashSum = 0.0;
    for (int i = 0; i < style.dashCount; ++i) {
        dashes[i] = mUnits.ToUser(style.dashes[i], ESvgAxis::kOther) * scale;
        dashSum += dashes[i];
    }
    const double dashOffset = mUnits.ToUser(style.dashOffset, ESvgAxis::kOther) * scale;
    if (style.dashCount > 0 && dashSum > 0.0 && SvgUnits::FitsFloat(dashSum) && SvgUnits::FitsFloat(dashOffset)) {
        shape->strokeDashCount = static_cast<char>(style.dashCount);
        for (int i = 0; i < style.dashCount; ++i)
            shape->strokeDashArray[i] = static_cast<float>(dashes[i]);
        shape->strokeDashOffset = static_cast<float>(dashOffset);
    }

    SetPaint(*shape, false, style, style.fill, style.fillOpacity, localBounds);
    SetPaint(*shape, true, style, stroked ? style.stroke : SvgPaintSpec(), style.strokeOpacity, localBounds);

    double shapeBounds[4] = {kInfinity, kInfinity, -kInfinity, -kInfinity};
    NSVGpath** tail = &shape->paths;
    for (size_t i = 0; i < outlines.size(); ++i) {
        NSVGpath* path = new NSVGpath();
        *tail = path;
        tail = &path->next;
        path->pts = new float[converted[i].size()];
        std::copy(converted[i].begin(), converted[i].end(), path->pts);
        path->npts = static_cast<int>(converted[i].size() / 2);
        path->closed = outlines[i].closed ? 1 : 0;
        for (int k = 0; k < 4; ++k)
            path->bounds[k] = static_cast<float>(pathBounds[i][k]);
        IncludePoint(shapeBounds, pathBounds[i][0], pathBounds[i][1]);
        IncludePoint(shapeBounds, pathBounds[i][2], pathBounds[i][3]);
    }
    for (int k = 0; k < 4; ++k)
        shape->bounds[k] = static_cast<float>(shapeBounds[k]);
    return true;
}

void SvgParser::SetPaint(NSVGshape& shape, bool stroke, const SvgStyle& style, const SvgPaintSpec& spec, double opacity,
                         const double* bbox)
{
    NSVGpaint& paint = stroke ? shape.stroke : shape.fill;
    paint.type = kSvgPaintNone;
    switch (spec.kind) {
    case SvgPaintSpec::EKind::kColour:
        paint.type = kSvgPaintColour;
        paint.color = WithAlpha(spec.rgb, opacity * spec.alpha);
        break;
    case SvgPaintSpec::EKind::kCurrentColour:
        paint.type = kSvgPaintColour;
        paint.color = WithAlpha(style.colour, opacity);
        break;
    case SvgPaintSpec::EKind::kUrl:
        mPending.push_back(PendingPaint{
            &shape, stroke, spec, style.colour, opacity, style.xform, {bbox[0], bbox[1], bbox[2], bbox[3]}});
        break;
    case SvgPaintSpec::EKind::kNone:
        break;
    }
}

void SvgParser::ResolvePendingPaints()
{
    for (const PendingPaint& p : mPending) {
        NSVGpaint& paint = p.stroke ? p.shape->stroke : p.shape->fill;
        if (mGradients.Resolve(p.spec.url, p.xform, p.bbox, mUnits, paint)) {
            if (paint.type == kSvgPaintColour)
                paint.color = WithAlpha(paint.color, (paint.color >> 24) / 255.0 * p.opacity);
            continue;
        }
        // An unknown gradient falls back to the paint given after the reference, or none.
        if (p.spec.fallbackKind == SvgPaintSpec::EKind::kColour) {
            paint.type = kSvgPaintColour;
            paint.color = WithAlpha(p.spec.fallbackRgb, p.opacity);
        } else if (p.spec.fallbackKind == SvgPaintSpec::EKind::kCurrentColour) {
            paint.type = kSvgPaintColour;
            paint.color = WithAlpha(p.colour, p.opacity);
        }
    }
}

int SvgParser::AddGradient(bool radial, const std::vector<SvgAttribute>& attributes)
{
    static constexpr const char* kCoordNames[SvgGradientDef::kCoordCount] = {"x1", "y1", "x2", "y2", "cx",
                                                                             "cy", "r",  "fx", "fy"};
    SvgGradientDef def;
    def.radial = radial;
    for (const SvgAttribute& a : attributes) {
        if (a.name == "id") {
            // No reference can name a longer id; it is not kept.
            if (a.value.size() <= SvgValueParser::kMaxReferenceLength)
                def.id.assign(a.value);
        } else if (a.name == "href" || a.name == "xlink:href") {
            SvgValueParser::ParseReference(a.value, def.href);
        } else if (a.name == "gradientUnits") {
            const std::string_view units = SvgValueParser::Trim(a.value);
            def.hasUnits = units == "userSpaceOnUse" || units == "objectBoundingBox";
            def.userSpace = units == "userSpaceOnUse";
        } else if (a.name == "gradientTransform") {
            def.hasTransform = SvgValueParser::ParseTransform(a.value, def.transform);
        } else if (a.name == "spreadMethod") {
            const int spread = Keyword(SvgValueParser::Trim(a.value), {"pad", "reflect", "repeat"}, -1);
            def.hasSpread = spread >= 0;
            def.spread = static_cast<char>(def.hasSpread ? spread : kSvgSpreadPad);
        } else {
            for (int i = 0; i < SvgGradientDef::kCoordCount; ++i) {
                if (a.name == kCoordNames[i])
                    def.hasCoord[i] = SvgValueParser::ParseLength(a.value, def.coord[i]);
            }
        }
    }
    return mGradients.Add(std::move(def));
}

void SvgParser::AddStop(int gradient, const SvgStyle& style, const std::vector<SvgAttribute>& attributes)
{
    double offset = 0.0;
    if (const SvgAttribute* a = FindAttribute(attributes, "offset"))
        SvgValueParser::ParseUnitFraction(a->value, offset);
    mGradients.AddStop(gradient, WithAlpha(style.stopColour, style.stopOpacity), offset);
}

} // namespace igraphics
} // namespace iplug
