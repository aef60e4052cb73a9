#include "tests/framework/graphics/ControlFixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace {

using namespace graphicstest;
using Lines = std::vector<std::string>;

using Frames = GraphicsFixture;

TEST_F(Frames, DirtyControlsGiveGrownBoxesAndAreCleared)
{
    ProbeControl* a = Add(IBox(10, 10, 20, 20));
    ProbeControl* b = Add(IBox(30, 30, 40, 40));
    IBoxList regions;
    EXPECT_TRUE(g.CollectDirtyRegions(regions));
    ASSERT_EQ(regions.Count(), 2);
    EXPECT_EQ(regions[0], IBox(9.25f, 9.25f, 20.75f, 20.75f));
    EXPECT_FALSE(a->IsDirty());
    EXPECT_FALSE(b->IsDirty());
    IBoxList none;
    EXPECT_FALSE(g.CollectDirtyRegions(none));
    EXPECT_EQ(none.Count(), 0);
}

// Marks an earlier control dirty while its own redraw check runs, as panel widgets may.
class Dependent : public ProbeControl
{
public:
    Dependent(const IBox& box, IControl* other) : ProbeControl(box), other(other) {}
    bool NeedsRedraw() const override
    {
        other->MarkDirty(false);
        return ProbeControl::NeedsRedraw();
    }
    IControl* other;
};

TEST_F(Frames, AFlagSetDuringCollectionSurvivesForTheNextTick)
{
    ProbeControl* first = Add(IBox(0, 0, 10, 10));
    auto* dependent = new Dependent(IBox(20, 0, 30, 10), first);
    g.AddControl(dependent);
    IBoxList regions;
    g.CollectDirtyRegions(regions);
    EXPECT_EQ(regions.Count(), 2);
    EXPECT_TRUE(first->IsDirty());
    EXPECT_FALSE(dependent->IsDirty());
}

TEST_F(Frames, PaintingClipsEachControlToItsAlignedBoxInTheRegion)
{
    g.ApplyScreenScale(1.5f);
    ProbeControl* c = Add(IBox(10, 10, 20, 20));
    IBoxList regions;
    g.CollectDirtyRegions(regions);
    g.calls.clear();
    g.DrawDirtyRegions(regions);
    ASSERT_EQ(g.Calls("clip").size(), 1u);
    const IBox clip = g.GetClipBox();
    EXPECT_NEAR(clip.left, 8.6667f, 1e-3);
    EXPECT_NEAR(clip.right, 21.3333f, 1e-3);
    EXPECT_EQ(g.calls.front(), "frame start");
    EXPECT_EQ(g.calls.back(), "frame end");
    EXPECT_EQ(c->seen, (Lines{"paint"}));

    g.calls.clear();
    IBoxList part;
    part.Append(IBox(15, 15, 40, 40));
    g.DrawDirtyRegions(part);
    EXPECT_EQ(g.Calls("clip"), (Lines{"clip 14.6667,14.6667,21.3333,21.3333"}));
}

TEST_F(Frames, HiddenControlsArePaintedOnlyAsTheBackground)
{
    ProbeControl* background = Add(IBox(0, 0, 100, 100));
    ProbeControl* hidden = Add(IBox(10, 10, 20, 20));
    background->SetHidden(true);
    hidden->SetHidden(true);
    IBoxList regions;
    regions.Append(IBox(0, 0, 100, 100));
    g.DrawDirtyRegions(regions);
    EXPECT_EQ(background->seen, (Lines{"paint"}));
    EXPECT_TRUE(hidden->seen.empty());
}

TEST_F(Frames, SeparationExamples)
{
    IBoxList same;
    same.Append(IBox(0, 0, 10, 10));
    same.Append(IBox(0, 0, 10, 10));
    IGraphics::SeparateDirtyRegions(same);
    ASSERT_EQ(same.Count(), 1);

    IBoxList stacked;
    stacked.Append(IBox(0, 0, 10, 10));
    stacked.Append(IBox(0, 10, 10, 20));
    IGraphics::SeparateDirtyRegions(stacked);
    ASSERT_EQ(stacked.Count(), 1);
    EXPECT_EQ(stacked[0], IBox(0, 0, 10, 20));

    IBoxList inside;
    inside.Append(IBox(2, 2, 4, 4));
    inside.Append(IBox(0, 0, 10, 10));
    IGraphics::SeparateDirtyRegions(inside);
    ASSERT_EQ(inside.Count(), 1);
    EXPECT_EQ(inside[0], IBox(0, 0, 10, 10));
}

