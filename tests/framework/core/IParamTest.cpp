#include "framework/core/IParam.h"
#include "framework/core/ParamOrigin.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>

using iplug::IParam;
using iplug::TextBuffer;

namespace {

std::string Format(const IParam& param, double v, bool useDisplayTexts = true)
{
    TextBuffer out;
    param.FormatValueText(v, false, out, useDisplayTexts);
    return out.Get();
}

TEST(IParam, DefaultConstructedState)
{
    IParam param;
    EXPECT_EQ(param.Kind(), iplug::kKindNone);
    EXPECT_EQ(param.Unit(), 21);
    EXPECT_EQ(param.GetMin(), 0.0);
    EXPECT_EQ(param.GetMax(), 1.0);
    EXPECT_EQ(param.GetStep(), 1.0);
    EXPECT_STREQ(param.GetName(), "");
    EXPECT_EQ(param.GetShape().GetScaleKind(), iplug::kScaleLinear);
}

TEST(IParam, DisplayPrecisionCountsDecimalDigitsOfStep)
{
    const struct
    {
        double step;
        int precision;
    } cases[] = {{0.001, 3}, {1.0, 0}, {1e-9, 6}, {0.07, 6}, {0.5, 1}, {0.25, 2}, {0.1, 1}, {0.0, 0}, {5.0, 0}};
    for (const auto& c : cases) {
        IParam param;
        param.SetupDouble("p", 0.0, 0.0, 10.0, c.step);
        EXPECT_EQ(param.GetDisplayPrecision(), c.precision) << c.step;
    }
}

TEST(IParam, SetupDoubleWidensAnEmptyRangeByOneStep)
{
    IParam param;
    param.SetupDouble("p", 0.0, 0.0, 0.0, 0.5);
    EXPECT_EQ(param.GetMax(), 0.5);
}

TEST(IParam, SetupDoubleStoresTheClampedDefault)
{
    IParam param;
    param.SetupDouble("Gain", 12.0, -6.0, 6.0, 0.01, "dB", 0, "Out");
    EXPECT_EQ(param.Value(), 6.0);
    EXPECT_EQ(param.GetDefaultValue(), 12.0);
    EXPECT_EQ(param.GetDefaultValue(true), 1.0);
    EXPECT_STREQ(param.GetLabel(), "dB");
    EXPECT_STREQ(param.GetGroup(), "Out");
}

TEST(IParam, TextFieldsAreCutAt31Characters)
{
    IParam param;
    const std::string longName(40, 'n');
    param.SetupDouble(longName.c_str(), 0.0, 0.0, 1.0, 0.1, longName.c_str(), 0, nullptr);
    EXPECT_EQ(std::string(param.GetName()), longName.substr(0, 31));
    EXPECT_EQ(std::string(param.GetLabel()), longName.substr(0, 31));
    EXPECT_STREQ(param.GetGroup(), "");
}

TEST(IParam, SteppedValuesRoundHalfAwayFromZero)
{
    IParam param;
    param.SetupDouble("p", 0.0, -1.0, 1.0, 0.25, "", iplug::kFlagStepped);
    const struct
    {
        double in;
        double out;
    } cases[] = {{0.375, 0.5}, {0.3, 0.25}, {-0.375, -0.5}, {0.124, 0.0}, {5.0, 1.0}, {-5.0, -1.0}};
    for (const auto& c : cases) {
        EXPECT_EQ(param.ClampToRange(c.in), c.out) << c.in;
        param.SetValue(c.in);
        EXPECT_EQ(param.Value(), c.out) << c.in;
    }
}

TEST(IParam, NonFiniteValuesAreIgnored)
{
    IParam param;
    param.SetupDouble("p", 0.3, 0.0, 1.0, 0.001);
    const double nonFinite[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                                -std::numeric_limits<double>::infinity()};
    for (double v : nonFinite) {
        param.SetValue(v);
        EXPECT_EQ(param.Value(), 0.3);
        param.SetNormalized(v);
        EXPECT_EQ(param.Value(), 0.3);
    }
    EXPECT_EQ(param.NormalizeValue(std::numeric_limits<double>::quiet_NaN()), 0.0);
}

TEST(IParam, NormalizeClampsToUnitRange)
{
    IParam param;
    param.SetupDouble("p", 0.0, 2.0, 4.0, 0.01);
    EXPECT_EQ(param.NormalizeValue(10.0), 1.0);
    EXPECT_EQ(param.NormalizeValue(-10.0), 0.0);
    EXPECT_DOUBLE_EQ(param.NormalizeValue(3.0), 0.5);

    IParam empty; // zero-width range: no division by zero
    empty.SetupDouble("p", 0.0, 1.0, 1.0, 0.0);
    EXPECT_EQ(empty.NormalizeValue(1.0), 0.0);
    EXPECT_EQ(empty.GetNormalized(), 0.0);
}

TEST(IParam, LinearShapeRoundTrips)
{
    IParam param;
    param.SetupDouble("p", 0.0, -20.0, 30.0, 0.001);
    for (double v : {-20.0, -3.5, 0.0, 12.25, 30.0}) {
        param.SetNormalized(param.NormalizeValue(v));
        EXPECT_NEAR(param.Value(), v, 1e-9);
    }
    param.SetNormalized(0.5);
    EXPECT_DOUBLE_EQ(param.Value(), 5.0);
}

TEST(IParam, PowerCurveMapsBothWays)
{
    IParam param;
    param.SetupDouble("p", 0.0, 0.0, 1.0, 0.001, "", 0, "", IParam::ShapePowCurve(2.0));
    EXPECT_DOUBLE_EQ(param.GetShape().Denormalize(0.5, param), 0.25);
    EXPECT_DOUBLE_EQ(param.NormalizeValue(0.25), 0.5);
    param.SetNormalized(0.5);
    EXPECT_DOUBLE_EQ(param.Value(), 0.25);
    // Below the curve's start: the lower bound, not a mirrored value.
    param.SetNormalized(-0.5);
    EXPECT_EQ(param.Value(), 0.0);
}

TEST(IParam, EveryIntegerOfASteppedPowerCurveRoundTrips)
{
    IParam param;
    param.SetupDouble("Count", 4.0, 1.0, 16.0, 1.0, "", iplug::kFlagStepped, "", IParam::ShapePowCurve(2.0));
    for (int i = 1; i <= 16; ++i) {
        param.SetNormalized(param.NormalizeValue(i));
        EXPECT_EQ(param.Value(), double(i));
        EXPECT_DOUBLE_EQ(param.SnapNormalized(param.NormalizeValue(i)), param.NormalizeValue(i));
    }
    // Snapping lands on the nearest value the parameter can take.
    const double between = (param.NormalizeValue(5) + param.NormalizeValue(6)) / 2.0 + 1e-3;
    EXPECT_DOUBLE_EQ(param.SnapNormalized(between), param.NormalizeValue(6));
}

TEST(IParam, PowerCurveScaleKindFollowsExponent)
{
    const struct
    {
        double exponent;
        iplug::ParamScaleKind kind;
    } cases[] = {{3.0, iplug::kScaleCubic},      {2.0, iplug::kScaleSquare},    {2.5, iplug::kScaleSquare},
                 {1.5, iplug::kScaleLinear},     {1.0, iplug::kScaleLinear},    {0.5, iplug::kScaleSquareRoot},
                 {0.4, iplug::kScaleSquareRoot}, {0.35, iplug::kScaleCubeRoot}, {2.0 / 3.0, iplug::kScaleLinear}};
    for (const auto& c : cases)
        EXPECT_EQ(IParam::ShapePowCurve(c.exponent).GetScaleKind(), c.kind) << c.exponent;
}

TEST(IParam, ShapeIsClonedSoTheCallersCopyMayGo)
{
    IParam param;
    {
        IParam::ShapePowCurve shape(3.0);
        param.SetupDouble("p", 0.0, 0.0, 1.0, 0.01, "", 0, "", shape);
    }
    EXPECT_EQ(param.GetShape().GetScaleKind(), iplug::kScaleCubic);
    param.SetupDouble("p", 0.0, 0.0, 1.0, 0.01, "", 0, "", param.GetShape()); // its own shape
    EXPECT_EQ(param.GetShape().GetScaleKind(), iplug::kScaleCubic);
}

TEST(IParam, SetupFormsSetKindRangeAndTexts)
{
    IParam integer;
    integer.SetupInt("Seed", 3, 0, 9);
    EXPECT_EQ(integer.Kind(), iplug::kKindInt);
    EXPECT_TRUE(integer.IsStepped());
    EXPECT_EQ(integer.Value(), 3.0);

    IParam choice;
    choice.SetupEnum("Dir", 1, {"BOTH", "UP", "DOWN"});
    EXPECT_EQ(choice.Kind(), iplug::kKindEnum);
    EXPECT_EQ(choice.GetMax(), 2.0);
    EXPECT_EQ(choice.DisplayTextCount(), 3);
    EXPECT_STREQ(choice.DisplayTextFor(2.0), "DOWN");
    EXPECT_EQ(choice.GetDisplayText(-1), nullptr);
    EXPECT_EQ(choice.GetDisplayText(3), nullptr);

    IParam fromArgs;
    fromArgs.SetupEnumFromArgs("Voice", 0, 2, "", 0, "", "OD", "FUZZ");
    EXPECT_STREQ(fromArgs.DisplayTextFor(1.0), "FUZZ");
    IParam noTexts;
    noTexts.SetupEnumFromArgs("Voice", 0, 4, "x", 0, "", nullptr);
    EXPECT_EQ(noTexts.DisplayTextCount(), 0);
    EXPECT_EQ(noTexts.GetMax(), 3.0);

    IParam toggle;
    toggle.SetupBool("Sync", true, "", 0, "", "OFF", "ON");
    EXPECT_EQ(toggle.Kind(), iplug::kKindBool);
    EXPECT_EQ(toggle.Value(), 1.0);
    EXPECT_EQ(toggle.DisplayTextCount(), 2);

    // A kind set earlier survives a later set-up.
    integer.SetupDouble("Seed", 0.0, 0.0, 1.0, 0.1);
    EXPECT_EQ(integer.Kind(), iplug::kKindInt);
}

TEST(IParam, FormattingFlagsAndPrecision)
{
    const struct
    {
        double step;
        int flags;
        double value;
        const char* expected;
    } cases[] = {
        {1.0, iplug::kFlagNegateDisplay, 0.0, "0"},
        {0.001, iplug::kFlagNegateDisplay, 0.0, "0.000"},
        {0.001, iplug::kFlagNegateDisplay, -0.0, "0.000"},
        {0.001, iplug::kFlagNegateDisplay, 0.25, "-0.250"},
        {0.01, iplug::kFlagSignDisplay, 0.5, "+0.50"},
        {0.01, iplug::kFlagSignDisplay, 0.0, "0.00"},
        {0.01, iplug::kFlagSignDisplay, -0.25, "-0.25"},
        {0.01, iplug::kFlagSignDisplay | iplug::kFlagNegateDisplay, 0.25, "-0.25"},
        {0.001, 0, 0.5, "0.500"},
        {0.001, 0, 0.0005, "0.001"}, // the nearest double is just above the half
        {1.0, 0, 2.5, "3"},          // half away from zero
        {1.0, 0, -2.5, "-3"},
        {1.0, 0, -0.4, "0"},
        {1e-9, 0, 0.1234567, "0.123457"},
        {0.1, 0, 1e12, "1000000000000.0"},
    };
    for (const auto& c : cases) {
        IParam param;
        param.SetupDouble("p", 0.0, -1e13, 1e13, c.step, "", c.flags);
        EXPECT_EQ(Format(param, c.value), c.expected) << c.value << " flags " << c.flags;
    }
}

TEST(IParam, FormattedTextIsLimitedTo32Characters)
{
    IParam param;
    param.SetupDouble("p", 0.0, -1e300, 1e300, 0.001);
    EXPECT_EQ(Format(param, 1e40).size(), 32u);
}

TEST(IParam, FormattingIgnoresTheHostsNumericLocale)
{
    const char* names[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "German_Germany.1252", "de-DE"};
    const char* chosen = nullptr;
    for (const char* name : names)
        if (std::setlocale(LC_NUMERIC, name)) {
            chosen = name;
            break;
        }
    if (!chosen)
        GTEST_SKIP() << "no locale with a decimal comma on this machine";
    IParam param;
    param.SetupDouble("p", 0.0, 0.0, 10.0, 0.001);
    const std::string text = Format(param, 0.5);
    const double parsed = param.ParseValueText("2.75");
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_EQ(text, "0.500") << chosen;
    EXPECT_EQ(parsed, 2.75) << chosen;
}

TEST(IParam, FormatNormalisedAndDisplayTexts)
{
    IParam toggle;
    toggle.SetupBool("Freeze", false, "", 0, "", "off", "on");
    EXPECT_EQ(Format(toggle, 1.0), "on");
    EXPECT_EQ(Format(toggle, 1.0, false), "1");

    IParam param;
    param.SetupDouble("p", 0.0, 0.0, 100.0, 1.0);
    param.AddDisplayText(0.0, "min");
    param.AddDisplayText(50.0, "");
    TextBuffer out;
    param.FormatValueText(0.5, true, out, true);
    EXPECT_STREQ(out.Get(), "50"); // an empty display text falls through to the number
    param.FormatValueText(0.0, true, out, true);
    EXPECT_STREQ(out.Get(), "min");

    IParam custom;
    custom.SetupDouble("p", 0.0, 0.0, 1.0, 0.01, "", 0, "", IParam::ShapeLinear(), 21,
                       [](double v, TextBuffer& o) { o.SetFormatted(32, "<%d>", int(v * 10)); });
    custom.FormatValueText(0.5, false, out, true);
    EXPECT_STREQ(out.Get(), "<5>");
}

TEST(IParam, ParsingTexts)
{
    IParam toggle;
    toggle.SetupBool("Freeze", false, "", 0, "", "off", "on");
    EXPECT_EQ(toggle.ParseValueText("on"), 1.0);
    EXPECT_EQ(toggle.ParseValueText("1"), 0.0); // bool and enum parameters read no numbers
    EXPECT_EQ(toggle.ParseValueText("ON"), 0.0);

    IParam level;
    level.SetupDouble("p", 0.0, 0.0, 10.0, 0.001);
    level.AddDisplayText(99.0, "max!");
    level.SetValue(4.0);
    const struct
    {
        const char* text;
        double expected;
    } cases
        [] =
            {
                {"12abc", 10.0}, {"abc", 0.0},   {"2.5", 2.5},   {"  3.5 ms", 3.5}, {"+4", 4.0},
                {"-3", 0.0},     {".5", 0.5},    {"1e0", 1.0},   {"+-2", 0.0},      {"", 0.0},
                {nullptr, 0.0},  {"max!", 99.0}, // a display text's value is returned unclamped
                {"inf", 4.0},    {"nan", 4.0},   {"1e999", 4.0}, {"1e-999", 0.0}, // non-finite keeps the value
            };
    for (const auto& c : cases)
        EXPECT_EQ(level.ParseValueText(c.text), c.expected) << (c.text ? c.text : "(null)");

    IParam negated;
    negated.SetupDouble("p", 0.0, -10.0, 10.0, 0.01, "", iplug::kFlagNegateDisplay);
    EXPECT_EQ(negated.ParseValueText("3"), -3.0);
    EXPECT_EQ(negated.ParseValueText("-20"), 10.0);
}

TEST(IParam, UnitLabelHiddenWhenTheValueHasAText)
{
    IParam param;
    param.SetupDouble("Time", 0.0, 0.0, 100.0, 0.1, "ms");
    param.AddDisplayText(0.0, "off");
    param.SetValue(0.7); // truncated towards zero: 0, which has a text
    EXPECT_STREQ(param.UnitLabelToShow(), "");
    param.SetValue(1.0);
    EXPECT_STREQ(param.UnitLabelToShow(), "ms");
}

TEST(ParamOrigin, TextsInOrder)
{
    const char* expected[] = {"Reset", "Host", "Preset", "UI", "Editor Delegate", "Recompile", "Unknown"};
    for (int i = 0; i < 7; ++i)
        EXPECT_STREQ(iplug::ParamOriginText(iplug::ParamOrigin(i)), expected[i]);
    EXPECT_STREQ(iplug::ParamOriginText(iplug::ParamOrigin(42)), "Unknown");
}

} // namespace
