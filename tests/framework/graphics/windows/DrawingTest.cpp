#include "framework/graphics/windows/IGraphicsWin.h"
#include "tests/framework/graphics/windows/EditorRig.h"

#include <gtest/gtest.h>

#include <functional>

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
        if (!delegate.OpenEditor(parent.Handle(), nullptr))
            return nullptr;
        WaitForFrames(*delegate.Win(), 1);
        return delegate.Win();
    }
    ~DrawingTest() override { delegate.CloseEditor(); }

    TestParentWindow parent;
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

} // namespace
} // namespace iplug::igraphics
