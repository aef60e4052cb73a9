#include "framework/graphics/windows/IGraphicsWin.h"
#include "tests/framework/graphics/windows/EditorRig.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace iplug::igraphics {
namespace {

using namespace test;

class SceneControl : public IControl
{
public:
    SceneControl(std::function<void(IGraphics&)> draw) : IControl(IBox(0, 0, 460, 640)), draw(std::move(draw)) {}
    void Paint(IGraphics& g) override
    {
        g.SolidBox(IArgb(255, 255, 255, 255), GetBox());
        draw(g);
    }
    std::function<void(IGraphics&)> draw;
};

// Black pixels along the row y from x0 to x1, as a string of '#' and '.'.
std::string RowPattern(IGraphicsWin& g, int y, int x0, int x1)
{
    std::string row;
    for (int x = x0; x < x1; ++x)
        row += ReadMainFramebuffer(g, x, y)[0] < 128 ? '#' : '.';
    return row;
}

class DrawingTest : public ::testing::Test
{
protected:
    IGraphicsWin* Open(std::function<void(IGraphics&)> draw)
    {
        delegate.SetLayout([draw](IGraphics* g) { g->AddControl(new SceneControl(draw)); });
        if (!delegate.OpenEditor(Parent(), nullptr))
            return nullptr;
        WaitForFrames(*delegate.Win(), 1);
        return delegate.Win();
    }
    ~DrawingTest() override { delegate.CloseEditor(); }

    // One parent for the run: a visible top-level window takes seconds to go under Wine.
    static HWND Parent()
    {
        static TestParentWindow parent;
        return parent.Handle();
    }

