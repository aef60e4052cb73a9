#include "framework/graphics/svg/SvgTextCursor.h"

#include <cmath>

namespace iplug {
namespace igraphics {

namespace {
bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Exponents beyond this overflow or underflow a float anyway; clamping keeps pow finite to compute.
constexpr int kExponentLimit = 400;
} // namespace

void SvgTextCursor::SkipSpace()
{
    while (!AtEnd() && IsSpace(mText[mPos]))
        ++mPos;
}

void SvgTextCursor::SkipSeparator()
{
    SkipSpace();
    if (Peek() == ',') {
        ++mPos;
        SkipSpace();
    }
}

bool SvgTextCursor::ReadNumber(double& out)
{
    size_t p = mPos;
    const size_t n = mText.size();
    double sign = 1.0;
    if (p < n && (mText[p] == '+' || mText[p] == '-')) {
        sign = mText[p] == '-' ? -1.0 : 1.0;
        ++p;
    }
    double mantissa = 0.0;
    int scale = 0;
    bool anyDigit = false;
    while (p < n && IsDigit(mText[p])) {
        mantissa = mantissa * 10.0 + (mText[p] - '0');
        anyDigit = true;
        ++p;
    }
    if (p < n && mText[p] == '.') {
        ++p;
        while (p < n && IsDigit(mText[p])) {
            mantissa = mantissa * 10.0 + (mText[p] - '0');
            --scale;
            anyDigit = true;
            ++p;
        }
    }
    if (!anyDigit)
        return false;
    // An 'e' only starts an exponent when digits follow, so "2em" keeps its unit.
    if (p < n && (mText[p] == 'e' || mText[p] == 'E')) {
        size_t q = p + 1;
        int expSign = 1;
        if (q < n && (mText[q] == '+' || mText[q] == '-')) {
            expSign = mText[q] == '-' ? -1 : 1;
            ++q;
        }
        if (q < n && IsDigit(mText[q])) {
            int exponent = 0;
            while (q < n && IsDigit(mText[q])) {
                if (exponent < kExponentLimit)
                    exponent = exponent * 10 + (mText[q] - '0');
                ++q;
            }
            scale += expSign * exponent;
            p = q;
        }
    }
    if (scale < -2 * kExponentLimit)
        scale = -2 * kExponentLimit;
    const double value = sign * mantissa * std::pow(10.0, scale);
    // Values beyond the float range cannot be drawn; NaN fails both comparisons.
    if (!(value >= -3.0e38 && value <= 3.0e38))
        return false;
    out = value;
    mPos = p;
    return true;
}

bool SvgTextCursor::ReadFlag(bool& out)
{
    const char c = Peek();
    if (c != '0' && c != '1')
        return false;
    out = c == '1';
    ++mPos;
    return true;
}

bool SvgTextCursor::Match(std::string_view word)
{
    if (mText.substr(mPos, word.size()) != word)
        return false;
    mPos += word.size();
    return true;
}

} // namespace igraphics
} // namespace iplug
