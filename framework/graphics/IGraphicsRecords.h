#pragma once

#include "framework/core/TextBuffer.h"

#include <cstdint>
#include <initializer_list>

namespace iplug {
namespace igraphics {

class APIBitmap;
struct NSVGimage;

// Value records of the drawing layer. All coordinates are unscaled panel units.

// Axis-aligned rectangle. The box whose four fields are all 0 is the empty box: it contains
// nothing and intersects nothing; a box of zero width with other fields set is not empty.
struct IBox
{
    float left = 0.0f;
    float top = 0.0f;
    float right = 0.0f;
    float bottom = 0.0f;

    constexpr IBox() = default;
    constexpr IBox(float l, float t, float r, float b) : left(l), top(t), right(r), bottom(b) {}

    bool IsEmpty() const { return left == 0.0f && top == 0.0f && right == 0.0f && bottom == 0.0f; }
    float W() const { return right - left; }
    float H() const { return bottom - top; }
    float MW() const { return 0.5f * (left + right); }
    float MH() const { return 0.5f * (top + bottom); }
    float Area() const { return W() * H(); }

    // Left and top inclusive, right and bottom exclusive.
    bool Contains(float x, float y) const { return !IsEmpty() && left <= x && x < right && top <= y && y < bottom; }
    // b lies wholly inside this box (edges may coincide).
    bool Encloses(const IBox& b) const
    {
        return b.left >= left && right >= b.right && b.top >= top && bottom >= b.bottom;
    }
    // Inclusive on this box's right and bottom edges, exclusive on the other's, so the
    // test is not symmetric.
    bool Intersects(const IBox& b) const
    {
        if (IsEmpty() || b.IsEmpty())
            return false;
        return right >= b.left && b.right > left && bottom >= b.top && b.bottom > top;
    }
    // The overlap, or the empty box when the two do not intersect.
    IBox Intersection(const IBox& b) const;
    // The smallest box holding both; an empty box contributes nothing.
    IBox Union(const IBox& b) const;
    IBox Grown(float amount) const { return IBox(left - amount, top - amount, right + amount, bottom + amount); }
    // floor of left and top, ceil of right and bottom on the pixel grid of scale s.
    IBox PixelAligned(float scale) const;
    IBox Translated(float dx, float dy) const { return IBox(left + dx, top + dy, right + dx, bottom + dy); }

    bool operator==(const IBox& b) const
    {
        return left == b.left && top == b.top && right == b.right && bottom == b.bottom;
    }
    bool operator!=(const IBox& b) const { return !(*this == b); }
};

// A colour: alpha first, each channel 0..255.
struct IArgb
{
    int32_t a = 255;
    int32_t r = 0;
    int32_t g = 0;
    int32_t b = 0;

    constexpr IArgb() = default;
    constexpr IArgb(int32_t alpha, int32_t red, int32_t green, int32_t blue) : a(alpha), r(red), g(green), b(blue) {}

    bool operator==(const IArgb& o) const { return a == o.a && r == o.r && g == o.g && b == o.b; }
    bool operator!=(const IArgb& o) const { return !(*this == o); }
};

enum EHorizontalAlign : int32_t
{
    kAlignLeft = 0,
    kAlignCentre = 1,
    kAlignRight = 2
};

enum EVerticalAlign : int32_t
{
    kAlignTop = 0,
    kAlignMiddle = 1,
    kAlignBottom = 2
};

constexpr int kFontIdLength = 64;

// How a text is drawn and how a platform text entry opened with it looks.
struct ITextStyle
{
    char fontId[kFontIdLength] = "Roboto-Regular";
    float size = 14.0f;
    IArgb colour{255, 0, 0, 0};
    IArgb entryBackground{255, 255, 255, 255};
    IArgb entryText{255, 0, 0, 0};
    float angle = 0.0f;
    int32_t hAlign = kAlignCentre;
    int32_t vAlign = kAlignMiddle;

    ITextStyle() = default;
    // The font name is cut to fit; null keeps the default.
    ITextStyle(const char* font, float fontSize, IArgb textColour, int32_t horizontal, int32_t vertical);
};

enum EBlendMode : int32_t
{
    kBlendSourceOver = 0,
    kBlendSourceIn = 1,
    kBlendSourceOut = 2,
    kBlendSourceAtop = 3,
    kBlendDestOver = 4,
    kBlendDestIn = 5,
    kBlendDestOut = 6,
    kBlendDestAtop = 7,
    kBlendAdd = 8,
    kBlendXor = 9
};

// Passed by pointer; null means source-over at weight 1.
struct IBlendSpec
{
    int32_t mode = kBlendSourceOver;
    float weight = 1.0f;
};

// The weight of a blend that may be null.
inline float BlendWeight(const IBlendSpec* blend)
{
    return blend ? blend->weight : 1.0f;
}

// 2-D affine matrix; a point maps to (xx·x + xy·y + tx, yx·x + yy·y + ty).
struct ITransform2D
{
    double xx = 1.0;
    double yx = 0.0;
    double xy = 0.0;
    double yy = 1.0;
    double tx = 0.0;
    double ty = 0.0;

    constexpr ITransform2D() = default;
    constexpr ITransform2D(double a, double b, double c, double d, double e, double f)
        : xx(a), yx(b), xy(c), yy(d), tx(e), ty(f)
    {}

