#include "framework/graphics/svg/SvgUnits.h"

#include <cmath>

namespace iplug {
namespace igraphics {

SvgUnits::SvgUnits(double dpi) : mDpi(std::isfinite(dpi) && dpi > 0.0 ? dpi : 96.0) {}

void SvgUnits::SetViewport(double width, double height)
{
    mViewportWidth = width;
    mViewportHeight = height;
}

double SvgUnits::UserUnitsPer(ESvgUnit unit) const
{
    switch (unit) {
    case ESvgUnit::kPt:
        return mDpi / 72.0;
    case ESvgUnit::kPc:
        return mDpi / 6.0;
    case ESvgUnit::kMm:
        return mDpi / 25.4;
    case ESvgUnit::kCm:
        return mDpi / 2.54;
    case ESvgUnit::kIn:
        return mDpi;
    case ESvgUnit::kEm:
        return kFontSize;
    case ESvgUnit::kEx:
        return kFontSize / 2.0;
    default:
        return 1.0;
    }
}

double SvgUnits::ToUser(const SvgLength& length, ESvgAxis axis) const
{
    if (length.unit != ESvgUnit::kPercent)
        return length.value * UserUnitsPer(length.unit);
    double reference = 0.0;
    switch (axis) {
    case ESvgAxis::kX:
        reference = mViewportWidth;
        break;
    case ESvgAxis::kY:
        reference = mViewportHeight;
        break;
    case ESvgAxis::kOther:
        reference = std::sqrt((mViewportWidth * mViewportWidth + mViewportHeight * mViewportHeight) / 2.0);
        break;
    }
    return length.value / 100.0 * reference;
}

double SvgUnits::UserUnitsPer(const char* unitName) const
{
    SvgLength one;
    if (!unitName || !SvgValueParser::ParseLength(std::string("1") + unitName, one) || one.unit == ESvgUnit::kPercent)
        return 1.0;
    return UserUnitsPer(one.unit);
}

} // namespace igraphics
} // namespace iplug
