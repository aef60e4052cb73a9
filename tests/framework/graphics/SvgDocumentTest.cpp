#include "framework/graphics/svg/SvgValueParser.h"
#include "tests/engine/AllocationProbe.h"
#include "tests/framework/graphics/SvgTestDocuments.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace iplug::igraphics;
using namespace svgtest;

namespace {

// --- Shapes, paints and paths of small documents ---

struct ShapeCase
{
    const char* name;
    const char* body;
    signed char fillType;
    unsigned int fillColour;
    signed char strokeType;
    unsigned int strokeColour;
    float strokeWidth;
    int paths;
    int firstPathPoints;
    bool firstPathClosed;
    float bounds[4];
};

const ShapeCase kShapeCases[] = {
    {"rect",
     R"~(<rect x="10" y="10" width="20" height="10" fill="#f00"/>)~",
     kSvgPaintColour,
     Rgba(255, 0, 0),
     kSvgPaintNone,
     0,
     1,
     1,
     13,
     true,
     {10, 10, 30, 20}},
    {"rounded rect keeps its box",
     R"~(<rect x="0" y="0" width="40" height="20" rx="5" fill="#00f"/>)~",
     kSvgPaintColour,
     Rgba(0, 0, 255),
     kSvgPaintNone,
     0,
     1,
     1,
     25,
     true,
     {0, 0, 40, 20}},
    {"circle stroked by name",
     R"~(<circle cx="50" cy="50" r="10" fill="none" stroke="blue" stroke-width="3"/>)~",
     kSvgPaintNone,
     0,
     kSvgPaintColour,
     Rgba(0, 0, 255),
     3,
     1,
     13,
     true,
     {40, 40, 60, 60}},
    {"ellipse",
     R"~(<ellipse cx="50" cy="20" rx="30" ry="10" fill="rgb(0, 128, 255)"/>)~",
     kSvgPaintColour,
     Rgba(0, 128, 255),
     kSvgPaintNone,
     0,
     1,
     1,
     13,
     true,
     {20, 10, 80, 30}},
    {"line is open",
     R"~(<line x1="5" y1="6" x2="25" y2="16" stroke="#0f0"/>)~",
     kSvgPaintColour,
     Rgba(0, 0, 0),
     kSvgPaintColour,
     Rgba(0, 255, 0),
     1,
     1,
     4,
     false,
     {5, 6, 25, 16}},
    {"polyline",
     R"~(<polyline points="0,0 10,0 10,10" fill="none" stroke="rgb(100%, 50%, 0%)"/>)~",
     kSvgPaintNone,
     0,
     kSvgPaintColour,
     Rgba(255, 128, 0),
     1,
     1,
     7,
     false,
     {0, 0, 10, 10}},
    {"polygon closes back to its start",
     R"~(<polygon points="0 0 10 0 10 10" fill="#abc"/>)~",
     kSvgPaintColour,
     Rgba(0xaa, 0xbb, 0xcc),
     kSvgPaintNone,
     0,
     1,
     1,
     10,
     true,
     {0, 0, 10, 10}},
    {"relative path with two sub-paths",
     R"~(<path d="M10 10 h10 v10 H10 z m30 0 l5 5 l-5 0 z"/>)~",
     kSvgPaintColour,
     Rgba(0, 0, 0),
     kSvgPaintNone,
     0,
     1,
     2,
     13,
     true,
     {10, 10, 45, 20}},
    {"style declarations beat presentation attributes",
     R"~(<rect width="10" height="10" fill="red" style="fill: lime ; stroke:#000000;stroke-width:2px"/>)~",
     kSvgPaintColour,
     Rgba(0, 255, 0),
     kSvgPaintColour,
     Rgba(0, 0, 0),
     2,
     1,
     13,
     true,
     {0, 0, 10, 10}},
    {"fill and stroke opacity in the alpha byte",
     R"~(<rect width="10" height="10" fill="white" fill-opacity="0.5" stroke="black" stroke-opacity="25%"/>)~",
     kSvgPaintColour,
     Rgba(255, 255, 255, 128),
     kSvgPaintColour,
     Rgba(0, 0, 0, 64),
     1,
     1,
     13,
     true,
     {0, 0, 10, 10}},
    {"rgba alpha joins the fill opacity",
     R"~(<rect width="10" height="10" fill="rgba(255, 0, 0, 0.5)" fill-opacity="0.5"/>)~",
     kSvgPaintColour,
     Rgba(255, 0, 0, 64),
     kSvgPaintNone,
     0,
     1,
     1,
     13,
     true,
     {0, 0, 10, 10}},
    {"group paints and transforms inherit",
     R"~(<g fill="navy" stroke="red" stroke-width="2" transform="translate(10 20)"><rect width="5" height="5"/></g>)~",
     kSvgPaintColour,
     Rgba(0, 0, 128),
     kSvgPaintColour,
     Rgba(255, 0, 0),
     2,
     1,
     13,
     true,
     {10, 20, 15, 25}},
    {"currentColor follows the color property",
     R"~(<g color="#123456"><rect width="5" height="5" fill="currentColor"/></g>)~",
     kSvgPaintColour,
     Rgba(0x12, 0x34, 0x56),
     kSvgPaintNone,
     0,
     1,
     1,
     13,
     true,
     {0, 0, 5, 5}},
    {"stroke width of 0 strokes nothing",
     R"~(<rect width="5" height="5" stroke="red" stroke-width="0"/>)~",
     kSvgPaintColour,
     Rgba(0, 0, 0),
     kSvgPaintNone,
     0,
     0,
     1,
     13,
     true,
     {0, 0, 5, 5}},
    {"unknown colour keeps the inherited paint",
     R"~(<g fill="red"><rect width="5" height="5" fill="nocolour"/></g>)~",
     kSvgPaintColour,
     Rgba(255, 0, 0),
     kSvgPaintNone,
     0,
     1,
     1,
     13,
     true,
     {0, 0, 5, 5}},
    {"bounds follow the curve, not its control points",
     R"~(<path d="M0 0 C0 -10 10 -10 10 0"/>)~",
     kSvgPaintColour,
     Rgba(0, 0, 0),
     kSvgPaintNone,
     0,
     1,
     1,
     4,
     false,
     {0, -7.5f, 10, 0}},
};

TEST(SvgDocument, SmallDocumentsGiveTheirShapesPaintsAndPaths)
{
    for (const ShapeCase& c : kShapeCases) {
        SCOPED_TRACE(c.name);
        const Image image = Parse(Document(c.body));
        ASSERT_NE(image, nullptr);
        ASSERT_EQ(CountShapes(*image), 1);
        const NSVGshape& s = *image->shapes;
        EXPECT_EQ(s.flags, kSvgShapeVisible);
        EXPECT_EQ(s.fill.type, c.fillType);
        if (c.fillType == kSvgPaintColour) {
            EXPECT_EQ(s.fill.color, c.fillColour);
        }
        EXPECT_EQ(s.stroke.type, c.strokeType);
        if (c.strokeType == kSvgPaintColour) {
            EXPECT_EQ(s.stroke.color, c.strokeColour);
            EXPECT_FLOAT_EQ(s.strokeWidth, c.strokeWidth);
        }
        ASSERT_EQ(CountPaths(s), c.paths);
        EXPECT_EQ(s.paths->npts, c.firstPathPoints);
        EXPECT_EQ(s.paths->closed != 0, c.firstPathClosed);
        ExpectBounds(s.bounds, c.bounds[0], c.bounds[1], c.bounds[2], c.bounds[3]);
        for (const NSVGpath* p = s.paths; p; p = p->next) {
            EXPECT_EQ((p->npts - 1) % 3, 0);
            // A closed outline ends where it started.
            if (p->closed) {
                EXPECT_FLOAT_EQ(p->pts[2 * (p->npts - 1)], p->pts[0]);
                EXPECT_FLOAT_EQ(p->pts[2 * (p->npts - 1) + 1], p->pts[1]);
            }
        }
    }
}

TEST(SvgDocument, StrokeOptionsComeFromTheDocument)
{
    const Image image = Parse(Document(R"~(<g stroke-linejoin="round" stroke-miterlimit="7">
        <path d="M0 0 L10 10" stroke="red" stroke-linecap="square" fill-rule="evenodd"/></g>
        <path d="M0 0 L10 10" stroke="red" style="stroke-linejoin:bevel;stroke-linecap:round"/>)~"));
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(CountShapes(*image), 2);
    const NSVGshape& a = *image->shapes;
    EXPECT_EQ(a.strokeLineJoin, kSvgJoinRound);
    EXPECT_EQ(a.strokeLineCap, kSvgCapSquare);
    EXPECT_FLOAT_EQ(a.miterLimit, 7.0f);
    EXPECT_EQ(a.fillRule, kSvgFillEvenOdd);
    const NSVGshape& b = *a.next;
    EXPECT_EQ(b.strokeLineJoin, kSvgJoinBevel);
    EXPECT_EQ(b.strokeLineCap, kSvgCapRound);
    EXPECT_FLOAT_EQ(b.miterLimit, 4.0f);
    EXPECT_EQ(b.fillRule, kSvgFillNonZero);
}

TEST(SvgDocument, DashArraysRepeatOddListsAndScaleWithTheShape)
{
    struct Case
    {
        const char* attributes;
        std::vector<float> dashes;
        float offset;
    };
    const Case cases[] = {
        {R"~(stroke-dasharray="4 2")~", {4, 2}, 0},
        {R"~(stroke-dasharray="5,3,1" stroke-dashoffset="2")~", {5, 3, 1, 5, 3, 1}, 2},
        {R"~(stroke-dasharray="1 2 3 4 5 6 7 8 9 10")~", {1, 2, 3, 4, 5, 6, 7, 8}, 0},
        {R"~(stroke-dasharray="none")~", {}, 0},
        {R"~(stroke-dasharray="4 -2")~", {}, 0},
        {R"~(stroke-dasharray="0 0")~", {}, 0},
        {R"~(stroke-dasharray="2 1" transform="scale(3)")~", {6, 3}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.attributes);
        const Image image = Parse(Document(std::string("<path d=\"M0 0 H10\" stroke=\"red\" ") + c.attributes + "/>"));
        ASSERT_NE(image, nullptr);
        const NSVGshape& s = *image->shapes;
        ASSERT_EQ(s.strokeDashCount, static_cast<char>(c.dashes.size()));
        for (size_t i = 0; i < c.dashes.size(); ++i)
            EXPECT_FLOAT_EQ(s.strokeDashArray[i], c.dashes[i]);
        EXPECT_FLOAT_EQ(s.strokeDashOffset, c.offset);
    }
}

TEST(SvgDocument, VisibilityOpacityAndSkippedContent)
{
    const Image image = Parse(Document(R"~(
        <g opacity="0.5"><rect id="half" width="1" height="1" opacity="0.5"/></g>
        <rect id="hidden" width="1" height="1" visibility="hidden"/>
        <g visibility="hidden"><rect id="shown again" width="1" height="1" visibility="visible"/></g>
        <g display="none"><rect id="not displayed" width="1" height="1"/></g>
        <rect id="none" width="1" height="1" style="display:none"/>
        <defs><rect id="in defs" width="1" height="1"/></defs>
        <text x="0" y="10">label<tspan>more</tspan></text>
        <clipPath id="c"><rect id="in clip" width="1" height="1"/></clipPath>
        <mask id="m"><rect id="in mask" width="1" height="1"/></mask>
        <filter id="f"><feGaussianBlur stdDeviation="2"/></filter>
        <use href="#half"/>
        <image href="a.png" width="10" height="10"/>
        <!-- <rect id="commented" width="1" height="1"/> -->
        <![CDATA[ <rect id="cdata"/> ]]>
        <rect id="empty" width="0" height="5"/>
        <rect id="last" width="1" height="1"/>)~"));
    ASSERT_NE(image, nullptr);
    std::vector<std::string> ids;
    for (const NSVGshape* s = image->shapes; s; s = s->next)
        ids.push_back(s->id);
    EXPECT_EQ(ids, (std::vector<std::string>{"half", "hidden", "shown again", "last"}));
    const NSVGshape& half = *image->shapes;
    EXPECT_FLOAT_EQ(half.opacity, 0.25f);
    EXPECT_EQ(half.next->flags & kSvgShapeVisible, 0);
    EXPECT_EQ(half.next->next->flags & kSvgShapeVisible, kSvgShapeVisible);
}

TEST(SvgDocument, PathCommandsBuildCubicSegments)
{
    struct Case
    {
        const char* d;
        std::vector<float> pts;
    };
    const Case cases[] = {
        // Lines become cubics with their controls at the thirds.
        {"M0 0 L3 6", {0, 0, 1, 2, 2, 4, 3, 6}},
        // Further pairs after a move are lines; relative ones from the current point.
        {"m1 1 3 0", {1, 1, 2, 1, 3, 1, 4, 1}},
        // A quadratic's controls sit two thirds of the way to its control point.
        {"M0 0 Q3 3 6 0", {0, 0, 2, 2, 4, 2, 6, 0}},
        // T reflects the previous quadratic control point.
        {"M0 0 Q3 3 6 0 T12 0", {0, 0, 2, 2, 4, 2, 6, 0, 8, -2, 10, -2, 12, 0}},
        // S reflects the previous cubic's second control point.
        {"M0 0 C0 1 2 1 2 0 S4 -1 4 0", {0, 0, 0, 1, 2, 1, 2, 0, 2, -1, 4, -1, 4, 0}},
        // S after a line uses the current point as its first control.
        {"M0 0 L3 0 s1 1 3 0", {0, 0, 1, 0, 2, 0, 3, 0, 3, 0, 4, 1, 6, 0}},
        {"M0 0 c1 1 2 1 3 0", {0, 0, 1, 1, 2, 1, 3, 0}},
        {"M0 0 V3 h-3", {0, 0, 0, 1, 0, 2, 0, 3, -1, 3, -2, 3, -3, 3}},
        // Numbers may run together: signs and second decimal points start new numbers.
        {"M0-3L.5.5", {0, -3, 1.0f / 6, -11.0f / 6, 1.0f / 3, -2.0f / 3, 0.5f, 0.5f}},
        {"M0 0 L1e1 0", {0, 0, 10.0f / 3, 0, 20.0f / 3, 0, 10, 0}},
        // An error keeps what came before it.
        {"M0 0 L3 0 L 4 x 5 5", {0, 0, 1, 0, 2, 0, 3, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.d);
        const Image image = Parse(Document(std::string("<path d=\"") + c.d + "\"/>"));
        ASSERT_NE(image, nullptr);
        ASSERT_NE(image->shapes, nullptr);
        const NSVGpath& p = *image->shapes->paths;
        ASSERT_EQ(p.npts * 2, static_cast<int>(c.pts.size()));
        for (size_t i = 0; i < c.pts.size(); ++i)
            EXPECT_NEAR(p.pts[i], c.pts[i], 1e-5f) << "at " << i;
    }
}

TEST(SvgDocument, PathsThatDrawNothingAreLeftOut)
{
    for (const char* d : {"", "L10 10", "M5 5", "M5 5 Z", "10 10"}) {
        SCOPED_TRACE(d);
        const Image image = Parse(Document(std::string("<path d=\"") + d + "\"/>"));
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->shapes, nullptr);
    }
}

TEST(SvgDocument, ClosingStartsTheNextOutlineAtTheClosedOnesStart)
{
    const Image image = Parse(Document(R"~(<path d="M10 10 L20 10 L20 20 Z L0 20"/>)~"));
    ASSERT_NE(image, nullptr);
    const NSVGshape& s = *image->shapes;
    ASSERT_EQ(CountPaths(s), 2);
    const NSVGpath& second = LastPath(s);
    EXPECT_FLOAT_EQ(second.pts[0], 10.0f);
    EXPECT_FLOAT_EQ(second.pts[1], 10.0f);
    EXPECT_FALSE(second.closed);
}

// --- Arcs ---

TEST(SvgDocument, ArcsEndOnTheirEndPointAndFollowTheEllipse)
{
    struct Case
    {
        const char* d;
        float end[2];
        float bounds[4];
        float centre[2]; // of the circle, when the arc is circular (radius > 0)
        float radius;
    };
    const Case cases[] = {
        // Clockwise on screen from the left of the centre passes over the top.
        {"M0 0 A10 10 0 0 1 20 0", {20, 0}, {0, -10, 20, 0}, {10, 0}, 10},
        {"M0 0 A10 10 0 0 0 20 0", {20, 0}, {0, 0, 20, 10}, {10, 0}, 10},
        // Radii too small to span the end points grow until they do.
        {"M0 0 A1 1 0 0 1 20 0", {20, 0}, {0, -10, 20, 0}, {10, 0}, 10},
        // Large arc: three quarters of the circle about (10, 10).
        {"M0 10 A10 10 0 1 1 10 20", {10, 20}, {0, 0, 20, 20}, {10, 10}, 10},
        // Both flags flipped: the other quarter of the same circle.
        {"M0 10 A10 10 0 0 0 10 20", {10, 20}, {0, 10, 10, 20}, {10, 10}, 10},
        // One flag flipped: the quarter of the circle about (0, 20).
        {"M0 10 A10 10 0 0 1 10 20", {10, 20}, {0, 10, 10, 20}, {0, 20}, 10},
        // Flags written without separators.
        {"M0 0a10 10 0 0120 0", {20, 0}, {0, -10, 20, 0}, {10, 0}, 10},
        // A rotated ellipse: its major axis is vertical.
        {"M0 0 A20 10 90 0 1 0 40", {0, 40}, {0, 0, 10, 40}, {0, 0}, 0},
        // A zero radius makes a straight line.
        {"M0 0 A0 5 0 0 1 20 0", {20, 0}, {0, 0, 20, 0}, {0, 0}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.d);
        const Image image = Parse(Document(std::string("<path d=\"") + c.d + "\"/>"));
        ASSERT_NE(image, nullptr);
        const NSVGpath& p = *image->shapes->paths;
        EXPECT_FLOAT_EQ(p.pts[2 * (p.npts - 1)], c.end[0]);
        EXPECT_FLOAT_EQ(p.pts[2 * (p.npts - 1) + 1], c.end[1]);
        ExpectBounds(p.bounds, c.bounds[0], c.bounds[1], c.bounds[2], c.bounds[3], 0.02f);
        if (c.radius <= 0.0f)
            continue;
        // Every segment's ends and middle lie on the circle.
        for (int i = 0; i + 3 < p.npts; i += 3) {
            const float* q = p.pts + 2 * i;
            const float mx = 0.125f * q[0] + 0.375f * q[2] + 0.375f * q[4] + 0.125f * q[6];
            const float my = 0.125f * q[1] + 0.375f * q[3] + 0.375f * q[5] + 0.125f * q[7];
            for (const float* xy : {q, q + 6}) {
                EXPECT_NEAR(std::hypot(xy[0] - c.centre[0], xy[1] - c.centre[1]), c.radius, 1e-3f);
            }
            EXPECT_NEAR(std::hypot(mx - c.centre[0], my - c.centre[1]), c.radius, 0.01f);
        }
    }
}

// --- Transforms ---

TEST(SvgDocument, TransformsMapShapesIntoTheDocument)
{
    struct Case
    {
        const char* transform;
        float bounds[4]; // of the rectangle (0, 0)-(10, 10)
    };
    const Case cases[] = {
        {"translate(5)", {5, 0, 15, 10}},
        {"translate(5, -2)", {5, -2, 15, 8}},
        {"scale(2)", {0, 0, 20, 20}},
        {"scale(2 0.5)", {0, 0, 20, 5}},
        {"rotate(90)", {-10, 0, 0, 10}},
        {"rotate(90 5 5)", {0, 0, 10, 10}},
        {"rotate(180, 10, 10)", {10, 10, 20, 20}},
        {"skewX(45)", {0, 0, 20, 10}},
        {"skewY(45)", {0, 0, 10, 20}},
        {"matrix(1 0 0 1 3 4)", {3, 4, 13, 14}},
        // A list applies from the right: scale first, then translate.
        {"translate(10,0) scale(2)", {10, 0, 30, 20}},
        {"scale(2),translate(10,0)", {20, 0, 40, 20}},
        // A transform that does not parse is ignored.
        {"translate(5", {0, 0, 10, 10}},
        {"spin(3)", {0, 0, 10, 10}},
        {"rotate(1 2)", {0, 0, 10, 10}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.transform);
        const Image image =
            Parse(Document(std::string("<rect width=\"10\" height=\"10\" transform=\"") + c.transform + "\"/>"));
        ASSERT_NE(image, nullptr);
        ExpectBounds(image->shapes->bounds, c.bounds[0], c.bounds[1], c.bounds[2], c.bounds[3]);
    }
}

TEST(SvgDocument, GroupTransformsComposeOutsideIn)
{
    const Image image = Parse(Document(R"~(<g transform="translate(100 0)"><g transform="scale(2)">
        <rect x="1" y="1" width="1" height="1" transform="translate(1 0)" stroke="red" stroke-width="3"/></g></g>)~",
                                       R"~(width="400" height="100")~"));
    ASSERT_NE(image, nullptr);
    const NSVGshape& s = *image->shapes;
    ExpectBounds(s.bounds, 104, 2, 106, 4);
    EXPECT_FLOAT_EQ(s.strokeWidth, 6.0f);
}

// --- Document size and units ---

TEST(SvgDocument, DocumentSizeIsGivenInTheRequestedUnits)
{
    struct Case
    {
        const char* root;
        const char* units;
        float dpi;
        float width;
        float height;
    };
    const Case cases[] = {
        {R"~(width="200" height="100")~", "px", 96, 200, 100},
        {R"~(width="200px" height="100px")~", nullptr, 96, 200, 100},
        {R"~(width="1in" height="2in")~", "px", 96, 96, 192},
        {R"~(width="1in" height="2in")~", "px", 72, 72, 144},
        {R"~(width="1in" height="2in")~", "in", 96, 1, 2},
        {R"~(width="72pt" height="6pc")~", "in", 96, 1, 1},
        {R"~(width="25.4mm" height="2.54cm")~", "mm", 150, 25.4f, 25.4f},
        {R"~(width="96" height="48")~", "cm", 96, 2.54f, 1.27f},
        {R"~(width="96" height="48")~", "pt", 96, 72, 36},
        {R"~(width="2em" height="2ex")~", "px", 96, 32, 16},
        {R"~(width="32" height="16")~", "em", 96, 2, 1},
        // An unusable dpi falls back to 96.
        {R"~(width="1in" height="1in")~", "px", 0, 96, 96},
        {R"~(width="1in" height="1in")~", "px", NAN, 96, 96},
        // The view box gives the size when the root does not.
        {R"~(viewBox="0 0 30 20")~", "px", 96, 30, 20},
        {R"~(width="60" viewBox="0 0 30 20")~", "px", 96, 60, 40},
        {R"~(width="50%" height="100%" viewBox="0 0 30 20")~", "px", 96, 15, 20},
        {R"~(width="auto" height="10" viewBox="0,0,30,20")~", "px", 96, 15, 10},
        // Without size or view box the drawing's extent is the size.
        {"", "px", 96, 30, 15},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.root) + " in " + (c.units ? c.units : "(null)"));
        const Image image = Parse(Document(R"~(<rect x="10" y="5" width="20" height="10"/>)~", c.root), c.units, c.dpi);
        ASSERT_NE(image, nullptr);
        EXPECT_NEAR(image->width, c.width, 1e-3f);
        EXPECT_NEAR(image->height, c.height, 1e-3f);
    }
}