    static ITransform2D Translation(double x, double y) { return ITransform2D(1, 0, 0, 1, x, y); }
    static ITransform2D Scaling(double sx, double sy) { return ITransform2D(sx, 0, 0, sy, 0, 0); }
    // Degrees, clockwise on screen (y grows downward).
    static ITransform2D Rotation(double degrees);

    // this × b: b applies first.
    ITransform2D operator*(const ITransform2D& b) const;
    // The inverse, or the identity for a matrix that has none.
    ITransform2D Inverted() const;
    void Apply(double& x, double& y) const;
    bool IsIdentity() const { return xx == 1.0 && yx == 0.0 && xy == 0.0 && yy == 1.0 && tx == 0.0 && ty == 0.0; }
    bool operator==(const ITransform2D& o) const
    {
        return xx == o.xx && yx == o.yx && xy == o.xy && yy == o.yy && tx == o.tx && ty == o.ty;
    }
};

enum EPaintKind : int32_t
{
    kPaintSolid = 0,
    kPaintLinear = 1,
    kPaintRadial = 2
};

constexpr int kMaxPaintStops = 16;

struct IPaintStop
{
    IArgb colour{255, 0, 0, 0};
    float offset = 0.0f;
};

// What a fill or stroke is painted with: a solid colour (the first stop) or a gradient.
struct IPaint
{
    int32_t kind = kPaintSolid;
    int32_t extend = 1;
    IPaintStop stops[kMaxPaintStops];
    int32_t stopCount = 0;
    ITransform2D transform;

    IPaint() = default;
    // The form every solid-colour drawing operation uses: one stop at offset 0.
    explicit IPaint(const IArgb& colour);
};

enum ECapStyle : int32_t
{
    kCapButt = 0,
    kCapRound = 1,
    kCapSquare = 2
};

enum EJoinStyle : int32_t
{
    kJoinMiter = 0,
    kJoinRound = 1,
    kJoinBevel = 2
};

constexpr int kMaxDashLengths = 8;

struct IDashPattern
{
    float lengths[kMaxDashLengths] = {};
    float offset = 0.0f;
    int32_t count = 0; // 0 = solid line
};

struct IStrokeStyle
{
    float miterLimit = 10.0f;
    bool keepPath = false;
    int32_t cap = kCapButt;
    int32_t join = kJoinMiter;
    IDashPattern dash;
};

enum EFillRule : int32_t
{
    kFillWinding = 0,
    kFillEvenOdd = 1,
    // Imposes no rule: the per-sub-path windings set with PathSetWindingDir decide.
    kFillPreserveWinding = 2
};

struct IFillStyle
{
    int32_t rule = kFillWinding;
    bool keepPath = false;
};

// A handle to a cached bitmap; it owns nothing but its name.
struct IBitmapRef
{
    APIBitmap* bitmap = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int32_t frameCount = 0;
    bool framesHorizontal = false;
    TextBuffer name;

    bool IsValid() const { return bitmap && width > 0 && height > 0 && frameCount > 0; }
};

// A parsed SVG document owned by the process-wide SVG cache; null when loading failed.
using ISvgRef = NSVGimage*;

struct IPointerMods
{
    bool left = false;
    bool right = false;
    bool shift = false;
    bool ctrl = false;
    bool alt = false;
    uint64_t touchId = 0;
    float touchRadius = 0.0f;

    bool Fine() const { return ctrl || shift; }
};

struct IPointerEvent
{
    float x = 0.0f;
    float y = 0.0f;
    float dx = 0.0f;
    float dy = 0.0f;
    IPointerMods mods;
};

constexpr int kKeyTextLength = 5;

struct IKeyStroke
{
    int32_t virtualKey = 0;
    char text[kKeyTextLength] = {};
    bool shift = false;
    bool ctrl = false;
    bool alt = false;
};

// Pointer shapes; any value outside 1..13 shows the arrow.
enum ECursorKind : int32_t
{
    kCursorArrow = 0,
    kCursorIBeam = 1,
    kCursorWait = 2,
    kCursorCross = 3,
    kCursorUpArrow = 4,
    kCursorSizeNWSE = 5,
    kCursorSizeNESW = 6,
    kCursorSizeWE = 7,
    kCursorSizeNS = 8,
    kCursorSizeAll = 9,
    kCursorNo = 10,
    kCursorHand = 11,
    kCursorAppStarting = 12,
    kCursorHelp = 13
};

// The Windows system cursor id that shows a kind.
int SystemCursorId(int cursorKind);

enum EDragAxis : int32_t
{
    kDragVertical = 0,
    kDragHorizontal = 1
};

constexpr int kNumColourRoles = 9;

// Nine colours by role; roles not given take their default.
struct IRoleColours
{
    IArgb roles[kNumColourRoles];

    IRoleColours(std::initializer_list<IArgb> colours = {});
    static IArgb DefaultFor(int role);
};

// The default style record of stock vector widgets.
struct IWidgetStyle
{
    bool flags[6] = {true, true, true, true, true, false};
    float params[5] = {0.0f, 1.0f, 3.0f, 1.0f, 0.0f};
    IRoleColours colours;
    ITextStyle titleStyle;
    ITextStyle valueStyle;
    int32_t trailing = 0;
};

// What a layer shadow is drawn with: the paint, the blur size in panel units, and the offset
// and opacity that the backend's composite step reads.
struct IShadowSpec
{
    IPaint paint;
    float blurSize = 0.0f;
    float xOffset = 0.0f;
    float yOffset = 0.0f;
    float opacity = 1.0f;
    bool drawForeground = true;
};

} // namespace igraphics
} // namespace iplug
