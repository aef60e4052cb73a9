#include "framework/graphics/IControl.h"
#include "framework/graphics/ICornerResizerControl.h"
#include "framework/graphics/IGEditorDelegate.h"
#include "framework/graphics/IGraphics.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

namespace iplug {
namespace igraphics {

namespace {

// Positive overlap area; boxes that only touch do not overlap.
bool Overlap(const IBox& a, const IBox& b)
{
    return std::max(a.left, b.left) < std::min(a.right, b.right)
           && std::max(a.top, b.top) < std::min(a.bottom, b.bottom);
}

bool SpansTouch(float aStart, float aEnd, float bStart, float bEnd)
{
    return (aStart >= bStart && bEnd >= aStart) || (bStart >= aStart && aEnd >= bStart);
}

bool Mergeable(const IBox& a, const IBox& b)
{
    if (a.IsEmpty() || b.IsEmpty())
        return true;
    if (a.left == b.left && a.right == b.right && SpansTouch(a.top, a.bottom, b.top, b.bottom))
        return true;
    return a.top == b.top && a.bottom == b.bottom && SpansTouch(a.left, a.right, b.left, b.right);
}

// trunc(value), held within 0..INT_MAX: float-to-int of a value outside int is undefined.
int PixelsFrom(float value)
{
    constexpr float kBeyondInt = 2147483648.0f;
    if (!(value > 0.0f))
        return 0;
    return value < kBeyondInt ? int(value) : std::numeric_limits<int>::max();
}

} // namespace

void IGraphics::StartFrame(const IBox& area)
{
    // Only a frame-timing overlay reads the frame times; none is attached in this build.
    if (!frameTimingControl)
        return;
    static const auto origin = std::chrono::steady_clock::now();
    lastFrameTime = std::chrono::duration<double>(std::chrono::steady_clock::now() - origin).count();
}

bool IGraphics::CollectDirtyRegions(IBoxList& out)
{
    if (displayTickHandler)
        displayTickHandler(out);
    // Plain loops: this runs every frame and must not allocate.
    const int count = controls.Count();
    for (int i = 0; i <= count; ++i) {
        if (IControl* c = i < count ? controls.Get(i) : cornerResizer)
            c->StepAnimation();
    }
    bool added = false;
    for (int i = 0; i <= count; ++i) {
        IControl* c = i < count ? controls.Get(i) : cornerResizer;
        if (!c || !c->NeedsRedraw())
            continue;
        out.Append(c->GetBox().Grown(0.75f));
        // Cleared here, one by one, so a control marked dirty by a later control's check
        // during this pass stays dirty for the next one.
        c->MarkClean();
        added = true;
    }
    return added;
}

void IGraphics::DrawDirtyRegions(IBoxList& regions)
{
    if (regions.Count() == 0)
        return;
    const float s = GetBackingScale();
    StartFrame(regions.Bounds().PixelAligned(s));
    if (strictDrawing) {
        PaintAllInto(regions.Bounds().PixelAligned(s), s);
    } else {
        for (int i = 0; i < regions.Count(); ++i)
            regions[i] = regions[i].PixelAligned(s);
        SeparateDirtyRegions(regions);
        for (int i = 0; i < regions.Count(); ++i)
            PaintAllInto(regions[i], s);
    }
    FinishFrame();
}

IBox IGraphics::SplitBoxAround(IBoxList& list, const IBox& box, const IBox& cut)
{
    const IBox r = box.Intersection(cut);
    if (r.IsEmpty() || !Overlap(box, cut))
        return box;
    IBox pieces[4];
    int n = 0;
    if (r.top > box.top)
        pieces[n++] = IBox(box.left, box.top, box.right, r.top);
    if (r.bottom < box.bottom)
        pieces[n++] = IBox(box.left, r.bottom, box.right, box.bottom);
    if (r.left > box.left)
        pieces[n++] = IBox(box.left, r.top, r.left, r.bottom);
    if (r.right < box.right)
        pieces[n++] = IBox(r.right, r.top, box.right, r.bottom);
    if (n == 0)
        return IBox();
    for (int i = 1; i < n; ++i)
        list.Append(pieces[i]);
    return pieces[0];
}

void IGraphics::SeparateDirtyRegions(IBoxList& list)
{
    // Phase 1: make the boxes pairwise disjoint. A box inside another goes; otherwise the
    // later box of an overlapping pair is cut into the (up to four) pieces outside the other.
    for (int i = 0; i < list.Count(); ++i) {
        for (int j = i + 1; j < list.Count();) {
            const IBox a = list[i];
            const IBox b = list[j];
            if (a.IsEmpty() || b.IsEmpty() || !Overlap(a, b)) {
                ++j;
            } else if (a.Encloses(b)) {
                list.RemoveAt(j);
            } else if (b.Encloses(a)) {
                list.RemoveAt(i);
                j = i + 1;
            } else {
                const IBox kept = SplitBoxAround(list, b, a);
                if (kept.IsEmpty())
                    list.RemoveAt(j);
                else
                    list[j++] = kept;
            }
        }
    }
    // Phase 2: merge neighbours that share a full edge, and drop empty boxes.
    for (bool merged = true; merged;) {
        merged = false;
        for (int i = 0; i < list.Count() && !merged; ++i) {
            for (int j = i + 1; j < list.Count(); ++j) {
                if (Mergeable(list[i], list[j])) {
                    list[j] = list[i].Union(list[j]);
                    list.RemoveAt(i);
                    merged = true;
                    break;
                }
            }
        }
    }
}

void IGraphics::PaintAllInto(const IBox& region, float s)
{
    for (int i = 0; i < controls.Count(); ++i)
        PaintControl(controls.Get(i), region, s);
    PaintControl(cornerResizer, region, s);
}

void IGraphics::PaintControl(IControl* control, const IBox& region, float s)
{
    if (!control)
        return;
    if (control->IsHidden() && control != controls.Get(0))
        return;
    const IBox drawBox = control->GetBox().Grown(0.75f).PixelAligned(s);
    const IBox clip = region.Intersection(drawBox);
    if (clip.W() <= 0.0f || clip.H() <= 0.0f)
        return;
    ResetTransform(true);
    PathBegin();
    SetClipBox(clip);
    clipBox = clip;
    control->Paint(*this);
    AfterControlDrawn(clip);
}

void IGraphics::SetClipRegion(const IBox& box)
{
    const IBox base = layerStack.empty() ? clipBox : layerStack.back()->box;
    IBox clip = base;
    if (!box.IsEmpty())
        clip = base.Intersection(box);
    ApplyTransform(ITransform2D());
    SetClipBox(clip);
    ApplyTransform(transform);
}

void IGraphics::OpenLayer(IControl* owner, const IBox& box, bool cacheable)
{
    const float s = GetBackingScale();
    const IBox aligned = box.PixelAligned(s);
    const int w = int(std::ceil(std::ceil(aligned.W()) * s));
    const int h = int(std::ceil(std::ceil(aligned.H()) * s));
    auto* layer = new IOffscreenLayer;
    layer->bitmap.reset(CreateOffscreenBitmap(w, h, screenScale, drawScale, cacheable));
    layer->owner = owner;
    layer->ownerBox = owner ? owner->GetBox() : IBox();
    layer->box = aligned;
    layer->invalid = false;
    PushLayer(layer);
}

void IGraphics::PushLayer(IOffscreenLayer* layer)
{
    layerStack.emplace_back(layer);
    BindActiveLayer();
    transform = ITransform2D();
    ApplyTransform(transform);
    SetClipRegion(layer->box);
    PathBegin();
}

IOffscreenLayer* IGraphics::PopLayer()
{
    IOffscreenLayer* layer = nullptr;
    if (!layerStack.empty()) {
        layer = layerStack.back().release();
        layerStack.pop_back();
    }
    BindActiveLayer();
    transform = ITransform2D();
    ApplyTransform(transform);
    SetClipRegion(IBox());
    PathBegin();
    return layer;
}

std::unique_ptr<IOffscreenLayer> IGraphics::CloseLayer()
{
    return std::unique_ptr<IOffscreenLayer>(PopLayer());
}

void IGraphics::BlurAlphaPass(const uint8_t* in, uint8_t* out, int count, int inStride, int outStride,
                              const uint8_t* kernel, int taps, uint32_t kernelSum)
{
    auto sample = [&](int i) -> uint32_t { return i >= 0 && i < count ? in[size_t(i) * size_t(inStride)] : 0u; };
    const int window = 2 * taps + 1;
    int runLength = 0;
    uint32_t runValue = 0;
    for (int i = 0; i < count; ++i) {
        // The newest sample of the window around i is at i + taps.
        const uint32_t entering = sample(i + taps);
        if (runLength > 0 && entering == runValue)
            ++runLength;
        else {
            runValue = entering;
            runLength = 1;
        }
        uint32_t value;
        if (runLength >= window && kernelSum > 0) {
            value = runValue;
        } else {
            uint32_t sum = kernel[0] * sample(i);
            for (int j = 1; j < taps; ++j)
                sum += kernel[j] * (sample(i - j) + sample(i + j));
            value = kernelSum > 0 ? std::min<uint32_t>(255u, sum / kernelSum) : 0u;
        }
        out[size_t(i) * size_t(outStride)] = uint8_t(value);
    }
}

void IGraphics::ApplyLayerShadow(IOffscreenLayer& layer, const IShadowSpec& shadow)
{
    if (!layer.bitmap)
        return;
    GrowBuffer pixels;
    ReadLayerPixels(layer, pixels);
    const int w = layer.bitmap->GetWidth();
    const int h = layer.bitmap->GetHeight();
    if (pixels.Size() == 0 || w <= 0 || h <= 0 || int64_t(pixels.Size()) < int64_t(w) * h * 4)
        return;
    const float blur = std::max(1.0f, layer.bitmap->GetDrawScale() * layer.bitmap->GetScale() * shadow.blurSize + 1.0f);
    if (!std::isfinite(blur))
        return;
    const int taps = int(std::ceil(blur));
    const double k = 4.5 / (double(blur) * double(blur));
    std::vector<uint8_t> kernel(static_cast<size_t>(taps));
    uint32_t sum = 0;
    for (int i = 0; i < taps; ++i) {
        kernel[size_t(i)] = uint8_t(std::lround(std::exp(-double(i) * double(i) * k) * 255.0));
        sum += (i == 0 ? 1u : 2u) * kernel[size_t(i)];
    }
    uint8_t* px = pixels.Data();
    const int alpha = LayerAlphaIndex();
    const bool topDown = LayerRowsTopDown();
    // Pass 1 blurs each row into a transposed scratch; pass 2 blurs the scratch rows (the
    // columns) and writes them transposed back, so both directions are blurred.
    std::vector<uint8_t> scratch(size_t(w) * size_t(h) * 4);
    for (int row = 0; row < h; ++row) {
        const int source = topDown ? h - 1 - row : row;
        BlurAlphaPass(px + size_t(source) * size_t(w) * 4 + size_t(alpha),
                      scratch.data() + size_t(row) * 4 + size_t(alpha), w, 4, h * 4, kernel.data(), taps, sum);
    }
    for (int col = 0; col < w; ++col) {
        BlurAlphaPass(scratch.data() + size_t(col) * size_t(h) * 4 + size_t(alpha),
                      px + size_t(col) * 4 + size_t(alpha), h, 4, w * 4, kernel.data(), taps, sum);
    }
    CompositeShadowMask(layer, pixels, shadow);
}

IBitmapRef IGraphics::RescaleBitmap(const IBitmapRef& source, const char* name, int targetScale)
{
    if (!source.bitmap)
        return IBitmapRef();
    const float savedScreen = screenScale;
    const float savedDraw = drawScale;
    const float sourceDraw = source.bitmap->GetDrawScale();
    if (!(sourceDraw > 0.0f))
        return IBitmapRef();
    screenScale = float(targetScale);
    drawScale = sourceDraw;
    OpenLayer(nullptr, IBox(0.0f, 0.0f, float(source.width) / sourceDraw, float(source.height) / sourceDraw), true);
    BlitBitmap(source, layerStack.back()->box, 0, 0, nullptr);
    std::unique_ptr<IOffscreenLayer> layer = CloseLayer();
    IBitmapRef result = MakeBitmapRef(layer->bitmap.release(), name, source.frameCount, source.framesHorizontal);
    if (result.bitmap)
        KeepBitmapCached(result, name);
    screenScale = savedScreen;
    drawScale = savedDraw;
    return result;
}

bool IGraphics::ScalesAreUsable(float scale) const
{
    return std::isfinite(scale) && scale > 0.0f;
}

void IGraphics::ResizeEditor(int w, int h, float scale, bool notifyDelegate)
{
    if (!ScalesAreUsable(scale))
        return;
    delegate->ClampEditorSize(w, h);
    scale = std::clamp(scale, minScale, maxScale);
    if (w == width && h == height && scale == drawScale)
        return;
    ReleaseAllCaptures();
    width = w;
    height = h;
    drawScale = scale;
    if (cornerResizer)
        cornerResizer->OnScaleChanged();
    int pw = 0, ph = 0;
    WindowPixelSize(pw, ph);
    const bool askHost = notifyDelegate && !handlingHostResize;
    ResizePlatformWindow(delegate->OnEditorSizeChanged(pw, ph, askHost));
    ForAllControls([](IControl* c) { c->OnBoxChanged(); });
    MarkAllControlsDirty();
    OnDrawSizeChanged();
    if (layoutOnResize)
        delegate->RunLayoutFunction(this);
}

void IGraphics::WindowPixelSize(int& pw, int& ph) const
{
    pw = WindowPixels(width, drawScale, GetWindowScale());
    ph = WindowPixels(height, drawScale, GetWindowScale());
}

float IGraphics::ScaleToFit(int unitsWidth, int unitsHeight, int pixelWidth, int pixelHeight) const
{
    // A few steps of the last float bit are all the noise of one division and one product.
    constexpr int kNoiseSteps = 8;
    const float s = GetWindowScale();
    const float fit = std::min(float(pixelWidth) / s / float(unitsWidth), float(pixelHeight) / s / float(unitsHeight));
    const auto fits = [&](float scale) {
        return WindowPixels(unitsWidth, scale, s) <= pixelWidth && WindowPixels(unitsHeight, scale, s) <= pixelHeight;
    };
    const auto fills = [&](float scale) {
        return WindowPixels(unitsWidth, scale, s) == pixelWidth || WindowPixels(unitsHeight, scale, s) == pixelHeight;
    };
    if (!std::isfinite(fit) || fills(fit))
        return fit;
    float nudged = fit;
    for (int step = 0; step < kNoiseSteps; ++step) {
        nudged = std::nextafter(nudged, std::numeric_limits<float>::infinity());
        if (!fits(nudged))
            break;
        if (fills(nudged))
            return nudged;
    }
    return fit;
}

void IGraphics::OnHostResize(int pixelWidth, int pixelHeight)
{
    int pw = 0, ph = 0;
    WindowPixelSize(pw, ph);
    if (pixelWidth == pw && pixelHeight == ph)
        return;
    const float s = GetWindowScale();
    if (!ScalesAreUsable(s))
        return;
    handlingHostResize = true;
    ResizeEditor(PixelsFrom(float(pixelWidth) / s), PixelsFrom(float(pixelHeight) / s), 1.0f, false);
    handlingHostResize = false;
}

void IGraphics::ApplyScreenScale(float s)
{
    if (!ScreenScaleIsSane(s))
        return;
    screenScale = s;
    int pw = 0, ph = 0;
    WindowPixelSize(pw, ph);
    ResizePlatformWindow(delegate->OnEditorSizeChanged(pw, ph, true));
    ForAllControls([](IControl* c) { c->OnScaleChanged(); });
    MarkAllControlsDirty();
    OnDrawSizeChanged();
}

bool IGraphics::ScreenScaleIsSane(float scale)
{
    return scale >= kMinScreenScale && scale <= kMaxScreenScale;
}

int IGraphics::WindowPixels(int units, float drawScale, float windowScale)
{
    return PixelsFrom(float(PixelsFrom(float(units) * drawScale)) * windowScale);
}

void IGraphics::SetScaleLimits(float a, float b)
{
    maxScale = std::max(a, b);
    minScale = std::min(a, b);
}

} // namespace igraphics
} // namespace iplug