TEST(SvgDocument, CoordinatesFollowTheViewBoxAndUnits)
{
    struct Case
    {
        const char* root;
        const char* body;
        const char* units;
        float bounds[4];
        float strokeWidth;
    };
    const Case cases[] = {
        {R"~(width="100" height="100" viewBox="0 0 10 10")~",
         R"~(<rect x="1" y="2" width="3" height="4"/>)~",
         "px",
         {10, 20, 40, 60},
         10},
        {R"~(width="100" height="100" viewBox="-5 -5 10 10")~",
         R"~(<rect width="5" height="5"/>)~",
         "px",
         {50, 50, 100, 100},
         10},
        // A wider box than the view keeps the aspect and centres the view.
        {R"~(width="200" height="100" viewBox="0 0 10 10")~",
         R"~(<rect width="10" height="10"/>)~",
         "px",
         {50, 0, 150, 100},
         10},
        {R"~(width="200" height="100" viewBox="0 0 10 10" preserveAspectRatio="xMinYMin meet")~",
         R"~(<rect width="10" height="10"/>)~",
         "px",
         {0, 0, 100, 100},
         10},
        {R"~(width="200" height="100" viewBox="0 0 10 10" preserveAspectRatio="none")~",
         R"~(<rect width="10" height="10"/>)~",
         "px",
         {0, 0, 200, 100},
         14.1421f},
        {R"~(width="2in" height="1in")~",
         R"~(<rect x="0.5in" width="96" height="12.7mm"/>)~",
         "in",
         {0.5f, 0, 1.5f, 0.5f},
         1.0f / 96},
        // A nested document places its own view box.
        {R"~(width="100" height="100")~",
         R"~(<svg x="10" y="10" width="20" height="20" viewBox="0 0 10 10"><rect width="10" height="10"/></svg>)~",
         "px",
         {10, 10, 30, 30},
         2},
        {R"~(width="100" height="100")~",
         R"~(<svg x="5" y="5"><rect width="10" height="10"/></svg>)~",
         "px",
         {5, 5, 15, 15},
         1},
        // Percentages are of the view box: x of its width, y of its height.
        {R"~(viewBox="0 0 200 100")~",
         R"~(<rect x="10%" y="10%" width="50%" height="50%"/>)~",
         "px",
         {20, 10, 120, 60},
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.root);
        const Image image = Parse(Document(c.body, c.root), c.units);
        ASSERT_NE(image, nullptr);
        ExpectBounds(image->shapes->bounds, c.bounds[0], c.bounds[1], c.bounds[2], c.bounds[3]);
        EXPECT_NEAR(image->shapes->strokeWidth, c.strokeWidth, 1e-3f);
    }
}

