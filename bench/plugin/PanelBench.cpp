// The product's own panel under Wine + Xvfb (Mesa llvmpipe): the Marlquin editor opened in this
// program (which carries the panel's images and fonts as the module does) at scale 1 and 2, a
// full redraw, a redraw with one knob dirty and the fixed cost of a frame. The panel is mostly bitmaps, so these are the
// figures a user sees beside the framework's drawn test scene (bench/editor). Drawing is finished
// (glFinish) inside every timed span; all cases are timed in wall-clock time.

#include "framework/core/ModuleResources.h"
#include "framework/graphics/windows/GLLoader.h"
#include "framework/graphics/windows/IGraphicsWin.h"
#include "plugin/Quorrel.h"
#include "plugin/panel/PanelLayout.h"
#include "plugin/panel/widgets/WStripKnob.h"
#include "plugin/tools/ScratchProfile.h"
#include "plugin/tools/ToolWindow.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

using iplug::igraphics::IGraphicsWin;

namespace {

void FinishDrawing(IGraphicsWin& g)
{
    g.BindGLContext();
    glFinish();
    g.UnbindGLContext();
}

// The editor open in a top-level window of its size at a scale, its first frames presented and
// its images decoded.
class OpenPanel
{
public:
    explicit OpenPanel(float scale) : profile(scale)
    {
        iplug::SetModuleInstance(GetModuleHandleW(nullptr));
        WNDCLASSW wc = {};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"MarlquinPanelBench";
        RegisterClassW(&wc);
        const int width = static_cast<int>(std::lround(kFaceLayout.width * scale));
        const int height = static_cast<int>(std::lround(kFaceLayout.height * scale));
        frame = CreateWindowExW(0, wc.lpszClassName, L"Marlquin", WS_POPUP | WS_VISIBLE, 0, 0, width, height, nullptr,
                                nullptr, wc.hInstance, nullptr);
        plugin = new Quorrel();
        if (frame && plugin->OpenEditor(frame, nullptr))
            ui = static_cast<IGraphicsWin*>(plugin->GetGraphics());
        if (!ui)
            return;
        const DWORD end = GetTickCount() + 5000;
        while (ui->PresentedFrames() < 3 && static_cast<int>(end - GetTickCount()) > 0)
            ToolWindow::Pump(5);
        ToolWindow::Pump(300);
        FinishDrawing(*ui);
    }
    ~OpenPanel()
    {
        if (ui)
            plugin->CloseEditor();
        plugin->release();
        if (frame)
            DestroyWindow(frame);
    }
    OpenPanel(const OpenPanel&) = delete;
    OpenPanel& operator=(const OpenPanel&) = delete;

    IGraphicsWin* Ui() { return ui; }

    WStripKnob* FirstKnob()
    {
        for (int i = 0; ui && i < ui->NControls(); ++i)
            if (auto* knob = dynamic_cast<WStripKnob*>(ui->GetControl(i)))
                return knob;
        return nullptr;
    }

    // Runs one redraw tick now and waits until the frame is rendered.
    void RedrawNow()
    {
        ui->OnRedrawTick(0);
        FinishDrawing(*ui);
    }

private:
    ScratchProfile profile;
    HWND frame = nullptr;
    Quorrel* plugin = nullptr;
    IGraphicsWin* ui = nullptr;
};

float ScaleArg(const benchmark::State& state)
{
    return static_cast<float>(state.range(0));
}

void BM_PanelFullRedraw(benchmark::State& state)
{
    OpenPanel panel(ScaleArg(state));
    if (!panel.Ui()) {
        state.SkipWithError("the editor did not open");
        return;
    }
    for (auto _ : state) {
        panel.Ui()->MarkAllControlsDirty();
        panel.RedrawNow();
    }
}

// A knob's value changed by the host, as automation moves it.
void BM_PanelOneKnobDirty(benchmark::State& state)
{
    OpenPanel panel(ScaleArg(state));
    WStripKnob* knob = panel.FirstKnob();
    if (!knob) {
        state.SkipWithError("the editor did not open or has no knob");
        return;
    }
    double value = 0.2;
    for (auto _ : state) {
        value = value > 0.5 ? 0.2 : 0.8;
        knob->SetValueFromHost(value);
        panel.RedrawNow();
    }
}

// The fixed cost of a frame of this editor: one pixel of its window invalidated.
void BM_PanelFrameOverhead(benchmark::State& state)
{
    OpenPanel panel(ScaleArg(state));
    if (!panel.Ui()) {
        state.SkipWithError("the editor did not open");
        return;
    }
    const HWND window = static_cast<HWND>(panel.Ui()->GetNativeWindow());
    const RECT tiny = {0, 0, 1, 1};
    for (auto _ : state) {
        InvalidateRect(window, &tiny, FALSE);
        UpdateWindow(window);
        FinishDrawing(*panel.Ui());
    }
}

} // namespace

BENCHMARK(BM_PanelFullRedraw)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PanelOneKnobDirty)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK(BM_PanelFrameOverhead)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
