#include "framework/graphics/svg/SvgMatrix.h"

#include <cmath>

namespace iplug {
namespace igraphics {

namespace {
constexpr double kPi = 3.14159265358979323846;

double Radians(double degrees)
{
    return degrees * kPi / 180.0;
}
} // namespace

SvgMatrix SvgMatrix::Make(double xx, double yx, double xy, double yy, double tx, double ty)
{
    SvgMatrix r;
    r.m[0] = xx;
    r.m[1] = yx;
    r.m[2] = xy;
    r.m[3] = yy;
    r.m[4] = tx;
    r.m[5] = ty;
    return r;
}

SvgMatrix SvgMatrix::Translate(double x, double y)
{
    return Make(1.0, 0.0, 0.0, 1.0, x, y);
}

SvgMatrix SvgMatrix::Scale(double sx, double sy)
{
    return Make(sx, 0.0, 0.0, sy, 0.0, 0.0);
}

SvgMatrix SvgMatrix::RotateDegrees(double degrees)
{
    const double c = std::cos(Radians(degrees));
    const double s = std::sin(Radians(degrees));
    return Make(c, s, -s, c, 0.0, 0.0);
}

SvgMatrix SvgMatrix::SkewXDegrees(double degrees)
{
    return Make(1.0, 0.0, std::tan(Radians(degrees)), 1.0, 0.0, 0.0);
}

SvgMatrix SvgMatrix::SkewYDegrees(double degrees)
{
    return Make(1.0, std::tan(Radians(degrees)), 0.0, 1.0, 0.0, 0.0);
}

SvgMatrix SvgMatrix::Then(const SvgMatrix& b) const
{
    const double* a = m;
    return Make(a[0] * b.m[0] + a[2] * b.m[1], a[1] * b.m[0] + a[3] * b.m[1], a[0] * b.m[2] + a[2] * b.m[3],
                a[1] * b.m[2] + a[3] * b.m[3], a[0] * b.m[4] + a[2] * b.m[5] + a[4],
                a[1] * b.m[4] + a[3] * b.m[5] + a[5]);
}

void SvgMatrix::Apply(double x, double y, double& outX, double& outY) const
{
    outX = m[0] * x + m[2] * y + m[4];
    outY = m[1] * x + m[3] * y + m[5];
}

bool SvgMatrix::Invert(SvgMatrix& out) const
{
    const double det = m[0] * m[3] - m[2] * m[1];
    if (!std::isfinite(det) || std::fabs(det) < 1e-12)
        return false;
    const double inv = 1.0 / det;
    out = Make(m[3] * inv, -m[1] * inv, -m[2] * inv, m[0] * inv, (m[2] * m[5] - m[3] * m[4]) * inv,
               (m[1] * m[4] - m[0] * m[5]) * inv);
    return true;
}

double SvgMatrix::AverageScale() const
{
    return std::sqrt(std::fabs(m[0] * m[3] - m[2] * m[1]));
}

} // namespace igraphics
} // namespace iplug