// --- Malformed and oversized input ---

TEST(SvgDocument, MalformedDocumentsGiveNull)
{
    std::string groups;
    for (int i = 0; i < 200; ++i)
        groups = "<g>" + groups + "</g>";
    const std::string deep = Document(groups);
    const std::string cases[] = {
        "",
        "plain text",
        "<svg width=\"10\" height=\"10\">",
        "<svg width=\"10\" height=\"10\"><g></svg>",
        "<svg width=\"10\" height=\"10\"></g></svg>",
        "<svg width=\"10\" height=\"10\"/><svg width=\"10\" height=\"10\"/>",
        "<svg width=\"10\" height=\"10\"><rect width=10 height=10/></svg>",
        "<svg width=\"10\" height=\"10\"><rect width=\"10/></svg>",
        "<svg width=\"10\" height=\"10\"><rect width/></svg>",
        "<svg width=\"10\" height=\"10\"><rect width=\"1\" height=\"1\"/ ></svg>",
        "<svg width=\"10\" height=\"10\"><!-- unterminated </svg>",
        "<svg width=\"10\" height=\"10\"><![CDATA[ unterminated </svg>",
        "<?xml version=\"1.0\"",
        "<!DOCTYPE svg [ <!ENTITY x \"y\"> <svg width=\"10\" height=\"10\"/>",
        "<svg width=\"10\" height=\"10\"><",
        "<svg width=\"10\" height=\"10\"></svg",
        "<rect width=\"10\" height=\"10\"/>",
        "<svg width=\"abc\" height=\"10\"/>",
        "<svg width=\"10\" height=\"-10\"/>",
        "<svg width=\"0\" height=\"10\"/>",
        "<svg width=\"1e39\" height=\"10\"/>",
        "<svg width=\"10\" height=\"10\" viewBox=\"0 0 10\"/>",
        "<svg width=\"10\" height=\"10\" viewBox=\"0 0 -10 10\"/>",
        "<svg viewBox=\"0 0 10 0\"/>",
        // A document with neither a size nor anything drawn has no size.
        "<svg/>",
        "<svg><path d=\"M0 0 L0 10\"/></svg>",
        deep,
    };
    for (const std::string& text : cases) {
        SCOPED_TRACE(text.substr(0, 80));
        EXPECT_EQ(Parse(text), nullptr);
    }
    EXPECT_EQ(nsvgParse(nullptr, "px", 96), nullptr);
}

