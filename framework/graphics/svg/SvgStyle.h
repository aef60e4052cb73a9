#pragma once

#include "framework/graphics/svg/SvgDocument.h"
#include "framework/graphics/svg/SvgMatrix.h"
#include "framework/graphics/svg/SvgValueParser.h"

#include <string>

namespace iplug {
namespace igraphics {

// The presentation state of one element: what it inherits from its parent, overridden by its
// own attributes and style declarations. Lengths stay in their units until a shape uses them.
struct SvgStyle
{
    SvgMatrix xform; // local coordinates to document units
    SvgPaintSpec fill = BlackFill();
    SvgPaintSpec stroke;
    unsigned int colour = 0; // the 'color' property, for currentColor
    double opacity = 1.0;    // product of the element's and its ancestors' opacity
    double fillOpacity = 1.0;
    double strokeOpacity = 1.0;
    SvgLength strokeWidth{1.0, ESvgUnit::kUser};
    SvgLength dashes[kSvgMaxDashes];
    int dashCount = 0;
    SvgLength dashOffset;
    double miterLimit = 4.0;
    char lineJoin = kSvgJoinMiter;
    char lineCap = kSvgCapButt;
    char fillRule = kSvgFillNonZero;
    bool visible = true;
    // Not inherited: reset for every element.
    bool displayed = true;
    double elementOpacity = 1.0;
    unsigned int stopColour = 0;
    double stopOpacity = 1.0;

    static SvgPaintSpec BlackFill()
    {
        SvgPaintSpec paint;
        paint.kind = SvgPaintSpec::EKind::kColour;
        return paint;
    }
};

} // namespace igraphics
} // namespace iplug
