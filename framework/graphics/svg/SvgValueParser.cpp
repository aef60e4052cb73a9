#include "framework/graphics/svg/SvgValueParser.h"

#include "framework/graphics/svg/SvgTextCursor.h"

#include <algorithm>
#include <cmath>

namespace iplug {
namespace igraphics {

namespace {
struct NamedColour
{
    const char* name;
    unsigned int rgb; // 0xRRGGBB
};

constexpr NamedColour kNamedColours[] = {
    {"black", 0x000000},     {"silver", 0xc0c0c0},    {"gray", 0x808080},      {"grey", 0x808080},
    {"white", 0xffffff},     {"maroon", 0x800000},    {"red", 0xff0000},       {"purple", 0x800080},
    {"fuchsia", 0xff00ff},   {"magenta", 0xff00ff},   {"green", 0x008000},     {"lime", 0x00ff00},
    {"olive", 0x808000},     {"yellow", 0xffff00},    {"navy", 0x000080},      {"blue", 0x0000ff},
    {"teal", 0x008080},      {"aqua", 0x00ffff},      {"cyan", 0x00ffff},      {"orange", 0xffa500},
    {"brown", 0xa52a2a},     {"pink", 0xffc0cb},      {"gold", 0xffd700},      {"indigo", 0x4b0082},
    {"violet", 0xee82ee},    {"darkgray", 0xa9a9a9},  {"darkgrey", 0xa9a9a9},  {"lightgray", 0xd3d3d3},
    {"lightgrey", 0xd3d3d3}, {"darkred", 0x8b0000},   {"darkgreen", 0x006400}, {"darkblue", 0x00008b},
    {"lightblue", 0xadd8e6}, {"lightgreen", 0x90ee90}};

unsigned int PackRgb(int r, int g, int b)
{
    return static_cast<unsigned int>(r) | (static_cast<unsigned int>(g) << 8) | (static_cast<unsigned int>(b) << 16);
}

unsigned int PackHex(unsigned int rrggbb)
{
    return PackRgb((rrggbb >> 16) & 0xff, (rrggbb >> 8) & 0xff, rrggbb & 0xff);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool ParseHexColour(std::string_view hex, unsigned int& rgb)
{
    if (hex.size() != 3 && hex.size() != 6)
        return false;
    unsigned int value = 0;
    for (char c : hex) {
        const int d = HexDigit(c);
        if (d < 0)
            return false;
        value = value * 16 + static_cast<unsigned int>(d);
    }
    if (hex.size() == 3)
        value = ((value >> 8) & 0xf) * 0x110000 + ((value >> 4) & 0xf) * 0x1100 + (value & 0xf) * 0x11;
    rgb = PackHex(value);
    return true;
}

int ClampChannel(double v)
{
    return static_cast<int>(std::lround(std::clamp(v, 0.0, 255.0)));
}

// rgb(...) or rgba(...): three channels as numbers or percentages, then an optional alpha.
bool ParseFunctionalColour(std::string_view args, bool withAlpha, unsigned int& rgb, double& alpha)
{
    SvgTextCursor cursor(args);
    int channels[3];
    for (int i = 0; i < 3; ++i) {
        cursor.SkipSpace();
        double v = 0.0;
        if (!cursor.ReadNumber(v))
            return false;
        if (cursor.Peek() == '%') {
            cursor.Advance();
            v = v * 255.0 / 100.0;
        }
        channels[i] = ClampChannel(v);
        if (i < 2 || withAlpha) {
            cursor.SkipSpace();
            if (cursor.Peek() != ',')
                return false;
            cursor.Advance();
        }
    }
    double a = 1.0;
    if (withAlpha) {
        cursor.SkipSpace();
        if (!cursor.ReadNumber(a))
            return false;
        if (cursor.Peek() == '%') {
            cursor.Advance();
            a /= 100.0;
        }
    }
    cursor.SkipSpace();
    if (!cursor.AtEnd())
        return false;
    rgb = PackRgb(channels[0], channels[1], channels[2]);
    alpha = std::clamp(a, 0.0, 1.0);
    return true;
}

// Answers the arguments of "name(args)" when text is that call.
bool CallArguments(std::string_view text, std::string_view name, std::string_view& args)
{
    if (text.size() < name.size() + 2 || !EqualsIgnoringCase(text.substr(0, name.size()), name))
        return false;
    std::string_view rest = SvgValueParser::Trim(text.substr(name.size()));
    if (rest.size() < 2 || rest.front() != '(' || rest.back() != ')')
        return false;
    args = rest.substr(1, rest.size() - 2);
    return true;
}

// Reads the numbers of one transform function: "( n [,] n ... )"; answers how many.
bool ReadTransformArguments(SvgTextCursor& cursor, double* args, int capacity, int& count)
{
    cursor.SkipSpace();
    if (cursor.Peek() != '(')
        return false;
    cursor.Advance();
    count = 0;
    cursor.SkipSpace();
    while (cursor.Peek() != ')') {
        if (count == capacity || !cursor.ReadNumber(args[count]))
            return false;
        ++count;
        cursor.SkipSeparator();
    }
    cursor.Advance();
    return true;
}

bool ApplyTransformFunction(std::string_view name, const double* a, int n, SvgMatrix& m)
{
    if (name == "matrix" && n == 6)
        m = SvgMatrix::Make(a[0], a[1], a[2], a[3], a[4], a[5]);
    else if (name == "translate" && (n == 1 || n == 2))
        m = SvgMatrix::Translate(a[0], n == 2 ? a[1] : 0.0);
    else if (name == "scale" && (n == 1 || n == 2))
        m = SvgMatrix::Scale(a[0], n == 2 ? a[1] : a[0]);
    else if (name == "rotate" && n == 1)
        m = SvgMatrix::RotateDegrees(a[0]);
    else if (name == "rotate" && n == 3)
        m = SvgMatrix::Translate(a[1], a[2])
                .Then(SvgMatrix::RotateDegrees(a[0]))
                .Then(SvgMatrix::Translate(-a[1], -a[2]));
    else if (name == "skewX" && n == 1)
        m = SvgMatrix::SkewXDegrees(a[0]);
    else if (name == "skewY" && n == 1)
        m = SvgMatrix::SkewYDegrees(a[0]);
    else
        return false;
    return true;
}

bool ReadUnit(std::string_view unit, ESvgUnit& out)
{
    static constexpr struct
    {
        const char* text;
        ESvgUnit unit;
    } kUnits[] = {{"", ESvgUnit::kUser}, {"px", ESvgUnit::kPx}, {"pt", ESvgUnit::kPt}, {"pc", ESvgUnit::kPc},
                  {"mm", ESvgUnit::kMm}, {"cm", ESvgUnit::kCm}, {"in", ESvgUnit::kIn}, {"%", ESvgUnit::kPercent},
                  {"em", ESvgUnit::kEm}, {"ex", ESvgUnit::kEx}};
    for (const auto& u : kUnits) {
        if (unit == u.text) {
            out = u.unit;
            return true;
        }
    }
    return false;
}
} // namespace

std::string_view SvgValueParser::Trim(std::string_view text)
{
    while (!text.empty() && SvgTextCursor::IsSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && SvgTextCursor::IsSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

bool SvgValueParser::ParseNumber(std::string_view text, double& out)
{
    SvgTextCursor cursor(Trim(text));
    double v = 0.0;
    if (!cursor.ReadNumber(v) || !cursor.AtEnd())
        return false;
    out = v;
    return true;
}

bool SvgValueParser::ParseLength(std::string_view text, SvgLength& out)
{
    SvgTextCursor cursor(Trim(text));
    double v = 0.0;
    ESvgUnit unit = ESvgUnit::kUser;
    if (!cursor.ReadNumber(v) || !ReadUnit(cursor.Rest(), unit))
        return false;
    out.value = v;
    out.unit = unit;
    return true;
}

bool SvgValueParser::ParseUnitFraction(std::string_view text, double& out)
{
    SvgLength length;
    if (!ParseLength(text, length))
        return false;
    if (length.unit == ESvgUnit::kPercent)
        length.value /= 100.0;
    else if (length.unit != ESvgUnit::kUser)
        return false;
    out = std::clamp(length.value, 0.0, 1.0);
    return true;
}

bool SvgValueParser::ParseColour(std::string_view text, unsigned int& rgb, double& alpha)
{
    text = Trim(text);
    std::string_view args;
    if (!text.empty() && text.front() == '#') {
        if (!ParseHexColour(text.substr(1), rgb))
            return false;
        alpha = 1.0;
        return true;
    }
    if (CallArguments(text, "rgba", args))
        return ParseFunctionalColour(args, true, rgb, alpha);
    if (CallArguments(text, "rgb", args))
        return ParseFunctionalColour(args, false, rgb, alpha);
    if (EqualsIgnoringCase(text, "transparent")) {
        rgb = 0;
        alpha = 0.0;
        return true;
    }
    for (const NamedColour& c : kNamedColours) {
        if (EqualsIgnoringCase(text, c.name)) {
            rgb = PackHex(c.rgb);
            alpha = 1.0;
            return true;
        }
    }
    return false;
}

bool SvgValueParser::ParsePaint(std::string_view text, SvgPaintSpec& out)
{
    text = Trim(text);
    SvgPaintSpec paint;
    double alpha = 1.0;
    if (text == "none") {
        paint.kind = SvgPaintSpec::EKind::kNone;
    } else if (EqualsIgnoringCase(text, "currentColor")) {
        paint.kind = SvgPaintSpec::EKind::kCurrentColour;
    } else if (text.substr(0, 4) == "url(") {
        const size_t close = text.find(')');
        if (close == std::string_view::npos || !ParseReference(text.substr(0, close + 1), paint.url))
            return false;
        paint.kind = SvgPaintSpec::EKind::kUrl;
        const std::string_view fallback = Trim(text.substr(close + 1));
        if (fallback.empty() || fallback == "none") {
            paint.fallbackKind = SvgPaintSpec::EKind::kNone;
        } else if (EqualsIgnoringCase(fallback, "currentColor")) {
            paint.fallbackKind = SvgPaintSpec::EKind::kCurrentColour;
        } else if (ParseColour(fallback, paint.fallbackRgb, alpha)) {
            paint.fallbackKind = SvgPaintSpec::EKind::kColour;
        } else {
            return false;
        }
    } else if (ParseColour(text, paint.rgb, paint.alpha)) {
        paint.kind = paint.alpha > 0.0 ? SvgPaintSpec::EKind::kColour : SvgPaintSpec::EKind::kNone;
    } else {
        return false;
    }
    out = paint;
    return true;
}

bool SvgValueParser::ParseTransform(std::string_view text, SvgMatrix& out)
{
    SvgTextCursor cursor(text);
    SvgMatrix result;
    cursor.SkipSpace();
    while (!cursor.AtEnd()) {
        const std::string_view rest = cursor.Rest();
        size_t nameLength = 0;
        while (nameLength < rest.size()
               && ((rest[nameLength] >= 'a' && rest[nameLength] <= 'z')
                   || (rest[nameLength] >= 'A' && rest[nameLength] <= 'Z')))
            ++nameLength;
        const std::string_view name = rest.substr(0, nameLength);
        cursor.Match(name);
        double args[6];
        int count = 0;
        SvgMatrix step;
        if (nameLength == 0 || !ReadTransformArguments(cursor, args, 6, count)
            || !ApplyTransformFunction(name, args, count, step))
            return false;
        result = result.Then(step);
        cursor.SkipSeparator();
    }
    out = result;
    return true;
}

bool SvgValueParser::ParseReference(std::string_view text, std::string& id)
{
    text = Trim(text);
    std::string_view args;
    if (CallArguments(text, "url", args))
        text = Trim(args);
    if (text.size() >= 2 && (text.front() == '\'' || text.front() == '"') && text.back() == text.front())
        text = text.substr(1, text.size() - 2);
    if (text.size() < 2 || text.front() != '#')
        return false;
    const std::string_view name = text.substr(1);
    if (name.size() > kMaxReferenceLength)
        id.clear();
    else
        id.assign(name);
    return true;
}

bool SvgValueParser::ParseLengthList(std::string_view text, SvgLength* out, int capacity, int& count)
{
    text = Trim(text);
    if (text == "none") {
        count = 0;
        return true;
    }
    SvgTextCursor cursor(text);
    int n = 0;
    while (!cursor.AtEnd()) {
        double v = 0.0;
        if (!cursor.ReadNumber(v))
            return false;
        ESvgUnit unit = ESvgUnit::kUser;
        const std::string_view rest = cursor.Rest();
        size_t unitLength = 0;
        while (unitLength < rest.size() && rest[unitLength] != ',' && !SvgTextCursor::IsSpace(rest[unitLength]))
            ++unitLength;
        if (!ReadUnit(rest.substr(0, unitLength), unit))
            return false;
        cursor.Match(rest.substr(0, unitLength));
        if (n < capacity)
            out[n++] = SvgLength{v, unit};
        cursor.SkipSeparator();
    }
    if (n == 0)
        return false;
    count = n;
    return true;
}

} // namespace igraphics
} // namespace iplug