// Area of the union of boxes, by counting unit cells of an integer grid.
int UnionCells(const IBoxList& list, int size)
{
    int cells = 0;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            for (int i = 0; i < list.Count(); ++i)
                if (list[i].Contains(float(x) + 0.5f, float(y) + 0.5f)) {
                    ++cells;
                    break;
                }
    return cells;
}

TEST_F(Frames, SeparatedBoxesAreDisjointWithTheSameUnion)
{
    std::mt19937 rng(99);
    constexpr int kGrid = 40;
    for (int round = 0; round < 300; ++round) {
        IBoxList list;
        const int n = 2 + int(rng() % 7);
        for (int i = 0; i < n; ++i) {
            const float l = float(rng() % (kGrid - 1));
            const float t = float(rng() % (kGrid - 1));
            const float r = l + 1.0f + float(rng() % (kGrid - int(l) - 1));
            const float b = t + 1.0f + float(rng() % (kGrid - int(t) - 1));
            list.Append(IBox(l, t, r, b));
        }
        if (round == 0) { // two boxes crossing like a plus sign
            list.Clear();
            list.Append(IBox(10, 0, 20, 30));
            list.Append(IBox(0, 10, 30, 20));
        }
        const int before = UnionCells(list, kGrid);
        IGraphics::SeparateDirtyRegions(list);
        EXPECT_EQ(UnionCells(list, kGrid), before) << "round " << round;
        float area = 0.0f;
        for (int i = 0; i < list.Count(); ++i) {
            area += list[i].Area();
            for (int j = i + 1; j < list.Count(); ++j) {
                const IBox o = list[i].Intersection(list[j]);
                EXPECT_FALSE(o.W() > 0.0f && o.H() > 0.0f) << "round " << round;
            }
        }
        EXPECT_EQ(int(area), before) << "round " << round;
    }
}

TEST_F(Frames, ResizeClampsAndIgnoresRepeatsAndUnusableScales)
{
    g.SetScaleLimits(2.0f, 0.75f);
    EXPECT_EQ(g.GetMinScale(), 0.75f);
    EXPECT_EQ(g.GetMaxScale(), 2.0f);
    g.ResizeEditor(460, 640, 1.0f, true);
    EXPECT_TRUE(delegate.sizeRequests.empty());
    g.ResizeEditor(460, 640, 10.0f, true);
    EXPECT_EQ(g.GetDrawScale(), 2.0f);
    EXPECT_EQ(delegate.sizeRequests, (Lines{"920x1280 host"}));
    for (float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(), 0.0f, -1.0f}) {
        g.ResizeEditor(460, 640, bad, true);
        g.ApplyScreenScale(bad);
    }
    EXPECT_EQ(g.GetDrawScale(), 2.0f);
    EXPECT_EQ(g.GetScreenScale(), 1.0f);
    EXPECT_EQ(delegate.sizeRequests.size(), 1u);
}

TEST_F(Frames, AHostEchoingSizesLeavesTheDrawScaleAlone)
{
    delegate.Adopt(&g);
    delegate.echoSizes = true;
    g.ResizeEditor(460, 640, 1.5f, true);
    EXPECT_EQ(g.GetDrawScale(), 1.5f);
    EXPECT_EQ(delegate.sizeRequests, (Lines{"690x960 host"}));

    // The host's own resize is followed without asking it again.
    delegate.FitEditorToHostSize(800, 900);
    EXPECT_EQ(g.Width(), 800);
    EXPECT_EQ(g.GetDrawScale(), 1.0f);
    EXPECT_EQ(delegate.sizeRequests, (Lines{"690x960 host", "800x900"}));

    // So is a real resize back to the size the editor last asked for.
    delegate.FitEditorToHostSize(690, 960);
    EXPECT_EQ(g.Width(), 690);
    EXPECT_EQ(g.Height(), 960);
    EXPECT_EQ(delegate.sizeRequests, (Lines{"690x960 host", "800x900", "690x960"}));
    delegate.Adopt(nullptr);
}

