#pragma once

#include "framework/graphics/svg/SvgValueParser.h"

namespace iplug {
namespace igraphics {

enum class ESvgAxis
{
    kX,
    kY,
    kOther // radii, stroke widths: percentages of the normalised viewport diagonal
};

// Converts lengths to user units (pixels at the document's dots per inch) and user units to
// the units a caller asked for.
class SvgUnits
{
public:
    // Font-relative units assume the default font size of 16 px, with an ex of half an em.
    static constexpr double kFontSize = 16.0;

    explicit SvgUnits(double dpi);

    void SetViewport(double width, double height);
    double ToUser(const SvgLength& length, ESvgAxis axis) const;
    // User units per unit of the given name ("px", "in", ...); 1 for null and unknown names.
    double UserUnitsPer(const char* unitName) const;
    double Dpi() const { return mDpi; }

    // Whether a value survives the conversion to float as a finite number.
    static bool FitsFloat(double v) { return v >= -3.0e38 && v <= 3.0e38; }

private:
    double UserUnitsPer(ESvgUnit unit) const;

    double mDpi;
    double mViewportWidth = 0.0;
    double mViewportHeight = 0.0;
};

} // namespace igraphics
} // namespace iplug
