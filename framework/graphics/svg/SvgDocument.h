#pragma once

// A parsed SVG document as the drawing operations read it: shapes in document order, each with
// its paints and stroke options and its outlines as cubic curves in document units (every
// transform already applied).

namespace iplug {
namespace igraphics {

constexpr int kSvgMaxGradientStops = 16;
constexpr int kSvgMaxDashes = 8;

enum ESvgPaintType : signed char
{
    kSvgPaintNone = 0,
    kSvgPaintColour = 1,
    kSvgPaintLinearGradient = 2,
    kSvgPaintRadialGradient = 3
};

enum ESvgSpread : char
{
    kSvgSpreadPad = 0,
    kSvgSpreadReflect = 1,
    kSvgSpreadRepeat = 2
};

enum ESvgLineJoin : char
{
    kSvgJoinMiter = 0,
    kSvgJoinRound = 1,
    kSvgJoinBevel = 2
};

enum ESvgLineCap : char
{
    kSvgCapButt = 0,
    kSvgCapRound = 1,
    kSvgCapSquare = 2
};

enum ESvgFillRule : char
{
    kSvgFillNonZero = 0,
    kSvgFillEvenOdd = 1
};

enum ESvgShapeFlags : unsigned char
{
    kSvgShapeVisible = 1
};

// Colours are packed with red in the lowest byte, then green, blue and alpha.
struct NSVGgradientStop
{
    unsigned int color;
    float offset;
};

struct NSVGgradient
{
    // Maps document coordinates into gradient space, in the order (xx, yx, xy, yy, tx, ty):
    // a linear gradient runs from (0, 0) to (0, 1) there, a radial one is the unit circle
    // about the origin.
    float xform[6];
    char spread;  // ESvgSpread
    float fx, fy; // focal point in gradient space
    int nstops;
    NSVGgradientStop stops[kSvgMaxGradientStops];
};

struct NSVGpaint
{
    signed char type; // ESvgPaintType
    union
    {
        unsigned int color; // alpha byte carries fill-opacity or stroke-opacity
        NSVGgradient* gradient;
    };
};

struct NSVGpath
{
    float* pts; // x0, y0, then per cubic segment: control 1, control 2, end point
    int npts;   // number of points (pairs), 1 + 3 per segment
    char closed;
    float bounds[4]; // left, top, right, bottom of the curves
    NSVGpath* next;
};

struct NSVGshape
{
    char id[64];
    NSVGpaint fill;
    NSVGpaint stroke;
    float opacity;
    float strokeWidth;
    float strokeDashOffset;
    float strokeDashArray[kSvgMaxDashes];
    char strokeDashCount;
    char strokeLineJoin; // ESvgLineJoin
    char strokeLineCap;  // ESvgLineCap
    float miterLimit;
    char fillRule;       // ESvgFillRule
    unsigned char flags; // ESvgShapeFlags
    float bounds[4];     // union of the paths' bounds
    NSVGpath* paths;
    NSVGshape* next;
};

struct NSVGimage
{
    float width;
    float height;
    NSVGshape* shapes;
};

// Parses an SVG text (NUL-terminated; it may be modified in place). Lengths come out in the
// given units ("px", "pt", "pc", "mm", "cm", "in", "em" or "ex"; null or anything else means
// "px") at the given dots per inch (96 when not a positive finite number). Answers null for
// malformed or oversized input and for a document without a positive size. Free the result
// with nsvgDelete.
NSVGimage* nsvgParse(char* text, const char* units, float dpi);

// Frees a parsed document; null is ignored.
void nsvgDelete(NSVGimage* image);

} // namespace igraphics
} // namespace iplug
