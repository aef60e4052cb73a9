// The drawing context's per-frame work without a window: dirty-region collection, separation
// and the paint pass over a panel of 60 controls, and hit testing, against a backend whose
// drawing slots do nothing, so only the framework's own cost is measured.

#include "framework/graphics/IControl.h"
#include "framework/graphics/IGEditorDelegate.h"
#include "framework/graphics/IGraphics.h"
#include "framework/graphics/IGraphicsConstants.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

using namespace iplug::igraphics;

class QuietDelegate : public IGEditorDelegate
{
public:
    QuietDelegate() : IGEditorDelegate(8) {}
    void BeginParamEditFromEditor(int) override {}
    void EndParamEditFromEditor(int) override {}
};

class NullBackend : public IGraphics
{
public:
    explicit NullBackend(IGEditorDelegate& d) : IGraphics(d, 460, 640, 60, 1.0f) {}

    void BlitBitmap(const IBitmapRef&, const IBox&, int, int, const IBlendSpec*) override {}
    IArgb SamplePixel(float, float) override { return kBlack; }
    void* GetBackendContext() override { return nullptr; }
    const char* GetBackendName() const override { return "Null"; }
    bool SupportsImageExtension(const char*) override { return false; }
    void ReadLayerPixels(IOffscreenLayer&, iplug::GrowBuffer&) override {}
    void CompositeShadowMask(IOffscreenLayer&, const iplug::GrowBuffer&, const IShadowSpec&) override {}
    void PathBegin() override {}
    void PathCloseFigure() override {}
    void PathAddArc(float, float, float, float, float, int) override {}
    void PathMove(float x, float y) override { benchmark::DoNotOptimize(x + y); }
    void PathLine(float x, float y) override { benchmark::DoNotOptimize(x + y); }
    void PathCubic(float, float, float, float, float, float) override {}
    void PathQuadratic(float, float, float, float) override {}
    void PathDoStroke(const IPaint& paint, float, const IStrokeStyle&, const IBlendSpec*) override
    {
        benchmark::DoNotOptimize(paint.stopCount);
    }
    void PathDoFill(const IPaint& paint, const IFillStyle&, const IBlendSpec*) override
    {
        benchmark::DoNotOptimize(paint.stopCount);
    }
    void ApplyTransform(const ITransform2D&) override {}
    void SetClipBox(const IBox&) override {}
    void GetPointerPosition(float& x, float& y) const override { x = y = 0.0f; }
    void ShowPointer(bool, bool) override {}
    void WarpPointer(float, float) override {}
    void CancelTextEntry() override {}
    void* OpenPlatformWindow(void*) override { return nullptr; }
    void ClosePlatformWindow() override {}
    void* GetNativeWindow() const override { return nullptr; }
    bool ReadClipboardText(iplug::TextBuffer&) override { return false; }
    bool WriteClipboardText(const char*) override { return false; }
    void OnPopupControlOpening() override {}
    int ShowAlert(const char*, const char*, int, IMsgBoxCompletion) override { return 0; }
    void AskForFile(iplug::TextBuffer&, iplug::TextBuffer&, int, const char*, IFileDialogCompletion) override {}
    void AskForFolder(iplug::TextBuffer&, IFileDialogCompletion) override {}
    bool AskForColour(IArgb&, const char*, IColourPickerCompletion) override { return false; }
    bool OpenUrlInBrowser(const char*, const char*, const char*, const char*) override { return false; }
    PlatformFont* LoadSystemFont(const char*, const char*, int) override { return nullptr; }
    PlatformFont* LoadPlatformFontFromMemory(const char*, const void*, int) override { return nullptr; }
    PlatformFont* LoadPlatformFontFromFile(const char*, const char*) override { return nullptr; }
    void RetainPlatformFont(const char*, PlatformFont&) override {}
    void OpenPlatformTextEntry(int, const ITextStyle&, const IBox&, int, const char*) override {}
    IPopupMenu* ShowPlatformMenu(IPopupMenu&, const IBox&, bool&) override { return nullptr; }
    APIBitmap* CreateBackendBitmapFromMemory(const char*, const void*, int, int) override { return nullptr; }
    APIBitmap* CreateBackendBitmapFromLocation(const char*, int, int, const char*) override { return nullptr; }
    APIBitmap* CreateOffscreenBitmap(int, int, float, double, bool) override { return nullptr; }
    bool RegisterBackendFont(const char*, PlatformFont&) override { return false; }
    int LayerAlphaIndex() const override { return 3; }
    bool LayerRowsTopDown() const override { return false; }
    float MeasureTextImpl(const ITextStyle&, const char*, IBox& box) override { return box.W(); }
    void DrawTextImpl(const ITextStyle&, const char*, const IBox&, const IBlendSpec*) override {}
};

