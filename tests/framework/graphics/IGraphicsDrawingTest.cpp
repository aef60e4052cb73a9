#include "framework/graphics/IGraphicsConstants.h"
#include "framework/graphics/svg/SvgDocument.h"
#include "tests/framework/graphics/RecordingGraphics.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace {

using namespace graphicstest;
using Lines = std::vector<std::string>;

class Drawing : public ::testing::Test
{
protected:
    FakeDelegate delegate;
    RecordingGraphics g{delegate};
};

TEST_F(Drawing, ShapesBuildTheirPathsAndOneStrokeOrFill)
{
    g.OutlineRoundedBox(kRed, IBox(0, 0, 10, 20), 0.0f, nullptr, 2.0f);
    EXPECT_EQ(g.calls,
              (Lines{"begin", "move 0,0", "line 10,0", "line 10,20", "line 0,20", "close", "stroke 2 dash 0"}));
    EXPECT_EQ(g.lastStroke.miterLimit, 10.0f);
    EXPECT_EQ(g.lastPaint.stops[0].colour, kRed);

    g.calls.clear();
    g.SolidRoundedBoxCorners(kRed, IBox(0, 0, 10, 10), 1, 2, 3, 4);
    EXPECT_EQ(g.calls, (Lines{"begin", "move 0,1", "arc 1,1 r1 270..360", "arc 8,2 r2 0..90", "arc 6,6 r4 90..180",
                              "arc 3,7 r3 180..270", "close", "fill rule 0"}));

    g.calls.clear();
    g.SolidPie(kRed, 5, 5, 3, 0, 90);
    EXPECT_EQ(g.calls, (Lines{"begin", "move 5,5", "arc 5,5 r3 0..90", "close", "fill rule 0"}));

    g.calls.clear();
    g.OutlineDashedBox(kRed, IBox(0, 0, 1, 1), nullptr, 1.0f, 4.0f);
    EXPECT_EQ(g.lastStroke.dash.count, 1);
    EXPECT_EQ(g.lastStroke.dash.lengths[0], 4.0f);
}

TEST_F(Drawing, AnOvalWithoutRadiusBuildsNoPathAndKeepsTheTransform)
{
    g.TranslateTransform(3, 4);
    g.OutlineOval(kRed, 10, 10, 0.0f, 5.0f, 0.0f);
    EXPECT_EQ(g.calls, (Lines{"begin", "stroke 1 dash 0"}));
    EXPECT_EQ(g.TransformDepth(), 0);
    EXPECT_EQ(g.GetTransform(), ITransform2D::Translation(3, 4));

    g.calls.clear();
    g.SolidOval(kRed, 10, 20, 4, 2, 0.0f);
    EXPECT_EQ(g.calls, (Lines{"begin", "move 0,-1", "arc 0,0 r1 0..360", "close", "fill rule 0"}));
    EXPECT_EQ(g.applied, ITransform2D::Translation(3, 4)); // restored after the unit circle
}

TEST_F(Drawing, TransformStackRestoresAndIgnoresAnEmptyStack)
{
    g.RestoreTransform();
    EXPECT_TRUE(g.GetTransform().IsIdentity());
    g.SaveTransform();
    g.ScaleTransform(2, 2);
    g.RotateTransform(90);
    g.RestoreTransform();
    EXPECT_TRUE(g.GetTransform().IsIdentity());
    EXPECT_TRUE(g.applied.IsIdentity());
    g.SaveTransform();
    g.ResetTransform(true);
    EXPECT_EQ(g.TransformDepth(), 0);
}

