#pragma once

#include <string_view>
#include <vector>

namespace iplug {
namespace igraphics {

class SvgTextCursor;

// One outline in local coordinates: a start point, then cubic segments (control 1, control 2, end).
struct SvgOutline
{
    std::vector<double> pts; // x, y pairs
    bool closed = false;
};

// Turns path data and basic shapes into outlines made only of cubic segments. The total number
// of points it will hold is bounded; past the bound it refuses further points and reports
// Overflowed().
class SvgPathBuilder
{
public:
    explicit SvgPathBuilder(size_t pointBudget) : mPointBudget(pointBudget) {}

    void MoveTo(double x, double y);
    void LineTo(double x, double y);
    void CubicTo(double x1, double y1, double x2, double y2, double x, double y);
    void QuadTo(double qx, double qy, double x, double y);
    // An elliptical arc from the current point, as in path data, made of cubics of at most 90 degrees.
    void ArcTo(double rx, double ry, double rotationDegrees, bool largeArc, bool sweep, double x, double y);
    void Close();

    // Reads path data up to its end or its first error (what came before the error is kept).
    void AddPathData(std::string_view data);
    void AddRect(double x, double y, double w, double h, double rx, double ry);
    void AddEllipse(double cx, double cy, double rx, double ry);
    // Reads "x,y x,y ..." up to the first error or odd number.
    void AddPoints(std::string_view points, bool closed);

    // The finished outlines (those with at least one segment); the builder is left empty.
    std::vector<SvgOutline> TakeOutlines();
    bool Overflowed() const { return mOverflowed; }
    // Points still allowed after the outlines taken so far.
    size_t RemainingBudget() const { return mPointBudget; }

private:
    void EnsureOutline();
    void FinishOutline();
    void AddPoint(double x, double y);
    bool ReadCommand(char command, SvgTextCursor& cursor);

    std::vector<SvgOutline> mOutlines;
    SvgOutline mCurrent;
    bool mHasCurrent = false;
    double mX = 0.0, mY = 0.0;                 // current point
    double mStartX = 0.0, mStartY = 0.0;       // start of the current outline
    double mLastCtrlX = 0.0, mLastCtrlY = 0.0; // reflected by S and T
    char mLastCommand = 0;
    size_t mPointBudget;
    bool mOverflowed = false;
};

} // namespace igraphics
} // namespace iplug