    TestDelegate delegate;
};

TEST_F(DrawingTest, DashedLinesAlternateAndAZeroDashDrawsSolid)
{
    const IArgb black(255, 0, 0, 0);
    IGraphicsWin* g = Open([&](IGraphics& gr) {
        gr.StrokeDashedLine(black, 100, 50.5f, 200, 50.5f, nullptr, 1.0f, 10.0f);
        gr.StrokeDashedLine(black, 100, 80.5f, 200, 80.5f, nullptr, 1.0f, 0.0f);
        gr.StrokeDashedLine(black, 100, 110.5f, 200, 110.5f, nullptr, 1.0f, -3.0f);
    });
    ASSERT_NE(g, nullptr);
    // Length 100, dash 10: five dashes, the last ending at 9/10 of the way.
    const std::string dashed = RowPattern(*g, 50, 100, 200);
    EXPECT_EQ(dashed.substr(2, 6), "######");
    EXPECT_EQ(dashed.substr(12, 6), "......");
    EXPECT_EQ(dashed.substr(82, 6), "######");
    EXPECT_EQ(dashed.substr(92, 8), "........");
    EXPECT_EQ(RowPattern(*g, 80, 101, 199), std::string(98, '#'));
    EXPECT_EQ(RowPattern(*g, 110, 101, 199), std::string(98, '#'));
}

TEST_F(DrawingTest, LinearPaintRunsAlongItsTransformAndBlendsApply)
{
    IGraphicsWin* g = Open([&](IGraphics& gr) {
        IPaint paint(IArgb(255, 0, 0, 0));
        paint.kind = kPaintLinear;
        paint.stops[1] = {IArgb(255, 255, 255, 255), 1.0f};
        paint.stopCount = 2;
        // Maps y from 0..100 onto the gradient's 0..1.
        paint.transform = ITransform2D::Scaling(1.0, 0.01);
        gr.PathRect(IBox(0, 0, 50, 100));
        gr.PathDoFill(paint, IFillStyle(), nullptr);
        const IBlendSpec half{kBlendSourceOver, 0.5f};
        gr.SolidBox(IArgb(255, 255, 0, 0), IBox(100, 0, 150, 50), &half);
    });
    ASSERT_NE(g, nullptr);
    EXPECT_LT(ReadMainFramebuffer(*g, 25, 2)[0], 20);
    EXPECT_NEAR(ReadMainFramebuffer(*g, 25, 50)[0], 128, 8);
    EXPECT_GT(ReadMainFramebuffer(*g, 25, 97)[0], 235);
    EXPECT_EQ(ReadMainFramebuffer(*g, 25, 150)[0], 255) << "outside the path";
    const auto blended = ReadMainFramebuffer(*g, 125, 25);
    EXPECT_EQ(blended[0], 255);
    EXPECT_NEAR(blended[1], 128, 2);
    EXPECT_NEAR(blended[2], 128, 2);
}

// A red square drawn into a layer, given a black shadow 10 units down and right with a
// blur of 4, and the layer drawn onto the panel.
void DrawShadowedLayer(IGraphics& g, bool drawForeground)
{
    g.OpenLayer(nullptr, IBox(100, 100, 220, 220), false);
    g.SolidBox(IArgb(255, 255, 0, 0), IBox(120, 120, 160, 160));
    std::unique_ptr<IOffscreenLayer> layer = g.CloseLayer();
    if (!layer || !layer->bitmap)
        return;
    IShadowSpec shadow;
    shadow.paint = IPaint(IArgb(255, 0, 0, 0));
    shadow.blurSize = 4.0f;
    shadow.xOffset = 10.0f;
    shadow.yOffset = 10.0f;
    shadow.drawForeground = drawForeground;
    g.ApplyLayerShadow(*layer, shadow);
    IBitmapRef ref;
    ref.bitmap = layer->bitmap.get();
    ref.width = int(layer->bitmap->GetWidth() / layer->bitmap->GetScale());
    ref.height = int(layer->bitmap->GetHeight() / layer->bitmap->GetScale());
    ref.frameCount = 1;
    g.BlitBitmap(ref, layer->box, 0, 0, nullptr);
}

TEST_F(DrawingTest, LayerShadowFallsSoftlyUnderTheLayersDrawing)
{
    IGraphicsWin* g = Open([](IGraphics& gr) { DrawShadowedLayer(gr, true); });
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(ReadMainFramebuffer(*g, 140, 140), (std::vector<uint8_t>{255, 0, 0, 255})) << "the drawing on top";
    EXPECT_EQ(ReadMainFramebuffer(*g, 125, 125), (std::vector<uint8_t>{255, 0, 0, 255}));
    EXPECT_LT(ReadMainFramebuffer(*g, 165, 165)[0], 40) << "the shadow's core, down and right";
    EXPECT_EQ(ReadMainFramebuffer(*g, 115, 115)[0], 255) << "nothing up and left";
    EXPECT_EQ(ReadMainFramebuffer(*g, 110, 165)[0], 255);
    EXPECT_EQ(ReadMainFramebuffer(*g, 210, 210)[0], 255) << "the shadow ends near the square's edge";

    // Along the shadow's right edge (at x 170) the grey rises through several steps.
    const std::vector<uint8_t> row = ReadMainFramebuffer(*g, 160, 150, 24, 1);
    int steps = 0;
    for (int i = 0; i < 24; ++i) {
        const int red = row[size_t(i) * 4];
        EXPECT_EQ(row[size_t(i) * 4 + 1], red) << "grey, not tinted: " << i;
        if (i > 0) {
            EXPECT_GE(red, int(row[size_t(i - 1) * 4])) << "lighter outwards: " << i;
        }
        steps += red > 20 && red < 235 ? 1 : 0;
    }
    EXPECT_GE(steps, 3) << "a soft edge, not a hard one";
    EXPECT_LT(row[0], 40);
    EXPECT_EQ(row[23 * 4], 255);
}

TEST_F(DrawingTest, LayerShadowWithoutForegroundLeavesOnlyTheShadow)
{
    IGraphicsWin* g = Open([](IGraphics& gr) { DrawShadowedLayer(gr, false); });
    ASSERT_NE(g, nullptr);
    const auto middle = ReadMainFramebuffer(*g, 145, 145);
    EXPECT_LT(middle[0], 40) << "shadow where the square was";
    EXPECT_EQ(middle[0], middle[1]);
    EXPECT_EQ(ReadMainFramebuffer(*g, 125, 125)[0], 255) << "outside the moved shadow: the panel";
}

} // namespace
} // namespace iplug::igraphics
