#include "framework/graphics/svg/SvgValueParser.h"
#include "tests/framework/graphics/SvgTestDocuments.h"

#include <gtest/gtest.h>

#include <string>

using namespace iplug::igraphics;
using namespace svgtest;

namespace {

// Where a document point lands in gradient space.
void ToGradient(const NSVGgradient& g, float x, float y, float& gx, float& gy)
{
    gx = g.xform[0] * x + g.xform[2] * y + g.xform[4];
    gy = g.xform[1] * x + g.xform[3] * y + g.xform[5];
}

void ExpectGradientPoint(const NSVGgradient& g, float x, float y, float gx, float gy)
{
    float ax = 0.0f, ay = 0.0f;
    ToGradient(g, x, y, ax, ay);
    EXPECT_NEAR(ax, gx, 1e-4f) << "document point " << x << ", " << y;
    EXPECT_NEAR(ay, gy, 1e-4f) << "document point " << x << ", " << y;
}

Image ParseFilled(const std::string& defs, const std::string& shape)
{
    return Parse(Document("<defs>" + defs + "</defs>" + shape, R"~(width="200" height="100")~"));
}

constexpr const char* kTwoStops = R"~(<stop offset="0" stop-color="red"/><stop offset="1" stop-color="#00f"/>)~";

TEST(SvgGradient, LinearGradientsRunFromTheirStartToTheirEnd)
{
    struct Case
    {
        const char* name;
        std::string gradient;
        const char* shape;
        float start[2]; // document points that land on gradient (0, 0) and (0, 1)
        float end[2];
    };
    const Case cases[] = {
        {"bounding box by default",
         R"~(<linearGradient id="g">)~" + std::string(kTwoStops) + "</linearGradient>",
         R"~(<rect x="10" y="20" width="100" height="50" fill="url(#g)"/>)~",
         {10, 20},
         {110, 20}},
        {"bounding box percentages",
         R"~(<linearGradient id="g" x1="0%" y1="0%" x2="0%" y2="100%">)~" + std::string(kTwoStops)
             + "</linearGradient>",
         R"~(<rect x="10" y="20" width="100" height="50" fill="url(#g)"/>)~",
         {10, 20},
         {10, 70}},
        {"user space",
         R"~(<linearGradient id="g" gradientUnits="userSpaceOnUse" x1="5" y1="5" x2="25" y2="5">)~"
             + std::string(kTwoStops) + "</linearGradient>",
         R"~(<rect width="100" height="50" fill="url(#g)"/>)~",
         {5, 5},
         {25, 5}},
        {"user space under the shape's transform",
         R"~(<linearGradient id="g" gradientUnits="userSpaceOnUse" x1="0" y1="0" x2="10" y2="0">)~"
             + std::string(kTwoStops) + "</linearGradient>",
         R"~(<g transform="translate(50 10) scale(2)"><rect width="20" height="20" fill="url(#g)"/></g>)~",
         {50, 10},
         {70, 10}},
        {"gradient transform",
         R"~(<linearGradient id="g" gradientUnits="userSpaceOnUse" x2="10" gradientTransform="translate(3 4)">)~"
             + std::string(kTwoStops) + "</linearGradient>",
         R"~(<rect width="20" height="20" fill="url(#g)"/>)~",
         {3, 4},
         {13, 4}},
        {"user space percentages",
         R"~(<linearGradient id="g" gradientUnits="userSpaceOnUse" x1="10%" x2="60%">)~" + std::string(kTwoStops)
             + "</linearGradient>",
         R"~(<rect width="20" height="20" fill="url(#g)"/>)~",
         {20, 0},
         {120, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Image image = ParseFilled(c.gradient, c.shape);
        ASSERT_NE(image, nullptr);
        const NSVGpaint& fill = image->shapes->fill;
        ASSERT_EQ(fill.type, kSvgPaintLinearGradient);
        ExpectGradientPoint(*fill.gradient, c.start[0], c.start[1], 0, 0);
        ExpectGradientPoint(*fill.gradient, c.end[0], c.end[1], 0, 1);
        ASSERT_EQ(fill.gradient->nstops, 2);
        EXPECT_EQ(fill.gradient->stops[0].color, Rgba(255, 0, 0));
        EXPECT_EQ(fill.gradient->stops[1].color, Rgba(0, 0, 255));
        EXPECT_FLOAT_EQ(fill.gradient->stops[1].offset, 1.0f);
    }
}

TEST(SvgGradient, RadialGradientsMapTheirCircleToTheUnitCircle)
{
    const Image image = ParseFilled(R"~(<radialGradient id="r" gradientUnits="userSpaceOnUse" cx="50" cy="40" r="20"
        fx="60" spreadMethod="reflect">)~"
                                        + std::string(kTwoStops) + "</radialGradient>",
                                    R"~(<circle cx="50" cy="40" r="20" stroke="url(#r)" fill="none"/>)~");
    ASSERT_NE(image, nullptr);
    const NSVGshape& s = *image->shapes;
    EXPECT_EQ(s.fill.type, kSvgPaintNone);
    ASSERT_EQ(s.stroke.type, kSvgPaintRadialGradient);
    const NSVGgradient& g = *s.stroke.gradient;
    ExpectGradientPoint(g, 50, 40, 0, 0);
    ExpectGradientPoint(g, 70, 40, 1, 0);
    ExpectGradientPoint(g, 50, 20, 0, -1);
    EXPECT_EQ(g.spread, kSvgSpreadReflect);
    EXPECT_FLOAT_EQ(g.fx, 0.5f);
    EXPECT_FLOAT_EQ(g.fy, 0.0f);
}

TEST(SvgGradient, ReferencedGradientsLendWhatIsNotGivenHere)
{
    const Image image = ParseFilled(R"~(
        <linearGradient id="base" x2="0" y2="1" spreadMethod="repeat">
          <stop offset="0.2" stop-color="#010203" stop-opacity="0.5"/>
          <stop offset="10%" style="stop-color:lime"/>
          <stop offset="0.9" stop-color="white"/>
        </linearGradient>
        <linearGradient id="child" xlink:href="#base" x2="1" y2="0"/>
        <linearGradient id="loop1" href="#loop2"/><linearGradient id="loop2" href="#loop1"/>)~",
                                    R"~(<rect width="10" height="10" fill="url(#child)"/>
                                       <rect width="10" height="10" fill="url(#loop1) red"/>)~");
    ASSERT_NE(image, nullptr);
    const NSVGpaint& fill = image->shapes->fill;
    ASSERT_EQ(fill.type, kSvgPaintLinearGradient);
    const NSVGgradient& g = *fill.gradient;
    // The coordinates of the child, the stops and spread of the base.
    ExpectGradientPoint(g, 10, 0, 0, 1);
    EXPECT_EQ(g.spread, kSvgSpreadRepeat);
    ASSERT_EQ(g.nstops, 3);
    EXPECT_EQ(g.stops[0].color, Rgba(1, 2, 3, 128));
    EXPECT_FLOAT_EQ(g.stops[0].offset, 0.2f);
    // Offsets never run backwards.
    EXPECT_EQ(g.stops[1].color, Rgba(0, 255, 0));
    EXPECT_FLOAT_EQ(g.stops[1].offset, 0.2f);
    EXPECT_FLOAT_EQ(g.stops[2].offset, 0.9f);
    // A reference loop ends without stops: nothing to paint, so the fallback is not used either.
    EXPECT_EQ(image->shapes->next->fill.type, kSvgPaintNone);
}

TEST(SvgGradient, DegenerateAndMissingGradientsFallBack)
{
    struct Case
    {
        const char* name;
        const char* defs;
        const char* fill;
        signed char type;
        unsigned int colour;
    };
    const Case cases[] = {
        {"missing without fallback", "", "url(#nothing)", kSvgPaintNone, 0},
        {"missing with a fallback colour", "", "url(#nothing) #00ff00", kSvgPaintColour, Rgba(0, 255, 0)},
        {"no stops paints nothing", R"~(<linearGradient id="g"/>)~", "url(#g)", kSvgPaintNone, 0},
        {"one stop paints its colour", R"~(<linearGradient id="g"><stop stop-color="blue"/></linearGradient>)~",
         "url(#g)", kSvgPaintColour, Rgba(0, 0, 255)},
        {"zero length paints the last stop",
         R"~(<linearGradient id="g" x2="0"><stop stop-color="red"/><stop offset="1" stop-color="lime"/></linearGradient>)~",
         "url(#g)", kSvgPaintColour, Rgba(0, 255, 0)},
        {"zero radius paints the last stop",
         R"~(<radialGradient id="g" r="0"><stop stop-color="red"/><stop offset="1" stop-color="lime"/></radialGradient>)~",
         "url(#g)", kSvgPaintColour, Rgba(0, 255, 0)},
    }; // namespace
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Image image = ParseFilled(c.defs, std::string(R"~(<rect width="10" height="10" fill-opacity="1" fill=")~")
                                                    + c.fill + "\"/>");
        ASSERT_NE(image, nullptr);
        const NSVGpaint& fill = image->shapes->fill;
        ASSERT_EQ(fill.type, c.type);
        if (c.type == kSvgPaintColour) {
            EXPECT_EQ(fill.color, c.colour);
        }
    }
}

TEST(SvgGradient, IdsUpToTheReferenceBoundResolveAndLongerOnesNameNothing)
{
    const std::string longest(SvgValueParser::kMaxReferenceLength, 'g');
    const std::string tooLong = longest + "g";
    const std::string stops = R"~(<stop stop-color="red"/><stop offset="1" stop-color="blue"/>)~";
    const Image image = ParseFilled(
        "<linearGradient id=\"" + longest + "\">" + stops + "</linearGradient><linearGradient id=\"" + tooLong + "\">"
            + stops + "</linearGradient><linearGradient id=\"child\" href=\"#" + longest
            + "\"/><linearGradient id=\"orphan\" href=\"#" + tooLong + "\"/>",
        "<rect width=\"10\" height=\"10\" fill=\"url(#" + longest + ")\"/><rect width=\"10\" height=\"10\" fill=\"url(#"
            + tooLong + ") #00ff00\"/><rect width=\"10\" height=\"10\" fill=\"url(#child)\"/>"
            + R"~(<rect width="10" height="10" fill="url(#orphan) #00ff00"/>)~");
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(CountShapes(*image), 4);
    const NSVGshape* named = image->shapes;
    const NSVGshape* overlong = named->next;
    const NSVGshape* child = overlong->next;
    const NSVGshape* orphan = child->next;
    EXPECT_EQ(named->fill.type, kSvgPaintLinearGradient);
    EXPECT_EQ(overlong->fill.type, kSvgPaintColour) << "the fallback";
    EXPECT_EQ(overlong->fill.color, Rgba(0, 255, 0));
    ASSERT_EQ(child->fill.type, kSvgPaintLinearGradient);
    EXPECT_EQ(child->fill.gradient->nstops, 2) << "stops lent by the gradient its href names";
    EXPECT_EQ(orphan->fill.type, kSvgPaintNone) << "a gradient without stops paints nothing";
}

TEST(SvgGradient, StopsBeyondTheRecordAreDropped)
{
    std::string stops;
    for (int i = 0; i <= 20; ++i)
        stops += "<stop offset=\"" + std::to_string(i / 20.0) + "\" stop-color=\"#000\"/>";
    const Image image = ParseFilled("<linearGradient id=\"g\">" + stops + "</linearGradient>",
                                    R"~(<rect width="10" height="10" fill="url(#g)"/>)~");
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(image->shapes->fill.type, kSvgPaintLinearGradient);
    EXPECT_EQ(image->shapes->fill.gradient->nstops, kSvgMaxGradientStops);
    EXPECT_FLOAT_EQ(image->shapes->fill.gradient->stops[15].offset, 0.75f);
}

} // namespace