TEST(SvgDocument, ProloguesAndNamespacesAreAccepted)
{
    const Image image = Parse(R"~(<?xml version="1.0" encoding="UTF-8" standalone="no"?>
<!-- made by hand -->
<!DOCTYPE svg PUBLIC "-//W3C//DTD SVG 1.1//EN" "http://www.w3.org/Graphics/SVG/1.1/DTD/svg11.dtd" [
  <!ENTITY ns "http://www.w3.org/2000/svg">
]>
<svg:svg xmlns:svg="http://www.w3.org/2000/svg" width='10' height = '10'>
  <svg:rect width="5" height="5" fill='red'/>
</svg:svg>
)~");
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(CountShapes(*image), 1);
    EXPECT_EQ(image->shapes->fill.color, Rgba(255, 0, 0));
}

TEST(SvgDocument, NestingDepthAndSizesAreBounded)
{
    auto nested = [](int depth) {
        std::string s;
        for (int i = 0; i < depth; ++i)
            s += "<g>";
        s += "<rect width=\"1\" height=\"1\"/>";
        for (int i = 0; i < depth; ++i)
            s += "</g>";
        return Document(s);
    };
    EXPECT_NE(Parse(nested(100)), nullptr);
    EXPECT_EQ(Parse(nested(1000)), nullptr);

    // More points than the bound: the document is refused, not truncated.
    std::string points = "<path d=\"M0 0";
    for (int i = 0; i < 400000; ++i)
        points += " L1 1";
    points += "\"/>";
    EXPECT_EQ(Parse(Document(points)), nullptr);

    std::string huge = Document(std::string(9u << 20, ' '));
    EXPECT_EQ(Parse(huge), nullptr);
}

