#pragma once

#include "framework/graphics/svg/SvgMatrix.h"

#include <string>
#include <string_view>

namespace iplug {
namespace igraphics {

enum class ESvgUnit
{
    kUser, // no unit: user units, which are pixels
    kPx,
    kPt,
    kPc,
    kMm,
    kCm,
    kIn,
    kPercent,
    kEm,
    kEx
};

struct SvgLength
{
    double value = 0.0;
    ESvgUnit unit = ESvgUnit::kUser;
};

// How a fill or stroke is given before its gradient reference is resolved.
struct SvgPaintSpec
{
    enum class EKind
    {
        kNone,
        kColour,
        kCurrentColour,
        kUrl
    };
    EKind kind = EKind::kNone;
    unsigned int rgb = 0;              // red in the lowest byte; no alpha
    double alpha = 1.0;                // of an rgba() colour, applied with the fill or stroke opacity
    std::string url;                   // gradient id without '#'
    EKind fallbackKind = EKind::kNone; // used when the url names no gradient
    unsigned int fallbackRgb = 0;
};

// Parsers of single attribute values. Each answers false for a value it cannot read whole,
// leaving its output untouched, so the caller can ignore the attribute.
class SvgValueParser
{
public:
    static std::string_view Trim(std::string_view text);
    static bool ParseNumber(std::string_view text, double& out);
    static bool ParseLength(std::string_view text, SvgLength& out);
    // A number, or a percentage taken as a fraction; clamped to 0..1 (opacities, stop offsets).
    static bool ParseUnitFraction(std::string_view text, double& out);
    // #rgb, #rrggbb, rgb(r, g, b) with numbers or percentages, rgba(...) and named colours;
    // answers red in the lowest byte, then green and blue; alpha (when given) in 0..1.
    static bool ParseColour(std::string_view text, unsigned int& rgb, double& alpha);
    // A url() reference answers kUrl with its id, or with an empty id (naming nothing) when
    // the id is longer than kMaxReferenceLength.
    static bool ParsePaint(std::string_view text, SvgPaintSpec& out);
    // A transform list: matrix, translate, scale, rotate, skewX, skewY, applied left to right.
    static bool ParseTransform(std::string_view text, SvgMatrix& out);
    // Ids longer than this name nothing. A reference is copied into the style of every element
    // below the one that gives it and into every shape's paint, so a hostile document could
    // otherwise multiply its one long id by its number of elements.
    static constexpr size_t kMaxReferenceLength = 256;

    // Answers the id of a local reference, "#id" or "url(#id)"; the empty id for one longer
    // than kMaxReferenceLength.
    static bool ParseReference(std::string_view text, std::string& id);
    // A list of lengths, "none" for none (count 0).
    static bool ParseLengthList(std::string_view text, SvgLength* out, int capacity, int& count);
};

} // namespace igraphics
} // namespace iplug
