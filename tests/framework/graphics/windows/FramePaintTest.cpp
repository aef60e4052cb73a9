#include "framework/graphics/windows/IGraphicsWin.h"
#include "tests/engine/AllocationProbe.h"
#include "tests/framework/graphics/windows/EditorRig.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <gtest/gtest.h>
#include <nanovg.h>
#define NANOVG_GL2 1
#include <nanovg_gl_utils.h>

#include <cmath>
#include <cstdlib>

namespace iplug::igraphics {
namespace {

using namespace test;

const char* const kLabelFontPath = "Z:\\usr\\share\\fonts\\truetype\\roboto\\unhinted\\RobotoTTF\\Roboto-Regular.ttf";

// A gradient with lines across the whole panel, so that every dirty region redraws it.
class Backdrop : public IControl
{
public:
    Backdrop() : IControl(IBox(0, 0, 460, 640)) {}
    void Paint(IGraphics& g) override
    {
        IPaint gradient(IArgb(255, 20, 40, 60));
        gradient.kind = kPaintLinear;
        gradient.stops[1] = {IArgb(255, 200, 120, 40), 1.0f};
        gradient.stopCount = 2;
        gradient.transform = ITransform2D::Scaling(1.0 / 460.0, 1.0 / 640.0);
        g.PathRect(GetBox());
        g.PathDoFill(gradient, IFillStyle(), nullptr);
        for (int i = 1; i < 16; ++i)
            g.StrokeLine(IArgb(90, 255, 255, 255), 0, 40.0f * i + 0.5f, 460, 40.0f * i - 7.0f, nullptr, 1.5f);
    }
};

class Dial : public IControl
{
public:
    explicit Dial(const IBox& box) : IControl(box) {}
    void Paint(IGraphics& g) override
    {
        const IBox& b = GetBox();
        g.SolidCircle(IArgb(255, 30, 30, 36), b.MW(), b.MH(), 20.0f);
        const float end = static_cast<float>(-135.0 + 270.0 * value);
        g.OutlineArc(IArgb(255, 240, 170, 60), b.MW(), b.MH(), 16.0f, -135.0f, end, nullptr, 3.0f);
        g.DrawTextImpl(ITextStyle("Label", 10, IArgb(255, 220, 220, 220), 1, 1), "LEVEL",
                       IBox(b.left, b.bottom - 8, b.right, b.bottom), nullptr);
    }
    void Turn()
    {
        value = value > 0.5 ? 0.2 : 0.8;
        MarkDirty(false);
    }
    double value = 0.2;
};

// Window pixels of one framebuffer, bottom row first.
struct Picture
{
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;

    // Counts the pixels that differ by more than tolerance in a channel, among those inside
    // (or, with inside false, outside) the box in window pixels.
    int CountDifferent(const Picture& other, const RECT& box, bool inside, int tolerance = 0) const
    {
        int count = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const int top = height - 1 - y;
                const bool in = x >= box.left && x < box.right && top >= box.top && top < box.bottom;
                if (in != inside)
                    continue;
                const size_t at = (static_cast<size_t>(y) * width + x) * 4;
                for (int c = 0; c < 3; ++c)
                    if (std::abs(rgba[at + c] - other.rgba[at + c]) > tolerance) {
                        ++count;
                        break;
                    }
            }
        return count;
    }
};

Picture ReadFramebuffer(IGraphicsWin& g, bool mainFramebuffer)
{
    Picture picture;
    RECT client;
    GetClientRect(static_cast<HWND>(g.GetNativeWindow()), &client);
    picture.width = client.right;
    picture.height = client.bottom;
    g.BindGLContext();
    glBindFramebuffer(GL_FRAMEBUFFER, mainFramebuffer ? g.GetMainFramebuffer()->fbo : 0);
    // The window's back buffer right after the swap holds what the swap presented: the
    // editor's pixel format swaps by copying (Wine cannot read the front buffer of a child
    // window back).
    picture.rgba = ReadPixels(0, 0, picture.width, picture.height);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    g.UnbindGLContext();
    return picture;
}

class FramePaintTest : public ::testing::TestWithParam<float>
{
protected:
    IGraphicsWin* Open()
    {
        delegate.SetLayout([this](IGraphics* g) {
            labelFontLoaded = g->LoadFontFromFile("Label", kLabelFontPath);
            g->AddControl(new Backdrop);
            for (int i = 0; i < 12; ++i) {
                auto* dial = new Dial(
                    IBox(20 + (i % 4) * 110.0f, 30 + (i / 4) * 150.0f, 80 + (i % 4) * 110.0f, 90 + (i / 4) * 150.0f));
                g->AddControl(dial);
                dials.push_back(dial);
            }
        });
        if (!delegate.OpenEditor(parent.Handle(), nullptr))
            return nullptr;
        IGraphicsWin* g = delegate.Win();
        g->ResizeEditor(460, 640, GetParam(), true);
        WaitForFrames(*g, 1);
        PumpMessages(50);
        // At scale 2 the window reaches below the screen, and a frame drawn from the window's
        // update region (as the first one after a resize is) leaves what is off screen
        // undrawn; a clock frame of every control fills the main framebuffer whole.
        for (int i = 0; i < 2; ++i) {
            g->MarkAllControlsDirty();
            g->OnRedrawTick(0);
        }
        return g;
    }
    // Draws one frame of whatever is dirty now.
    void Redraw(IGraphicsWin& g)
    {
        const int before = g.PresentedFrames();
        g.OnRedrawTick(0);
        ASSERT_EQ(g.PresentedFrames(), before + 1);
    }
    // The dial's box in window pixels, grown by the antialiased edge and a pixel of slack.
    RECT DialPixels(IGraphicsWin& g, const Dial& dial)
    {
        const float s = g.GetBackingScale();
        const IBox& b = dial.GetBox();
        return {static_cast<LONG>(std::floor(b.left * s)) - 2, static_cast<LONG>(std::floor(b.top * s)) - 2,
                static_cast<LONG>(std::ceil(b.right * s)) + 2, static_cast<LONG>(std::ceil(b.bottom * s)) + 2};
    }
    ~FramePaintTest() override { delegate.CloseEditor(); }