TEST(SvgDocument, ShapesWithCoordinatesBeyondFloatRangeAreLeftOut)
{
    const Image image = Parse(
        Document(R"~(<rect width="1e38" height="1" transform="scale(1e10)"/><rect id="ok" width="1" height="1"/>)~"));
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(CountShapes(*image), 1);
    EXPECT_STREQ(image->shapes->id, "ok");
}

// A group's paint reference reaches every shape inside it; its text must not be copied into
// each of them.
TEST(SvgDocument, AnOverlongPaintReferenceCostsAboutItsOwnLength)
{
    constexpr int kShapes = 2000;
    auto document = [&](const std::string& id) {
        std::string body = "<g fill=\"url(#" + id + ") #00ff00\">";
        for (int i = 0; i < kShapes; ++i)
            body += "<rect width=\"1\" height=\"1\"/>";
        return Document(body + "</g>");
    };
    auto parseBytes = [&](const std::string& text) {
        AllocationProbe::Scope probe;
        const Image image = Parse(text);
        const size_t bytes = probe.Bytes();
        EXPECT_NE(image, nullptr);
        if (image) {
            EXPECT_EQ(CountShapes(*image), kShapes);
            EXPECT_EQ(image->shapes->fill.color, Rgba(0, 255, 0)) << "names nothing: the fallback paints";
        }
        return bytes;
    };
    const std::string id(64u << 10, 'a');
    const size_t plain = parseBytes(document("a"));
    const size_t hostile = parseBytes(document(id));
    EXPECT_LT(hostile, plain + 4 * id.size());
}

TEST(SvgDocument, LongIdsAreCutToTheRecord)
{
    const std::string id(100, 'x');
    const Image image = Parse(Document("<rect id=\"" + id + "\" width=\"1\" height=\"1\"/>"));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(std::string(image->shapes->id), id.substr(0, 63));
}

} // namespace
