#include "framework/graphics/svg/SvgPathBuilder.h"

#include "framework/graphics/svg/SvgTextCursor.h"

#include <cmath>
#include <utility>

namespace iplug {
namespace igraphics {

namespace {
constexpr double kPi = 3.14159265358979323846;
// Control distance of a cubic quarter circle of radius 1.
constexpr double kKappa = 0.5522847498307936;

bool IsLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char ToUpper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

double VectorAngle(double ux, double uy, double vx, double vy)
{
    return std::atan2(ux * vy - uy * vx, ux * vx + uy * vy);
}

bool ReadNumbers(SvgTextCursor& cursor, double* out, int count)
{
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            cursor.SkipSeparator();
        if (!cursor.ReadNumber(out[i]))
            return false;
    }
    return true;
}
} // namespace

void SvgPathBuilder::AddPoint(double x, double y)
{
    if (mPointBudget == 0) {
        mOverflowed = true;
        return;
    }
    --mPointBudget;
    mCurrent.pts.push_back(x);
    mCurrent.pts.push_back(y);
}

void SvgPathBuilder::FinishOutline()
{
    if (mHasCurrent && mCurrent.pts.size() >= 8)
        mOutlines.push_back(std::move(mCurrent));
    mCurrent = SvgOutline();
    mHasCurrent = false;
}

void SvgPathBuilder::EnsureOutline()
{
    if (!mHasCurrent)
        MoveTo(mX, mY);
}

void SvgPathBuilder::MoveTo(double x, double y)
{
    FinishOutline();
    mHasCurrent = true;
    AddPoint(x, y);
    mX = mStartX = mLastCtrlX = x;
    mY = mStartY = mLastCtrlY = y;
}

void SvgPathBuilder::LineTo(double x, double y)
{
    const double dx = x - mX;
    const double dy = y - mY;
    CubicTo(mX + dx / 3.0, mY + dy / 3.0, mX + dx * 2.0 / 3.0, mY + dy * 2.0 / 3.0, x, y);
}

void SvgPathBuilder::CubicTo(double x1, double y1, double x2, double y2, double x, double y)
{
    EnsureOutline();
    AddPoint(x1, y1);
    AddPoint(x2, y2);
    AddPoint(x, y);
    mLastCtrlX = x2;
    mLastCtrlY = y2;
    mX = x;
    mY = y;
}

void SvgPathBuilder::QuadTo(double qx, double qy, double x, double y)
{
    const double x0 = mX;
    const double y0 = mY;
    CubicTo(x0 + (qx - x0) * 2.0 / 3.0, y0 + (qy - y0) * 2.0 / 3.0, x + (qx - x) * 2.0 / 3.0, y + (qy - y) * 2.0 / 3.0,
            x, y);
    mLastCtrlX = qx;
    mLastCtrlY = qy;
}

void SvgPathBuilder::ArcTo(double rx, double ry, double rotationDegrees, bool largeArc, bool sweep, double x, double y)
{
    const double x1 = mX;
    const double y1 = mY;
    if (x1 == x && y1 == y)
        return;
    rx = std::fabs(rx);
    ry = std::fabs(ry);
    if (rx == 0.0 || ry == 0.0) {
        LineTo(x, y);
        return;
    }
    const double phi = rotationDegrees * kPi / 180.0;
    const double cosPhi = std::cos(phi);
    const double sinPhi = std::sin(phi);
    // The end points in the ellipse's own frame, centred between them.
    const double hx = (x1 - x) / 2.0;
    const double hy = (y1 - y) / 2.0;
    const double x1p = cosPhi * hx + sinPhi * hy;
    const double y1p = -sinPhi * hx + cosPhi * hy;
    // Radii too small to reach the end point grow until they just do.
    const double lambda = (x1p * x1p) / (rx * rx) + (y1p * y1p) / (ry * ry);
    if (lambda > 1.0) {
        rx *= std::sqrt(lambda);
        ry *= std::sqrt(lambda);
    }
    const double num = rx * rx * ry * ry - rx * rx * y1p * y1p - ry * ry * x1p * x1p;
    const double den = rx * rx * y1p * y1p + ry * ry * x1p * x1p;
    double coef = den > 0.0 && num > 0.0 ? std::sqrt(num / den) : 0.0;
    if (largeArc == sweep)
        coef = -coef;
    const double cxp = coef * rx * y1p / ry;
    const double cyp = -coef * ry * x1p / rx;
    const double cx = cosPhi * cxp - sinPhi * cyp + (x1 + x) / 2.0;
    const double cy = sinPhi * cxp + cosPhi * cyp + (y1 + y) / 2.0;
    const double ux = (x1p - cxp) / rx;
    const double uy = (y1p - cyp) / ry;
    const double vx = (-x1p - cxp) / rx;
    const double vy = (-y1p - cyp) / ry;
    const double theta1 = VectorAngle(1.0, 0.0, ux, uy);
    double delta = VectorAngle(ux, uy, vx, vy);
    if (!sweep && delta > 0.0)
        delta -= 2.0 * kPi;
    else if (sweep && delta < 0.0)
        delta += 2.0 * kPi;
    if (!std::isfinite(delta) || !std::isfinite(cx) || !std::isfinite(cy)) {
        LineTo(x, y);
        return;
    }

    const int segments = std::max(1, static_cast<int>(std::ceil(std::fabs(delta) / (kPi / 2.0) - 1e-9)));
    const double step = delta / segments;
    const double k = 4.0 / 3.0 * std::tan(step / 4.0);
    auto pointAt = [&](double t, double& px, double& py, double& tx, double& ty) {
        const double ex = rx * std::cos(t);
        const double ey = ry * std::sin(t);
        px = cx + cosPhi * ex - sinPhi * ey;
        py = cy + sinPhi * ex + cosPhi * ey;
        const double dx = -rx * std::sin(t);
        const double dy = ry * std::cos(t);
        tx = cosPhi * dx - sinPhi * dy;
        ty = sinPhi * dx + cosPhi * dy;
    };
    double px = 0.0, py = 0.0, tx = 0.0, ty = 0.0;
    pointAt(theta1, px, py, tx, ty);
    for (int i = 1; i <= segments; ++i) {
        double qx = 0.0, qy = 0.0, sx = 0.0, sy = 0.0;
        pointAt(theta1 + step * i, qx, qy, sx, sy);
        const double c1x = px + k * tx;
        const double c1y = py + k * ty;
        const double c2x = qx - k * sx;
        const double c2y = qy - k * sy;
        if (i == segments) {
            // The arc ends exactly on the requested point, whatever the rounding of the angles.
            qx = x;
            qy = y;
        }
        CubicTo(c1x, c1y, c2x, c2y, qx, qy);
        px = qx;
        py = qy;
        tx = sx;
        ty = sy;
    }
}

void SvgPathBuilder::Close()
{
    if (!mHasCurrent)
        return;
    if (mX != mStartX || mY != mStartY)
        LineTo(mStartX, mStartY);
    mCurrent.closed = true;
    FinishOutline();
    mX = mLastCtrlX = mStartX;
    mY = mLastCtrlY = mStartY;
}

bool SvgPathBuilder::ReadCommand(char command, SvgTextCursor& cursor)
{
    const bool relative = command >= 'a' && command <= 'z';
    const double ox = relative ? mX : 0.0;
    const double oy = relative ? mY : 0.0;
    const char upper = ToUpper(command);
    const bool smoothAfterCubic = mLastCommand == 'C' || mLastCommand == 'S';
    const bool smoothAfterQuad = mLastCommand == 'Q' || mLastCommand == 'T';
    double a[7];
    switch (upper) {
    case 'M':
        if (!ReadNumbers(cursor, a, 2))
            return false;
        MoveTo(ox + a[0], oy + a[1]);
        break;
    case 'L':
        if (!ReadNumbers(cursor, a, 2))
            return false;
        LineTo(ox + a[0], oy + a[1]);
        break;
    case 'H':
        if (!ReadNumbers(cursor, a, 1))
            return false;
        LineTo(ox + a[0], mY);
        break;
    case 'V':
        if (!ReadNumbers(cursor, a, 1))
            return false;
        LineTo(mX, oy + a[0]);
        break;
    case 'C':
        if (!ReadNumbers(cursor, a, 6))
            return false;
        CubicTo(ox + a[0], oy + a[1], ox + a[2], oy + a[3], ox + a[4], oy + a[5]);
        break;
    case 'S': {
        if (!ReadNumbers(cursor, a, 4))
            return false;
        const double c1x = smoothAfterCubic ? 2.0 * mX - mLastCtrlX : mX;
        const double c1y = smoothAfterCubic ? 2.0 * mY - mLastCtrlY : mY;
        CubicTo(c1x, c1y, ox + a[0], oy + a[1], ox + a[2], oy + a[3]);
        break;
    }
    case 'Q':
        if (!ReadNumbers(cursor, a, 4))
            return false;
        QuadTo(ox + a[0], oy + a[1], ox + a[2], oy + a[3]);
        break;
    case 'T': {
        if (!ReadNumbers(cursor, a, 2))
            return false;
        const double qx = smoothAfterQuad ? 2.0 * mX - mLastCtrlX : mX;
        const double qy = smoothAfterQuad ? 2.0 * mY - mLastCtrlY : mY;
        QuadTo(qx, qy, ox + a[0], oy + a[1]);
        break;
    }
    case 'A': {
        bool large = false;
        bool sweep = false;
        if (!ReadNumbers(cursor, a, 3))
            return false;
        cursor.SkipSeparator();
        if (!cursor.ReadFlag(large))
            return false;
        cursor.SkipSeparator();
        if (!cursor.ReadFlag(sweep))
            return false;
        cursor.SkipSeparator();
        if (!ReadNumbers(cursor, a + 3, 2))
            return false;
        ArcTo(a[0], a[1], a[2], large, sweep, ox + a[3], oy + a[4]);
        break;
    }
    default:
        return false;
    }
    mLastCommand = upper;
    return true;
}

void SvgPathBuilder::AddPathData(std::string_view data)
{
    SvgTextCursor cursor(data);
    char command = 0;
    mLastCommand = 0;
    cursor.SkipSpace();
    while (!cursor.AtEnd() && !mOverflowed) {
        const char c = cursor.Peek();
        if (IsLetter(c)) {
            cursor.Advance();
            command = c;
            if (mLastCommand == 0 && ToUpper(command) != 'M')
                break;
            if (ToUpper(command) == 'Z') {
                Close();
                mLastCommand = 'Z';
                cursor.SkipSeparator();
                continue;
            }
            cursor.SkipSpace();
        } else if (command == 0 || ToUpper(command) == 'Z') {
            break;
        }
        if (!ReadCommand(command, cursor))
            break;
        // Further coordinate pairs after a move are lines.
        if (command == 'M')
            command = 'L';
        else if (command == 'm')
            command = 'l';
        cursor.SkipSeparator();
    }
    FinishOutline();
}

void SvgPathBuilder::AddRect(double x, double y, double w, double h, double rx, double ry)
{
    if (rx <= 0.0 || ry <= 0.0) {
        MoveTo(x, y);
        LineTo(x + w, y);
        LineTo(x + w, y + h);
        LineTo(x, y + h);
        Close();
        return;
    }
    auto lineIfLong = [this](double px, double py) {
        if (px != mX || py != mY)
            LineTo(px, py);
    };
    MoveTo(x + rx, y);
    lineIfLong(x + w - rx, y);
    ArcTo(rx, ry, 0.0, false, true, x + w, y + ry);
    lineIfLong(x + w, y + h - ry);
    ArcTo(rx, ry, 0.0, false, true, x + w - rx, y + h);
    lineIfLong(x + rx, y + h);
    ArcTo(rx, ry, 0.0, false, true, x, y + h - ry);
    lineIfLong(x, y + ry);
    ArcTo(rx, ry, 0.0, false, true, x + rx, y);
    Close();
}

void SvgPathBuilder::AddEllipse(double cx, double cy, double rx, double ry)
{
    const double kx = rx * kKappa;
    const double ky = ry * kKappa;
    MoveTo(cx + rx, cy);
    CubicTo(cx + rx, cy + ky, cx + kx, cy + ry, cx, cy + ry);
    CubicTo(cx - kx, cy + ry, cx - rx, cy + ky, cx - rx, cy);
    CubicTo(cx - rx, cy - ky, cx - kx, cy - ry, cx, cy - ry);
    CubicTo(cx + kx, cy - ry, cx + rx, cy - ky, cx + rx, cy);
    Close();
}

void SvgPathBuilder::AddPoints(std::string_view points, bool closed)
{
    SvgTextCursor cursor(points);
    cursor.SkipSpace();
    bool first = true;
    double xy[2];
    while (!cursor.AtEnd() && !mOverflowed && ReadNumbers(cursor, xy, 2)) {
        if (first)
            MoveTo(xy[0], xy[1]);
        else
            LineTo(xy[0], xy[1]);
        first = false;
        cursor.SkipSeparator();
    }
    if (closed)
        Close();
    FinishOutline();
}

std::vector<SvgOutline> SvgPathBuilder::TakeOutlines()
{
    FinishOutline();
    std::vector<SvgOutline> out;
    out.swap(mOutlines);
    mX = mY = mStartX = mStartY = mLastCtrlX = mLastCtrlY = 0.0;
    mLastCommand = 0;
    return out;
}

} // namespace igraphics
} // namespace iplug