TEST_F(Drawing, GridDrawsInnerLinesOnlyAndSeriesStartsAtTheLeftEdge)
{
    g.StrokeGrid(kBlack, IBox(0, 0, 10, 10), 3, 3);
    EXPECT_EQ(g.Calls("move"), (Lines{"move 3,0", "move 6,0", "move 9,0", "move 0,3", "move 0,6", "move 0,9"}));
    g.calls.clear();
    g.StrokeGrid(kBlack, IBox(0, 0, 10, 10), 10, 1);
    EXPECT_EQ(g.calls, (Lines{"begin", "stroke 1 dash 0"}));

    g.calls.clear();
    const float one[] = {0.5f};
    g.PlotSeries(kBlack, IBox(0, 0, 10, 10), one, 1);
    EXPECT_EQ(g.calls, (Lines{"begin", "move 0,5", "stroke 1 dash 0"}));

    g.calls.clear();
    const float ys[] = {0.0f, 1.0f, 0.5f};
    const IArgb fill = kGreen;
    g.PlotSeries(kBlack, IBox(0, 0, 10, 10), ys, 3, nullptr, nullptr, 1.0f, &fill);
    EXPECT_EQ(g.calls, (Lines{"begin", "move 0,10", "line 5,0", "line 10,5", "fill rule 0 keep", "stroke 1 dash 0"}));
}

// Each of these once looped for ever: a step below the float spacing at the box, or an edge
// that is not finite.
TEST_F(Drawing, GridEndsForEveryBoxAndStep)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case
    {
        const char* name;
        IBox box;
        float xStep, yStep;
        size_t maxMoves;
    };
    const Case cases[] = {
        {"far from the origin", IBox(1e8f, 1e8f, 1e8f + 100.0f, 1e8f + 100.0f), 2.0f, 2.0f, 120},
        {"infinite right edge", IBox(0, 0, inf, 10), 2.0f, 2.0f, 0},
        {"infinite left edge", IBox(-inf, 0, 10, 10), 2.0f, 2.0f, 0},
        {"infinite bottom edge", IBox(0, 0, 10, inf), 2.0f, 2.0f, 0},
        {"not a number", IBox(0, nan, 10, 10), 2.0f, 2.0f, 0},
        {"steps not a number or infinite", IBox(0, 0, 10, 10), nan, inf, 0},
        {"far more lines than pixels", IBox(0, 0, 1e9f, 1e9f), 2.0f, 2.0f, 2u << 16},
    };
    for (const Case& c : cases) {
        g.calls.clear();
        g.StrokeGrid(kBlack, c.box, c.xStep, c.yStep);
        EXPECT_LE(g.Calls("move").size(), c.maxMoves) << c.name;
        EXPECT_EQ(g.calls.back(), "stroke 1 dash 0") << c.name;
    }
    g.calls.clear();
    g.StrokeGrid(kBlack, IBox(1e8f, 0, 1e8f + 100.0f, 10), 2.0f, 100.0f);
    EXPECT_FALSE(g.Calls("move").empty()) << "a finite box far out still gets its lines";
}

TEST_F(Drawing, EmptyTextDrawsAndMeasuresNothing)
{
    IBox box(1, 2, 3, 4);
    EXPECT_EQ(g.TextExtent(kDefaultTextStyle, "", box), 0.0f);
    EXPECT_EQ(box, IBox(1, 2, 3, 4));
    g.WriteText(kDefaultTextStyle, "", box);
    g.WriteText(kDefaultTextStyle, nullptr, box);
    EXPECT_TRUE(g.calls.empty());
    g.DrawTextBlock(kDefaultTextStyle, "long text", box);
    EXPECT_EQ(g.calls, (Lines{"text Unsupported"}));
}

TEST_F(Drawing, RotatedTextBoundsAreAlignedInTheTarget)
{
    ITextStyle style = kDefaultTextStyle;
    style.angle = 90.0f;
    style.hAlign = kAlignLeft;
    style.vAlign = kAlignTop;
    IBox bounds(0, 0, 40, 10);
    IGraphics::MeasureRotatedText(style, IBox(100, 100, 200, 200), bounds);
    EXPECT_NEAR(bounds.left, 100.0f, 1e-4);
    EXPECT_NEAR(bounds.top, 100.0f, 1e-4);
    EXPECT_NEAR(bounds.W(), 10.0f, 1e-4);
    EXPECT_NEAR(bounds.H(), 40.0f, 1e-4);
}