    TestParentWindow parent{1000, 1400};
    TestDelegate delegate;
    std::vector<Dial*> dials;
    bool labelFontLoaded = false;
};

TEST_P(FramePaintTest, OneDirtyControlRedrawsOnlyItsBoxAndTheWindowShowsTheWholePicture)
{
    IGraphicsWin* g = Open();
    ASSERT_NE(g, nullptr);
    const Picture before = ReadFramebuffer(*g, true);
    ASSERT_GT(before.width * before.height, 0);

    Dial& dial = *dials[6];
    dial.value = 0.9;
    dial.MarkDirty(false);
    Redraw(*g);
    const RECT box = DialPixels(*g, dial);
    const Picture partial = ReadFramebuffer(*g, true);
    EXPECT_GT(before.CountDifferent(partial, box, true), 50) << "the dial was not redrawn";
    EXPECT_EQ(before.CountDifferent(partial, box, false), 0) << "pixels outside the dirty box changed";
    EXPECT_EQ(ReadFramebuffer(*g, false).CountDifferent(partial, RECT{}, false), 0)
        << "the window does not show the whole picture";

    // The partial frame drew the dial exactly where and as a whole redraw does.
    g->MarkAllControlsDirty();
    Redraw(*g);
    const Picture whole = ReadFramebuffer(*g, true);
    EXPECT_EQ(whole.CountDifferent(partial, RECT{}, false, 1), 0);
    EXPECT_EQ(ReadFramebuffer(*g, false).CountDifferent(whole, RECT{}, false), 0);
}

TEST_P(FramePaintTest, AfterTheHostResizesTheWindowTheNextFrameFillsItsBackBufferAgain)
{
    IGraphicsWin* g = Open();
    ASSERT_NE(g, nullptr);
    // The host shrinks the window and gives it its size back; only the strips it uncovers
    // are invalidated, and the resized back buffer holds nothing of the last frame.
    HWND window = static_cast<HWND>(g->GetNativeWindow());
    RECT client;
    GetClientRect(window, &client);
    SetWindowPos(window, nullptr, 0, 0, client.right / 2, client.bottom / 2, SWP_NOMOVE | SWP_NOZORDER);
    PumpMessages(50);
    SetWindowPos(window, nullptr, 0, 0, client.right, client.bottom, SWP_NOMOVE | SWP_NOZORDER);
    PumpMessages(50);

    Dial& dial = *dials[0];
    dial.value = 0.7;
    dial.MarkDirty(false);
    Redraw(*g);
    EXPECT_EQ(ReadFramebuffer(*g, false).CountDifferent(ReadFramebuffer(*g, true), RECT{}, false), 0)
        << "the window does not show the whole picture";
}

// The drawing path runs many times a second on the host's UI thread: once the glyphs,
// paths and region lists have reached their sizes, a frame allocates nothing.
TEST_P(FramePaintTest, SettledFramesAllocateNothing)
{
    IGraphicsWin* g = Open();
    ASSERT_NE(g, nullptr);
    ASSERT_TRUE(labelFontLoaded);
    const auto drawSomeFrames = [&] {
        dials[1]->Turn();
        Redraw(*g);
        dials[2]->Turn();
        dials[7]->Turn();
        Redraw(*g);
        g->MarkAllControlsDirty();
        Redraw(*g);
    };
    drawSomeFrames();

    AllocationProbe::Scope probe;
    for (int i = 0; i < 10; ++i)
        drawSomeFrames();
    EXPECT_EQ(probe.Allocations(), 0);
}

INSTANTIATE_TEST_SUITE_P(DrawScales, FramePaintTest, ::testing::Values(1.0f, 2.0f));

} // namespace
} // namespace iplug::igraphics
