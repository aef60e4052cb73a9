#include "framework/graphics/svg/SvgGradientTable.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace iplug {
namespace igraphics {

namespace {
SvgLength Percent(double value)
{
    return SvgLength{value, ESvgUnit::kPercent};
}

// A coordinate in user units, or, for bounding-box units, as a fraction of the box.
double Coordinate(const SvgLength& length, ESvgAxis axis, bool userSpace, const SvgUnits& units)
{
    if (userSpace)
        return units.ToUser(length, axis);
    return length.unit == ESvgUnit::kPercent ? length.value / 100.0 : length.value;
}
} // namespace

int SvgGradientTable::Add(SvgGradientDef def)
{
    if (mDefs.size() >= kMaxGradients)
        return -1;
    if (!def.id.empty())
        mById.emplace(def.id, mDefs.size());
    mDefs.push_back(std::move(def));
    return static_cast<int>(mDefs.size() - 1);
}

void SvgGradientTable::AddStop(int index, unsigned int rgba, double offset)
{
    if (index < 0 || static_cast<size_t>(index) >= mDefs.size())
        return;
    std::vector<NSVGgradientStop>& stops = mDefs[static_cast<size_t>(index)].stops;
    if (stops.size() >= static_cast<size_t>(kSvgMaxGradientStops))
        return;
    const float previous = stops.empty() ? 0.0f : stops.back().offset;
    stops.push_back(NSVGgradientStop{rgba, std::max(previous, static_cast<float>(std::clamp(offset, 0.0, 1.0)))});
}

const SvgGradientDef* SvgGradientTable::Find(const std::string& id) const
{
    const auto it = mById.find(id);
    return it == mById.end() ? nullptr : &mDefs[it->second];
}

SvgGradientDef SvgGradientTable::Flatten(const SvgGradientDef& def) const
{
    SvgGradientDef out = def;
    const SvgGradientDef* from = &def;
    for (int hop = 0; hop < kMaxReferenceChain && !from->href.empty(); ++hop) {
        from = Find(from->href);
        if (!from)
            break;
        for (int i = 0; i < SvgGradientDef::kCoordCount; ++i) {
            if (!out.hasCoord[i] && from->hasCoord[i]) {
                out.hasCoord[i] = true;
                out.coord[i] = from->coord[i];
            }
        }
        if (!out.hasUnits && from->hasUnits) {
            out.hasUnits = true;
            out.userSpace = from->userSpace;
        }
        if (!out.hasTransform && from->hasTransform) {
            out.hasTransform = true;
            out.transform = from->transform;
        }
        if (!out.hasSpread && from->hasSpread) {
            out.hasSpread = true;
            out.spread = from->spread;
        }
        if (out.stops.empty())
            out.stops = from->stops;
    }
    const SvgLength defaults[SvgGradientDef::kCoordCount] = {Percent(0),  Percent(0),  Percent(100),
                                                             Percent(0),  Percent(50), Percent(50),
                                                             Percent(50), Percent(50), Percent(50)};
    for (int i = 0; i < SvgGradientDef::kCoordCount; ++i) {
        if (!out.hasCoord[i])
            out.coord[i] = defaults[i];
    }
    // The focal point defaults to the centre, whatever the centre is.
    if (!out.hasCoord[SvgGradientDef::kFx])
        out.coord[SvgGradientDef::kFx] = out.coord[SvgGradientDef::kCx];
    if (!out.hasCoord[SvgGradientDef::kFy])
        out.coord[SvgGradientDef::kFy] = out.coord[SvgGradientDef::kCy];
    return out;
}

bool SvgGradientTable::Resolve(const std::string& id, const SvgMatrix& xform, const double* bbox, const SvgUnits& units,
                               NSVGpaint& paint) const
{
    const SvgGradientDef* found = Find(id);
    if (!found)
        return false;
    const SvgGradientDef def = Flatten(*found);
    paint.type = kSvgPaintNone;
    if (def.stops.empty())
        return true;
    // A single stop paints its colour, as does a gradient that cannot be placed.
    const unsigned int lastColour = def.stops.back().color;
    if (def.stops.size() == 1) {
        paint.type = kSvgPaintColour;
        paint.color = lastColour;
        return true;
    }

    using C = SvgGradientDef;
    auto coord = [&](int i, ESvgAxis axis) { return Coordinate(def.coord[i], axis, def.userSpace, units); };
    SvgMatrix unitSpace;
    if (def.radial) {
        const double cx = coord(C::kCx, ESvgAxis::kX);
        const double cy = coord(C::kCy, ESvgAxis::kY);
        const double r = coord(C::kR, ESvgAxis::kOther);
        unitSpace = SvgMatrix::Make(r, 0.0, 0.0, r, cx, cy);
    } else {
        const double x1 = coord(C::kX1, ESvgAxis::kX);
        const double y1 = coord(C::kY1, ESvgAxis::kY);
        const double dx = coord(C::kX2, ESvgAxis::kX) - x1;
        const double dy = coord(C::kY2, ESvgAxis::kY) - y1;
        // Gradient space runs from (0, 0) to (0, 1) along the gradient vector.
        unitSpace = SvgMatrix::Make(dy, -dx, dx, dy, x1, y1);
    }
    SvgMatrix toDocument = xform;
    if (!def.userSpace)
        toDocument = toDocument.Then(SvgMatrix::Translate(bbox[0], bbox[1]))
                         .Then(SvgMatrix::Scale(bbox[2] - bbox[0], bbox[3] - bbox[1]));
    if (def.hasTransform)
        toDocument = toDocument.Then(def.transform);
    toDocument = toDocument.Then(unitSpace);

    SvgMatrix toGradient;
    bool finite = toDocument.Invert(toGradient);
    for (double v : toGradient.m)
        finite = finite && SvgUnits::FitsFloat(v);
    if (!finite) {
        paint.type = kSvgPaintColour;
        paint.color = lastColour;
        return true;
    }

    NSVGgradient* gradient = new NSVGgradient();
    for (int i = 0; i < 6; ++i)
        gradient->xform[i] = static_cast<float>(toGradient.m[i]);
    gradient->spread = def.spread;
    if (def.radial) {
        const double cx = coord(C::kCx, ESvgAxis::kX);
        const double cy = coord(C::kCy, ESvgAxis::kY);
        const double r = coord(C::kR, ESvgAxis::kOther);
        const double fx = (coord(C::kFx, ESvgAxis::kX) - cx) / r;
        const double fy = (coord(C::kFy, ESvgAxis::kY) - cy) / r;
        gradient->fx = SvgUnits::FitsFloat(fx) ? static_cast<float>(fx) : 0.0f;
        gradient->fy = SvgUnits::FitsFloat(fy) ? static_cast<float>(fy) : 0.0f;
    }
    gradient->nstops = static_cast<int>(def.stops.size());
    std::copy(def.stops.begin(), def.stops.end(), gradient->stops);
    paint.type = def.radial ? kSvgPaintRadialGradient : kSvgPaintLinearGradient;
    paint.gradient = gradient;
    return true;
}

} // namespace igraphics
} // namespace iplug
