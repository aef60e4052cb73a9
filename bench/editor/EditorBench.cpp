// Editor timings under Wine + Xvfb (Mesa llvmpipe): opening to the first presented frame, a
// full redraw of a panel-sized scene at draw scale 1 and 2, a redraw with one knob dirty, and
// the frames an idle editor presents. Each figure is the best of several runs; drawing is
// finished (glFinish) inside the timed span, so the software rasteriser's work counts.

#include "tests/framework/graphics/windows/EditorRig.h"

#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>

using namespace iplug::igraphics;
using namespace iplug::igraphics::test;

namespace {

constexpr int kRuns = 15;
const char* const kRobotoPath = "Z:\\usr\\share\\fonts\\truetype\\roboto\\unhinted\\RobotoTTF\\Roboto-Regular.ttf";

// A knob as the panel draws one: a well, a value arc, a pointer and a label.
class BenchKnob : public IControl
{
public:
    BenchKnob(const IBox& box, double value) : IControl(box), value(value) {}
    void Paint(IGraphics& g) override
    {
        const IBox& b = GetBox();
        const float cx = b.MW(), cy = b.top + 30.0f, r = 24.0f;
        g.SolidCircle(IArgb(255, 40, 44, 52), cx, cy, r);
        g.OutlineArc(IArgb(255, 90, 90, 100), cx, cy, r - 4, -135.0f, 135.0f, nullptr, 3.0f);
        const float end = static_cast<float>(-135.0 + 270.0 * value);
        g.OutlineArc(IArgb(255, 230, 160, 60), cx, cy, r - 4, -135.0f, end, nullptr, 3.0f);
        const float a = static_cast<float>((end - 90.0) * 3.14159265358979323846 / 180.0);
        g.StrokeLine(IArgb(255, 240, 240, 240), cx, cy, cx + std::cos(a) * (r - 8), cy + std::sin(a) * (r - 8), nullptr,
                     2.0f);
        g.DrawTextImpl(ITextStyle("Roboto-Regular", 11, IArgb(255, 220, 220, 220), 1, 1), "LEVEL",
                       IBox(b.left, b.bottom - 16, b.right, b.bottom), nullptr);
    }
    double value;
};

class Background : public IControl
{
public:
    using IControl::IControl;
    void Paint(IGraphics& g) override
    {
        const IBox& b = GetBox();
        IPaint gradient(IArgb(255, 28, 30, 36));
        gradient.kind = kPaintLinear;
        gradient.stops[1] = {IArgb(255, 52, 56, 66), 1.0f};
        gradient.stopCount = 2;
        gradient.transform = ITransform2D::Scaling(1.0, 1.0 / b.H());
        g.PathRect(b);
        g.PathDoFill(gradient, IFillStyle(), nullptr);
        for (int i = 0; i < 12; ++i)
            g.StrokeLine(IArgb(60, 255, 255, 255), b.left, 50.0f * i, b.right, 50.0f * i);
    }
};

void Layout(IGraphics* g, std::vector<BenchKnob*>* knobs)
{
    g->LoadFontFromFile("Roboto-Regular", kRobotoPath);
    g->AddControl(new Background(IBox(0, 0, 460, 640)));
    for (int row = 0; row < 8; ++row)
        for (int col = 0; col < 6; ++col) {
            auto* knob = new BenchKnob(IBox(10 + col * 74.0f, 10 + row * 78.0f, 80 + col * 74.0f, 84 + row * 78.0f),
                                       (row * 6 + col) / 48.0);
            g->AddControl(knob);
            if (knobs)
                knobs->push_back(knob);
        }
}

double Milliseconds(const std::function<void()>& run)
{
    double best = 1e9;
    for (int i = 0; i < kRuns; ++i) {
        const auto start = std::chrono::steady_clock::now();
        run();
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

// Runs one redraw tick now and waits until the frame is rendered.
void RedrawNow(IGraphicsWin& g)
{
    g.OnRedrawTick(0);
    g.BindGLContext();
    glFinish();
    g.UnbindGLContext();
}

} // namespace

int main()
{
    TestParentWindow parent(1000, 1400);

    const double open = Milliseconds([&] {
        TestDelegate delegate;
        delegate.SetLayout([](IGraphics* g) { Layout(g, nullptr); });
        delegate.OpenEditor(parent.Handle(), nullptr);
        WaitForFrames(*delegate.Win(), 1, 5000);
        delegate.Win()->BindGLContext();
        glFinish();
        delegate.Win()->UnbindGLContext();
        delegate.CloseEditor();
    });
    // Opening again after the first time still makes the window, context, NanoVG, fonts
    // and framebuffer; only the process-wide font bytes are reused.
    std::printf("open to first frame           %8.2f ms\n", open);

    for (float scale : {1.0f, 2.0f}) {
        TestDelegate delegate;
        std::vector<BenchKnob*> knobs;
        delegate.SetLayout([&](IGraphics* g) { Layout(g, &knobs); });
        delegate.OpenEditor(parent.Handle(), nullptr);
        IGraphicsWin& g = *delegate.Win();
        g.ResizeEditor(460, 640, scale, true);
        WaitForFrames(g, 1, 5000);
        PumpMessages(50);
        const double full = Milliseconds([&] {
            g.MarkAllControlsDirty();
            RedrawNow(g);
        });
        const double one = Milliseconds([&] {
            knobs[20]->value = knobs[20]->value > 0.5 ? 0.1 : 0.9;
            knobs[20]->MarkDirty(false);
            RedrawNow(g);
        });
        // The cost of a frame itself: composite of the main framebuffer and the swap.
        const double frame = Milliseconds([&] {
            const RECT tiny = {0, 0, 1, 1};
            InvalidateRect(static_cast<HWND>(g.GetNativeWindow()), &tiny, FALSE);
            UpdateWindow(static_cast<HWND>(g.GetNativeWindow()));
            g.BindGLContext();
            glFinish();
            g.UnbindGLContext();
        });
        std::printf("frame overhead, draw scale %.0f %8.2f ms\n", scale, frame);
        std::printf("full redraw, draw scale %.0f    %8.2f ms\n", scale, full);
        std::printf("one knob dirty, draw scale %.0f %8.2f ms\n", scale, one);
        if (scale == 1.0f) {
            PumpMessages(100);
            const int frames = g.PresentedFrames();
            PumpMessages(1000);
            std::printf("frames presented by an idle editor in 1 s: %d\n", g.PresentedFrames() - frames);
        }
        delegate.CloseEditor();
    }
    return 0;
}
