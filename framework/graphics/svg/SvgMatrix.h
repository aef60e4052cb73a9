#pragma once

namespace iplug {
namespace igraphics {

// A 2-D affine matrix (xx, yx, xy, yy, tx, ty): a point maps to (xx·x + xy·y + tx, yx·x + yy·y + ty).
struct SvgMatrix
{
    double m[6] = {1.0, 0.0, 0.0, 1.0, 0.0, 0.0};

    static SvgMatrix Make(double xx, double yx, double xy, double yy, double tx, double ty);
    static SvgMatrix Translate(double x, double y);
    static SvgMatrix Scale(double sx, double sy);
    static SvgMatrix RotateDegrees(double degrees);
    static SvgMatrix SkewXDegrees(double degrees);
    static SvgMatrix SkewYDegrees(double degrees);

    // this × other: other applies first.
    SvgMatrix Then(const SvgMatrix& other) const;
    void Apply(double x, double y, double& outX, double& outY) const;
    // Answers false (and leaves out untouched) when the matrix cannot be inverted.
    bool Invert(SvgMatrix& out) const;
    // The factor by which the matrix scales lengths on average (square root of the area ratio).
    double AverageScale() const;
};

} // namespace igraphics
} // namespace iplug