// A knob-like widget: a filled circle, an outline and a pointer line.
class Widget : public IControl
{
public:
    using IControl::IControl;
    void Paint(IGraphics& g) override
    {
        g.SolidCircle(kDarkGrey, box.MW(), box.MH(), box.W() * 0.4f, &blend);
        g.OutlineCircle(kWhite, box.MW(), box.MH(), box.W() * 0.4f, &blend, 2.0f);
        g.StrokeLine(kWhite, box.MW(), box.MH(), box.MW(), box.top + 4.0f, &blend, 2.0f);
    }
};

// 60 controls on a 460 x 640 panel: a background and a 7 x 8 grid of overlapping-edge knobs,
// plus three wide strips across them.
struct Panel
{
    Panel() : g(delegate)
    {
        g.AddControl(new Widget(IBox(0, 0, 460, 640)));
        for (int row = 0; row < 8; ++row)
            for (int col = 0; col < 7; ++col)
                g.AddControl(new Widget(IBox(col * 64.0f + 6, row * 78.0f + 10, col * 64.0f + 70, row * 78.0f + 84),
                                        row * 7 + col < 8 ? row * 7 + col : -1));
        for (int i = 0; i < 3; ++i)
            g.AddControl(new Widget(IBox(20, 200.0f * i + 60, 440, 200.0f * i + 90)));
        regions.Resize(64 * int(sizeof(IBox)), false); // keep room, as the window layer's list does
        regions.Clear();
        Settle();
    }
    void Settle()
    {
        g.CollectDirtyRegions(regions);
        regions.Clear();
    }

    QuietDelegate delegate;
    NullBackend g;
    IBoxList regions;
};

void BM_FrameWithFiveDirtyControls(benchmark::State& state)
{
    Panel panel;
    const int dirty[5] = {3, 17, 30, 44, 58};
    for (auto _ : state) {
        for (int idx : dirty)
            panel.g.GetControl(idx)->MarkDirty(false);
        panel.regions.Clear();
        if (panel.g.CollectDirtyRegions(panel.regions))
            panel.g.DrawDirtyRegions(panel.regions);
        benchmark::DoNotOptimize(panel.regions.Count());
    }
    state.counters["controls"] = panel.g.NControls();
}
BENCHMARK(BM_FrameWithFiveDirtyControls);

void BM_IdleFrame(benchmark::State& state)
{
    Panel panel;
    for (auto _ : state) {
        panel.regions.Clear();
        benchmark::DoNotOptimize(panel.g.CollectDirtyRegions(panel.regions));
    }
}
BENCHMARK(BM_IdleFrame);

void BM_HitTest(benchmark::State& state)
{
    Panel panel;
    float x = 0.0f;
    float y = 0.0f;
    for (auto _ : state) {
        x = x + 37.0f > 460.0f ? x - 423.0f : x + 37.0f;
        y = y + 53.0f > 640.0f ? y - 587.0f : y + 53.0f;
        benchmark::DoNotOptimize(panel.g.FindControlAt(x, y, false, false));
    }
}
BENCHMARK(BM_HitTest);

} // namespace
