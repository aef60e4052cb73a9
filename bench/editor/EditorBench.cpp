// Editor timings under Wine + Xvfb (Mesa llvmpipe): opening to the first presented frame, a
// full redraw of a panel-sized scene at draw scale 1 and 2, a redraw with one knob dirty, the
// fixed cost of a frame and of the buffer swap alone, and the frames an idle editor presents.
// Drawing is finished (glFinish) inside every timed span, so the software rasteriser's work
// counts; all cases are timed in wall-clock time.

#include "tests/framework/graphics/windows/EditorRig.h"

#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

using namespace iplug::igraphics;
using namespace iplug::igraphics::test;

namespace {

const char* const kRobotoPath = "Z:\\usr\\share\\fonts\\truetype\\roboto\\unhinted\\RobotoTTF\\Roboto-Regular.ttf";
constexpr int kKnobRows = 8;
constexpr int kKnobColumns = 6;

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
    void Toggle()
    {
        value = value > 0.5 ? 0.1 : 0.9;
        MarkDirty(false);
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
    for (int row = 0; row < kKnobRows; ++row)
        for (int col = 0; col < kKnobColumns; ++col) {
            auto* knob = new BenchKnob(IBox(10 + col * 74.0f, 10 + row * 78.0f, 80 + col * 74.0f, 84 + row * 78.0f),
                                       (row * kKnobColumns + col) / double(kKnobRows * kKnobColumns));
            g->AddControl(knob);
            if (knobs)
                knobs->push_back(knob);
        }
}

// The host's frame, big enough for the editor at draw scale 2.
HWND ParentWindow()
{
    static TestParentWindow parent(1000, 1400);
    return parent.Handle();
}

void FinishDrawing(IGraphicsWin& g)
{
    g.BindGLContext();
    glFinish();
    g.UnbindGLContext();
}

// An open editor with the test scene at a draw scale, its first frame presented.
class OpenScene
{
public:
    explicit OpenScene(float scale)
    {
        delegate.SetLayout([this](IGraphics* g) { Layout(g, &knobs); });
        delegate.OpenEditor(ParentWindow(), nullptr);
        Win().ResizeEditor(460, 640, scale, true);
        WaitForFrames(Win(), 1);
        PumpMessages(50);
        FinishDrawing(Win());
    }
    ~OpenScene() { delegate.CloseEditor(); }
    IGraphicsWin& Win() { return *delegate.Win(); }
    HWND Window() { return static_cast<HWND>(Win().GetNativeWindow()); }

    // Runs one redraw tick now and waits until the frame is rendered.
    void RedrawNow()
    {
        Win().OnRedrawTick(0);
        FinishDrawing(Win());
    }

    TestDelegate delegate;
    std::vector<BenchKnob*> knobs;
};

float ScaleArg(const benchmark::State& state)
{
    return static_cast<float>(state.range(0));
}

// An editor opened until its first frame is presented and rendered.
std::unique_ptr<TestDelegate> OpenToFirstFrame()
{
    auto delegate = std::make_unique<TestDelegate>();
    delegate->SetLayout([](IGraphics* g) { Layout(g, nullptr); });
    delegate->OpenEditor(ParentWindow(), nullptr);
    WaitForFrames(*delegate->Win(), 1);
    FinishDrawing(*delegate->Win());
    return delegate;
}

// Every open after the first still makes the window, context, NanoVG, fonts and framebuffer;
// only the process-wide font bytes are reused. The close is not timed.
void BM_OpenToFirstFrame(benchmark::State& state)
{
    OpenToFirstFrame()->CloseEditor();
    for (auto _ : state) {
        auto delegate = OpenToFirstFrame();
        state.PauseTiming();
        delegate->CloseEditor();
        delegate.reset();
        state.ResumeTiming();
    }
}

void BM_FullRedraw(benchmark::State& state)
{
    OpenScene scene(ScaleArg(state));
    for (auto _ : state) {
        scene.Win().MarkAllControlsDirty();
        scene.RedrawNow();
    }
}

void BM_OneKnobDirty(benchmark::State& state)
{
    OpenScene scene(ScaleArg(state));
    BenchKnob* knob = scene.knobs[20];
    for (auto _ : state) {
        knob->Toggle();
        scene.RedrawNow();
    }
}

// The fixed cost of a frame: one pixel of the window invalidated, so almost nothing is drawn.
void BM_FrameOverhead(benchmark::State& state)
{
    OpenScene scene(ScaleArg(state));
    const RECT tiny = {0, 0, 1, 1};
    for (auto _ : state) {
        InvalidateRect(scene.Window(), &tiny, FALSE);
        UpdateWindow(scene.Window());
        FinishDrawing(scene.Win());
    }
}

// The buffer swap on its own, with nothing drawn: what presenting the window costs whatever
// the editor does.
void BM_SwapOnly(benchmark::State& state)
{
    OpenScene scene(ScaleArg(state));
    HDC dc = GetDC(scene.Window());
    scene.Win().BindGLContext();
    for (auto _ : state) {
        SwapBuffers(dc);
        glFinish();
    }
    scene.Win().UnbindGLContext();
    ReleaseDC(scene.Window(), dc);
}

// Frames presented in one second by an editor with nothing dirty (the clock keeps ticking).
void BM_IdleFrames(benchmark::State& state)
{
    OpenScene scene(1.0f);
    PumpMessages(100);
    int frames = 0;
    for (auto _ : state) {
        const int before = scene.Win().PresentedFrames();
        PumpMessages(1000);
        frames += scene.Win().PresentedFrames() - before;
    }
    state.counters["frames_per_s"] = benchmark::Counter(frames, benchmark::Counter::kAvgIterations);
}

} // namespace

BENCHMARK(BM_OpenToFirstFrame)->MinTime(2.0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FullRedraw)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OneKnobDirty)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FrameOverhead)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SwapOnly)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_IdleFrames)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