struct FakeStrip
{
    FakeStrip(int frames, bool horizontal, int w, int h) : bitmap(w, h, 1.0f, 1.0f, "strip")
    {
        ref.bitmap = &bitmap;
        ref.width = w;
        ref.height = h;
        ref.frameCount = frames;
        ref.framesHorizontal = horizontal;
    }
    FakeBitmap bitmap;
    IBitmapRef ref;
};

TEST_F(Drawing, BitmapFrameOffsetsClampToTheStrip)
{
    FakeStrip strip(61, false, 100, 6100);
    const IBox box(0, 0, 100, 100);
    struct Case
    {
        int frame;
        const char* blit;
    };
    const Case cases[] = {{0, "blit 0,0,100,100 src 0,0"},
                          {1, "blit 0,0,100,100 src 0,0"},
                          {31, "blit 0,0,100,100 src 0,3000"},
                          {61, "blit 0,0,100,100 src 0,6000"},
                          {99, "blit 0,0,100,100 src 0,6000"}};
    for (const Case& c : cases) {
        g.calls.clear();
        g.BlitBitmapFrame(strip.ref, box, c.frame);
        EXPECT_EQ(g.calls, (Lines{c.blit})) << c.frame;
    }
    FakeStrip single(1, true, 50, 50);
    g.calls.clear();
    g.BlitBitmapFrame(single.ref, box, 7);
    EXPECT_EQ(g.calls, (Lines{"blit 0,0,100,100 src 0,0"}));
}

TEST_F(Drawing, FailedBitmapsAndDocumentsDrawNothing)
{
    IBitmapRef none;
    FakeStrip noFrames(0, true, 100, 100);
    FakeStrip noSize(4, true, 0, 0);
    for (const IBitmapRef* ref : {&none, &noFrames.ref, &noSize.ref}) {
        g.BlitBitmapFrame(*ref, IBox(0, 0, 10, 10), 2);
        g.BlitBitmapFitted(*ref, IBox(0, 0, 10, 10));
        g.BlitBitmapRotated(*ref, 5, 5, 45.0);
    }
    NSVGimage zeroSized{0.0f, 0.0f, nullptr};
    g.RenderSvg(nullptr, IBox(0, 0, 10, 10));
    g.RenderSvg(&zeroSized, IBox(0, 0, 10, 10));
    EXPECT_TRUE(g.calls.empty());
    EXPECT_EQ(g.TransformDepth(), 0);
}

// A hand-built document: closed squares as cubic paths.
struct SvgFixture
{
    NSVGpath* Square(float left, float top, float size)
    {
        auto& pts = points.emplace_back();
        const float r = left + size, b = top + size;
        const float corners[5][2] = {{left, top}, {r, top}, {r, b}, {left, b}, {left, top}};
        pts.push_back(corners[0][0]);
        pts.push_back(corners[0][1]);
        for (int i = 1; i < 5; ++i) {
            for (int k = 0; k < 3; ++k) { // straight cubic: both controls on the end point
                pts.push_back(corners[i][0]);
                pts.push_back(corners[i][1]);
            }
        }
        auto* path = new NSVGpath{};
        path->pts = pts.data();
        path->npts = 13;
        path->closed = 1;
        path->bounds[0] = left;
        path->bounds[1] = top;
        path->bounds[2] = r;
        path->bounds[3] = b;
        paths.push_back(path);
        return path;
    }
    NSVGshape* Shape(std::vector<NSVGpath*> list)
    {
        auto* shape = new NSVGshape{};
        shape->flags = kSvgShapeVisible;
        shape->opacity = 0.5f;
        shape->fill.type = kSvgPaintColour;
        shape->fill.color = 0xff332211u; // red 0x11, green 0x22, blue 0x33
        shape->miterLimit = 4.0f;
        for (size_t i = 0; i + 1 < list.size(); ++i)
            list[i]->next = list[i + 1];
        shape->paths = list.empty() ? nullptr : list[0];
        shapes.push_back(shape);
        return shape;
    }
    ~SvgFixture()
    {
        for (auto* p : paths)
            delete p;
        for (auto* s : shapes)
            delete s;
    }
    std::vector<std::vector<float>> points = std::vector<std::vector<float>>();
    std::vector<NSVGpath*> paths;
    std::vector<NSVGshape*> shapes;
};

