#include "framework/core/IParam.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <limits>

namespace iplug {

namespace {

void CopyField(char* field, const char* text)
{
    std::memset(field, 0, kParamTextMax + 1);
    if (text)
        std::strncpy(field, text, kParamTextMax);
}

int DecimalDigitsOf(double step)
{
    int digits = 0;
    while (digits < 6 && step != std::floor(step)) {
        step *= 10.0;
        ++digits;
    }
    return digits;
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The leading decimal number of text, read the same whatever locale the host set
// (0 when there is none). Returns false when it reads as infinite or NaN.
bool ReadLeadingNumber(const char* text, double& out)
{
    out = 0.0;
    while (IsSpace(*text))
        ++text;
    if (*text == '+') {
        ++text;
        if (*text == '+' || *text == '-')
            return true;
    }
    const char* end = text + std::strlen(text);
    double v = 0.0;
    const auto [ptr, ec] = std::from_chars(text, end, v, std::chars_format::general);
    if (ec == std::errc::invalid_argument)
        return true;
    if (ec == std::errc::result_out_of_range) {
        // Too small to represent reads as zero; too large is not a usable value.
        for (const char* p = text; p < ptr; ++p)
            if ((*p == 'e' || *p == 'E') && p[1] == '-')
                return true;
        return false;
    }
    if (!std::isfinite(v))
        return false;
    out = v;
    return true;
}

} // namespace

void IParam::Shape::Prepare(IParam&) {}

IParam::Shape* IParam::ShapeLinear::Clone() const
{
    return new ShapeLinear(*this);
}

ParamScaleKind IParam::ShapeLinear::GetScaleKind() const
{
    return kScaleLinear;
}

double IParam::ShapeLinear::Denormalize(double normalised, const IParam& param) const
{
    return param.GetMin() + normalised * param.GetRange();
}

double IParam::ShapeLinear::Normalize(double value, const IParam& param) const
{
    const double range = param.GetRange();
    return range > 0.0 ? (value - param.GetMin()) / range : 0.0;
}

IParam::ShapePowCurve::ShapePowCurve(double exponent) : exponent(exponent) {}

IParam::Shape* IParam::ShapePowCurve::Clone() const
{
    return new ShapePowCurve(*this);
}

ParamScaleKind IParam::ShapePowCurve::GetScaleKind() const
{
    if (exponent > 2.5)
        return kScaleCubic;
    if (exponent > 1.5)
        return kScaleSquare;
    if (exponent < 0.4)
        return kScaleCubeRoot;
    if (exponent < 2.0 / 3.0)
        return kScaleSquareRoot;
    return kScaleLinear;
}

double IParam::ShapePowCurve::Denormalize(double normalised, const IParam& param) const
{
    // A power of a negative position has no meaning on this curve.
    const double n = std::clamp(normalised, 0.0, 1.0);
    return param.GetMin() + std::pow(n, exponent) * param.GetRange();
}

double IParam::ShapePowCurve::Normalize(double value, const IParam& param) const
{
    const double range = param.GetRange();
    if (!(range > 0.0))
        return 0.0;
    const double r = std::clamp((value - param.GetMin()) / range, 0.0, 1.0);
    return std::pow(r, 1.0 / exponent);
}

IParam::IParam() : shape(std::make_unique<ShapeLinear>()), displayTexts(128) {}

IParam::~IParam() = default;

void IParam::SetupDouble(const char* newName, double newDefault, double newMin, double newMax, double newStep,
                         const char* newLabel, int newFlags, const char* newGroup, const Shape& newShape, int newUnit,
                         DisplayFunction newDisplayFunction)
{
    if (kind == kKindNone)
        kind = kKindDouble;
    CopyField(name, newName);
    CopyField(label, newLabel);
    CopyField(group, newGroup);
    min = newMin;
    max = std::max(newMax, newMin + newStep);
    step = newStep;
    defaultValue = newDefault;
    unit = newUnit;
    flags = newFlags;
    displayFunction = std::move(newDisplayFunction);
    const double initial = ClampToRange(newDefault);
    value.exchange(std::isfinite(initial) ? initial : (std::isfinite(min) ? min : 0.0));
    displayPrecision = DecimalDigitsOf(newStep);
    // Clone first: the given shape may be this parameter's own.
    std::unique_ptr<Shape> copy(newShape.Clone());
    shape = std::move(copy);
    shape->Prepare(*this);
}

void IParam::SetupInt(const char* newName, int newDefault, int newMin, int newMax, const char* newLabel, int newFlags,
                      const char* newGroup)
{
    if (kind == kKindNone)
        kind = kKindInt;
    SetupDouble(newName, newDefault, newMin, newMax, 1.0, newLabel, newFlags | kFlagStepped, newGroup, ShapeLinear(),
                kParamUnitDefault, nullptr);
}

void IParam::SetupEnumTexts(const char* newName, int newDefault, int count, const char* newLabel, int newFlags,
                            const char* newGroup)
{
    if (kind == kKindNone)
        kind = kKindEnum;
    SetupDouble(newName, newDefault, 0.0, double(count) - 1.0, 1.0, newLabel, newFlags | kFlagStepped, newGroup,
                ShapeLinear(), kParamUnitDefault, nullptr);
}

void IParam::SetupEnum(const char* newName, int newDefault, std::initializer_list<const char*> texts, int newFlags,
                       const char* newGroup)
{
    SetupEnumTexts(newName, newDefault, int(texts.size()), "", newFlags, newGroup);
    int i = 0;
    for (const char* text : texts)
        AddDisplayText(i++, text);
}

void IParam::SetupEnumFromArgs(const char* newName, int newDefault, int count, const char* newLabel, int newFlags,
                               const char* newGroup, const char* firstText, ...)
{
    SetupEnumTexts(newName, newDefault, count, newLabel, newFlags, newGroup);
    if (!firstText || count < 1)
        return;
    AddDisplayText(0, firstText);
    va_list args;
    va_start(args, firstText);
    for (int i = 1; i < count; ++i)
        AddDisplayText(i, va_arg(args, const char*));
    va_end(args);
}

void IParam::SetupBool(const char* newName, bool newDefault, const char* newLabel, int newFlags, const char* newGroup,
                       const char* offText, const char* onText)
{
    if (kind == kKindNone)
        kind = kKindBool;
    SetupEnumFromArgs(newName, newDefault ? 1 : 0, 2, newLabel, newFlags, newGroup, nullptr);
    AddDisplayText(0.0, offText);
    AddDisplayText(1.0, onText);
}

void IParam::AddDisplayText(double v, const char* text)
{
    const int old = displayTexts.Size();
    const int wanted = old + int(sizeof(IParamDisplayText));
    displayTexts.Resize(wanted, true);
    if (displayTexts.Size() != wanted)
        return;
    IParamDisplayText entry;
    entry.value = v;
    CopyField(entry.text, text);
    std::memcpy(displayTexts.Data() + old, &entry, sizeof(entry));
}

double IParam::ClampToRange(double v) const
{
    if ((flags & kFlagStepped) && step > 0.0)
        v = std::round(v / step) * step;
    if (v < min)
        return min;
    if (v > max)
        return max;
    return v;
}

void IParam::SetValue(double v)
{
    if (!std::isfinite(v))
        return;
    const double clamped = ClampToRange(v);
    if (std::isfinite(clamped))
        value.exchange(clamped);
}

void IParam::SetNormalized(double normalised)
{
    SetValue(shape->Denormalize(normalised, *this));
}

double IParam::NormalizeValue(double v) const
{
    const double n = shape->Normalize(ClampToRange(v), *this);
    if (n > 1.0)
        return 1.0;
    if (!(n >= 0.0))
        return 0.0;
    return n;
}

double IParam::GetNormalized() const
{
    return NormalizeValue(Value());
}

double IParam::GetDefaultValue(bool normalised) const
{
    return normalised ? NormalizeValue(defaultValue) : defaultValue;
}

double IParam::SnapNormalized(double normalised) const
{
    return NormalizeValue(shape->Denormalize(normalised, *this));
}

int IParam::DisplayTextCount() const
{
    return displayTexts.Size() / int(sizeof(IParamDisplayText));
}

const IParamDisplayText* IParam::GetDisplayText(int index) const
{
    if (index < 0 || index >= DisplayTextCount())
        return nullptr;
    return reinterpret_cast<const IParamDisplayText*>(displayTexts.Data()) + index;
}

const char* IParam::DisplayTextFor(double v) const
{
    for (int i = 0; i < DisplayTextCount(); ++i) {
        const IParamDisplayText* entry = GetDisplayText(i);
        if (entry->value == v)
            return entry->text;
    }
    return "";
}

const char* IParam::UnitLabelToShow() const
{
    const double truncated = std::trunc(Value());
    return DisplayTextFor(truncated)[0] ? "" : label;
}

void IParam::FormatValueText(double v, bool isNormalised, TextBuffer& out, bool useDisplayTexts) const
{
    if (isNormalised)
        v = ClampToRange(shape->Denormalize(v, *this));
    if (displayFunction) {
        displayFunction(v, out);
        return;
    }
    if (useDisplayTexts) {
        for (int i = 0; i < DisplayTextCount(); ++i) {
            const IParamDisplayText* entry = GetDisplayText(i);
            if (entry->value == v && entry->text[0]) {
                out.Set(entry->text, kParamValueTextMax);
                return;
            }
        }
    }
    if (flags & kFlagNegateDisplay)
        v = -v;
    if (v == 0.0)
        v = 0.0; // never show a negative zero

    // to_chars instead of printf: the text must not follow a locale a host has set.
    char text[400];
    char* const end = text + sizeof(text) - 1;
    char* p = text;
    std::to_chars_result result;
    if (displayPrecision == 0) {
        const double r = std::round(v);
        long long whole;
        if (!(r == r))
            whole = 0;
        else if (r >= 9.2e18)
            whole = std::numeric_limits<long long>::max();
        else if (r <= -9.2e18)
            whole = std::numeric_limits<long long>::min();
        else
            whole = (long long)r;
        result = std::to_chars(p, end, whole);
    } else {
        if ((flags & kFlagSignDisplay) && v > 0.0)
            *p++ = '+';
        result = std::to_chars(p, end, v, std::chars_format::fixed, displayPrecision);
    }
    if (result.ec != std::errc())
        result.ptr = text;
    *result.ptr = 0;
    out.Set(text, kParamValueTextMax);
}

double IParam::ParseValueText(const char* text) const
{
    if (!text)
        text = "";
    for (int i = 0; i < DisplayTextCount(); ++i) {
        const IParamDisplayText* entry = GetDisplayText(i);
        if (std::strcmp(entry->text, text) == 0)
            return entry->value;
    }
    if (kind == kKindBool || kind == kKindEnum)
        return 0.0;
    double v;
    if (!ReadLeadingNumber(text, v))
        return Value();
    if (flags & kFlagNegateDisplay)
        v = -v;
    return ClampToRange(v);
}

} // namespace iplug