TEST_F(Frames, WindowPixelsStayWithinInt)
{
    constexpr int kMax = std::numeric_limits<int>::max();
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case
    {
        int units;
        float drawScale, windowScale;
        int pixels;
    };
    const Case cases[] = {
        {460, 1.203f, 1.0f, 553}, {640, 1.203f, 1.0f, 769}, {553, 1.0f, 1.25f, 691}, {460, 1e30f, 1.0f, kMax},
        {460, 2.0f, 1e30f, kMax}, {460, inf, 1.0f, kMax},   {460, nan, 1.0f, 0},     {460, -2.0f, 1.0f, 0},
        {460, 1.0f, -1e30f, 0},   {-460, 1.0f, 1.0f, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IGraphics::WindowPixels(c.units, c.drawScale, c.windowScale), c.pixels)
            << c.units << " " << c.drawScale << " " << c.windowScale;
}

// Fitting the panel to a host's size and rounding back to pixels gives the host's size on the
// side that limits the scale: no float noise loses the last pixel.
TEST_F(Frames, AScaleFittedToAHostSizeFillsItsLimitingSide)
{
    for (int w = 345; w <= 920; ++w) {
        const int h = w * 640 / 460 + 1;
        const float scale = g.ScaleToFit(460, 640, w, h);
        EXPECT_EQ(IGraphics::WindowPixels(460, scale, 1.0f), w) << w;
        EXPECT_LE(IGraphics::WindowPixels(640, scale, 1.0f), h) << w;
    }
    for (int h = 480; h <= 1280; ++h) {
        const int w = h * 460 / 640 + 1;
        const float scale = g.ScaleToFit(460, 640, w, h);
        EXPECT_LE(IGraphics::WindowPixels(460, scale, 1.0f), w) << h;
        EXPECT_EQ(IGraphics::WindowPixels(640, scale, 1.0f), h) << h;
    }
}

TEST_F(Frames, LayerShadowBlursTheAlphaBothWays)
{
    g.OpenLayer(nullptr, IBox(0, 0, 9, 9), false);
    EXPECT_EQ(g.LayerDepth(), 1);
    std::unique_ptr<IOffscreenLayer> layer = g.CloseLayer();
    EXPECT_EQ(g.LayerDepth(), 0);
    ASSERT_TRUE(layer && layer->bitmap);
    EXPECT_EQ(layer->bitmap->GetWidth(), 9);

    // One opaque pixel in the middle of a 9 x 9 layer.
    g.layerPixels.Resize(9 * 9 * 4, false);
    std::fill(g.layerPixels.Data(), g.layerPixels.Data() + 9 * 9 * 4, uint8_t(0));
    g.layerPixels.Data()[(4 * 9 + 4) * 4 + 3] = 255;
    IShadowSpec shadow;
    shadow.blurSize = 2.0f;
    g.ApplyLayerShadow(*layer, shadow);
    ASSERT_EQ(g.shadowMask.Size(), 9 * 9 * 4);
    auto alpha = [&](int x, int y) { return int(g.shadowMask.Data()[(y * 9 + x) * 4 + 3]); };
    EXPECT_GT(alpha(4, 4), 0);
    EXPECT_LT(alpha(4, 4), 255);
    EXPECT_EQ(alpha(3, 4), alpha(5, 4)); // symmetric
    EXPECT_EQ(alpha(4, 3), alpha(4, 5));
    EXPECT_EQ(alpha(3, 4), alpha(4, 3));
    EXPECT_GT(alpha(4, 4), alpha(3, 4));
    EXPECT_EQ(alpha(0, 0), 0);
    EXPECT_EQ(g.shadowMask.Data()[(4 * 9 + 4) * 4], 0); // colour bytes untouched
}

TEST_F(Frames, BlurPassKeepsUniformRunsAndFadesAtTheEdges)
{
    const uint8_t kernel[] = {255, 200, 100};
    const uint32_t sum = 255 + 2 * (200 + 100);
    std::vector<uint8_t> in(40, 200), out(40, 0);
    IGraphics::BlurAlphaPass(in.data(), out.data(), 10, 4, 4, kernel, 3, sum);
    EXPECT_EQ(out[4 * 5], 200);
    EXPECT_LT(out[0], 200);
    EXPECT_EQ(out[0], out[4 * 9]);
}

} // namespace