TEST_F(Drawing, SvgShapesMarkInnerPathsAsHolesByCrossingCount)
{
    SvgFixture svg;
    svg.points.reserve(8);
    NSVGshape* ring = svg.Shape({svg.Square(0, 0, 100), svg.Square(25, 25, 50)});
    NSVGshape* nested = svg.Shape({svg.Square(0, 0, 100), svg.Square(10, 10, 80), svg.Square(30, 30, 40)});
    ring->next = nested;
    NSVGimage doc{200.0f, 100.0f, ring};

    g.RenderSvg(&doc, IBox(10, 10, 110, 110));
    EXPECT_EQ(g.Calls("winding"),
              (Lines{"winding solid", "winding hole", "winding solid", "winding hole", "winding solid"}));
    EXPECT_EQ(g.Calls("fill"), (Lines{"fill rule 2", "fill rule 2"}));
    EXPECT_EQ(g.Calls("cubic").size(), 20u);
    // Fill paint: the colour's own alpha replaced by the opacity.
    EXPECT_EQ(g.lastPaint.stops[0].colour, IArgb(128, 0x11, 0x22, 0x33));
    EXPECT_EQ(g.TransformDepth(), 0);

    g.calls.clear();
    nested->flags = 0;
    ring->stroke.type = kSvgPaintColour;
    ring->strokeWidth = 3.0f;
    ring->strokeDashCount = 2;
    ring->strokeDashArray[0] = 4.0f;
    ring->strokeDashArray[1] = 1.0f;
    ring->strokeLineCap = kSvgCapRound;
    const IArgb over = kBlue;
    g.RenderSvg(&doc, IBox(0, 0, 100, 100), nullptr, &over, nullptr);
    EXPECT_EQ(g.Calls("fill"), (Lines{"fill rule 2 keep"}));
    EXPECT_EQ(g.Calls("stroke"), (Lines{"stroke 3 dash 2"}));
    EXPECT_EQ(g.lastPaint.stops[0].colour, kBlue);
    EXPECT_EQ(g.lastStroke.cap, kCapRound);
    EXPECT_EQ(g.lastStroke.miterLimit, 4.0f);
}

TEST_F(Drawing, SvgGradientsKeepTheirStopsSpreadAndMatrix)
{
    SvgFixture svg;
    NSVGshape* shape = svg.Shape({svg.Square(0, 0, 10)});
    NSVGgradient gradient{};
    gradient.xform[0] = 2.0f;
    gradient.xform[3] = 3.0f;
    gradient.xform[4] = 7.0f;
    gradient.spread = kSvgSpreadReflect;
    gradient.nstops = 2;
    gradient.stops[0] = {0x80ff0000u, 0.0f};
    gradient.stops[1] = {0x000000ffu, 1.0f};
    shape->fill.type = kSvgPaintRadialGradient;
    shape->fill.gradient = &gradient;
    NSVGimage doc{10.0f, 10.0f, shape};
    g.RenderSvg(&doc, IBox(0, 0, 10, 10));
    EXPECT_EQ(g.lastPaint.kind, kPaintRadial);
    EXPECT_EQ(g.lastPaint.extend, 2);
    EXPECT_EQ(g.lastPaint.stopCount, 2);
    EXPECT_EQ(g.lastPaint.stops[0].colour, IArgb(255, 0, 0, 255));
    EXPECT_EQ(g.lastPaint.stops[1].colour, IArgb(255, 255, 0, 0));
    EXPECT_EQ(g.lastPaint.transform, ITransform2D(2, 0, 0, 3, 7, 0));
}

} // namespace
