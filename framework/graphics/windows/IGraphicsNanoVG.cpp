#include "framework/graphics/windows/IGraphicsNanoVG.h"

#include "framework/core/ModuleResources.h"
#include "framework/core/ScopedSection.h"
#include "framework/graphics/windows/GLLoader.h"
#include "framework/graphics/windows/IFontBlob.h"
#include "framework/graphics/windows/WinFont.h"

#define NANOVG_GL2 1
#include <nanovg_gl.h>
#include <nanovg_gl_utils.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <vector>

namespace iplug::igraphics {

namespace {

constexpr GLbitfield kClearMask = GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT;

void DeleteFontBlob(void* item)
{
    delete static_cast<IFontBlob*>(item);
}

void DeleteBitmap(void* item)
{
    delete static_cast<APIBitmap*>(item);
}

void ClearBoundFramebuffer(int w, int h)
{
    glViewport(0, 0, w, h);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(kClearMask);
}

int HorizontalFlag(int32_t align)
{
    switch (align) {
    case kAlignLeft:
        return NVG_ALIGN_LEFT;
    case kAlignRight:
        return NVG_ALIGN_RIGHT;
    case kAlignCentre:
        return NVG_ALIGN_CENTER;
    default:
        return 0;
    }
}

int VerticalFlag(int32_t align)
{
    switch (align) {
    case kAlignTop:
        return NVG_ALIGN_TOP;
    case kAlignBottom:
        return NVG_ALIGN_BOTTOM;
    case kAlignMiddle:
        return NVG_ALIGN_MIDDLE;
    default:
        return 0;
    }
}

double HorizontalAnchor(int32_t align, const IBox& box)
{
    switch (align) {
    case kAlignLeft:
        return box.left;
    case kAlignRight:
        return box.right;
    case kAlignCentre:
        return 0.5 * (box.left + box.right);
    default:
        return 0.0;
    }
}

double VerticalAnchor(int32_t align, const IBox& box)
{
    switch (align) {
    case kAlignTop:
        return box.top;
    case kAlignBottom:
        return box.bottom;
    case kAlignMiddle:
        return 0.5 * (box.top + box.bottom);
    default:
        return 0.0;
    }
}

} // namespace

ProcessCache& IGraphicsNanoVG::BackendFontCache()
{
    static ProcessCache cache(DeleteFontBlob);
    return cache;
}

IGraphicsNanoVG::Bitmap::Bitmap(NVGcontext* vg, int image, float scale, bool shared) : vg(vg), shared(shared)
{
    this->image = image;
    this->scale = scale;
    this->drawScale = 1.0f;
    if (vg && image > 0)
        nvgImageSize(vg, image, &width, &height);
}

IGraphicsNanoVG::Bitmap::Bitmap(IGraphicsNanoVG* owner, NVGcontext* vg, int w, int h, float scale, float drawScale)
    : owner(owner), vg(vg)
{
    framebuffer = vg ? nvgluCreateFramebuffer(vg, w, h, 0) : nullptr;
    image = framebuffer ? framebuffer->image : 0;
    width = w;
    height = h;
    this->scale = scale;
    this->drawScale = drawScale;
}

IGraphicsNanoVG::Bitmap::~Bitmap()
{
    if (shared)
        return;
    if (framebuffer) {
        if (owner)
            owner->QueueFramebufferDeletion(framebuffer);
        else
            nvgluDeleteFramebuffer(framebuffer);
    } else if (vg && image > 0) {
        nvgDeleteImage(vg, image);
    }
}

IGraphicsNanoVG::IGraphicsNanoVG(IGEditorDelegate& delegate, int width, int height, int fps, float drawScale)
    : IGraphics(delegate, width, height, fps, drawScale), bitmapCache(DeleteBitmap)
{
    ScopedSection lock(BackendFontCache().Lock());
    BackendFontCache().Acquire();
}

IGraphicsNanoVG::~IGraphicsNanoVG()
{
    {
        ScopedSection lock(BackendFontCache().Lock());
        BackendFontCache().ReleaseUse();
    }
    FlushFramebufferDeletions();
    EmptyBitmapCache();
}

int IGraphicsNanoVG::WindowPixelWidth() const
{
    return WindowPixels(width, drawScale, screenScale);
}

int IGraphicsNanoVG::WindowPixelHeight() const
{
    return WindowPixels(height, drawScale, screenScale);
}

void IGraphicsNanoVG::BeginMainFrame()
{
    const int h = WindowPixelHeight();
    glViewport(frameRect[0], h - frameRect[1] - frameRect[3], frameRect[2], frameRect[3]);
    nvgluBindFramebuffer(mainFramebuffer);
    BeginMainNanoVGFrame();
}

void IGraphicsNanoVG::BeginMainNanoVGFrame()
{
    // NanoVG's units per window pixel, as the whole frame has them, so that the area maps
    // onto exactly the pixels it would cover in a whole-window frame.
    const float unitsX = static_cast<float>(static_cast<int>(width * drawScale)) / std::max(1, WindowPixelWidth());
    const float unitsY = static_cast<float>(static_cast<int>(height * drawScale)) / std::max(1, WindowPixelHeight());
    nvgBeginFrame(vg, frameRect[2] * unitsX, frameRect[3] * unitsY, screenScale);
    frameOriginX = frameRect[0] * unitsX;
    frameOriginY = frameRect[1] * unitsY;
}

void IGraphicsNanoVG::StartFrame(const IBox& area)
{
    inFrame = true;
    IGraphics::StartFrame(area);
    if (!vg)
        return;
    // The viewport is limited to the area: NanoVG clips in its fragment shader, so without
    // it a panel-sized background would be rasterised whole for every small dirty region.
    const int w = WindowPixelWidth(), h = WindowPixelHeight();
    const float s = GetBackingScale();
    const int left = std::clamp(static_cast<int>(std::floor(area.left * s)) - 1, 0, w);
    const int top = std::clamp(static_cast<int>(std::floor(area.top * s)) - 1, 0, h);
    const int right = std::clamp(static_cast<int>(std::ceil(area.right * s)) + 1, left, w);
    const int bottom = std::clamp(static_cast<int>(std::ceil(area.bottom * s)) + 1, top, h);
    frameRect[0] = left;
    frameRect[1] = top;
    frameRect[2] = right - left;
    frameRect[3] = bottom - top;
    // Without a main framebuffer the frame draws straight onto the window.
    if (!mainFramebuffer)
        ClearBoundFramebuffer(w, h);
    BeginMainFrame();
}

void IGraphicsNanoVG::FinishFrame()
{
    if (vg) {
        nvgEndFrame(vg);
        if (mainFramebuffer)
            CompositeMainFramebuffer();
    }
    frameOriginX = frameOriginY = 0.0f;
    inFrame = false;
    FlushFramebufferDeletions();
}

void IGraphicsNanoVG::CompositeMainFramebuffer()
{
    const int w = WindowPixelWidth(), h = WindowPixelHeight();
    int x = 0, y = 0, cw = w, ch = h;
    if (backBufferKept && wholeCompositesDue == 0) {
        x = frameRect[0];
        y = h - frameRect[1] - frameRect[3];
        cw = frameRect[2];
        ch = frameRect[3];
    }
    // A straight copy: the main framebuffer holds the whole picture, so nothing is blended
    // and the back buffer need not be cleared first.
    nvgluBindFramebuffer(nullptr);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, mainFramebuffer->fbo);
    glBlitFramebuffer(x, y, x + cw, y + ch, x, y, x + cw, y + ch, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    nvgluBindFramebuffer(nullptr);
    if (wholeCompositesDue > 0)
        --wholeCompositesDue;
}

void IGraphicsNanoVG::OnViewCreated()
{
    vg = nvgCreateGL2(NVG_ANTIALIAS);
}

void IGraphicsNanoVG::OnViewDestroying()
{
    RemoveAllControls();
    EmptyBitmapCache();
    FlushFramebufferDeletions();
    DeleteMainFramebuffer();
    if (vg)
        nvgDeleteGL2(vg);
    vg = nullptr;
}

void IGraphicsNanoVG::DeleteMainFramebuffer()
{
    if (mainFramebuffer)
        nvgluDeleteFramebuffer(mainFramebuffer);
    mainFramebuffer = nullptr;
}

void IGraphicsNanoVG::EmptyBitmapCache()
{
    ScopedSection lock(bitmapCache.Lock());
    bitmapCache.Clear();
}

void IGraphicsNanoVG::OnDrawSizeChanged()
{
    BindGLContext();
    DeleteMainFramebuffer();
    if (vg) {
        const int w = WindowPixelWidth(), h = WindowPixelHeight();
        mainFramebuffer = nvgluCreateFramebuffer(vg, w, h, 0);
        if (mainFramebuffer) {
            // A new texture holds whatever the driver left in it until every region
            // has been drawn once.
            nvgluBindFramebuffer(mainFramebuffer);
            ClearBoundFramebuffer(w, h);
            nvgluBindFramebuffer(nullptr);
        }
    }
    OnBackBufferResized();
    UnbindGLContext();
}

void IGraphicsNanoVG::QueueFramebufferDeletion(NVGLUframebuffer* framebuffer)
{
    if (!framebuffer)
        return;
    if (inFrame) {
        ScopedSection lock(frameLock);
        pendingFramebufferDeletes.push_back(framebuffer);
    } else {
        nvgluDeleteFramebuffer(framebuffer);
    }
}

void IGraphicsNanoVG::FlushFramebufferDeletions()
{
    ScopedSection lock(frameLock);
    while (!pendingFramebufferDeletes.empty()) {
        nvgluDeleteFramebuffer(pendingFramebufferDeletes.back());
        pendingFramebufferDeletes.pop_back();
    }
}

NVGcolor IGraphicsNanoVG::ToNanoVGColour(const IArgb& c, const IBlendSpec* blend) const
{
    return nvgRGBAf(c.r / 255.0f, c.g / 255.0f, c.b / 255.0f, BlendWeight(blend) * c.a / 255.0f);
}

NVGpaint IGraphicsNanoVG::ToNanoVGPaint(const IPaint& paint, const IBlendSpec* blend)
{
    const int last = std::max(0, std::min(paint.stopCount, kMaxPaintStops) - 1);
    const NVGcolor inner = ToNanoVGColour(paint.stops[0].colour, blend);
    const NVGcolor outer = ToNanoVGColour(paint.stops[last].colour, blend);
    const ITransform2D inverse = paint.transform.Inverted();
    double x0 = 0.0, y0 = 0.0;
    inverse.Apply(x0, y0);
    if (paint.kind == kPaintRadial) {
        const float r = static_cast<float>(inverse.xx);
        return nvgRadialGradient(vg, static_cast<float>(x0), static_cast<float>(y0), paint.stops[0].offset * r, r,
                                 inner, outer);
    }
    double x1 = 0.0, y1 = 1.0;
    inverse.Apply(x1, y1);
    return nvgLinearGradient(vg, static_cast<float>(x0), static_cast<float>(y0), static_cast<float>(x1),
                             static_cast<float>(y1), inner, outer);
}

void IGraphicsNanoVG::ApplyBlend(const IBlendSpec* blend)
{
    int src = NVG_ONE, dst = NVG_ONE_MINUS_SRC_ALPHA;
    switch (blend ? blend->mode : kBlendSourceOver) {
    case kBlendSourceOver:
        break;
    case kBlendSourceIn:
        src = NVG_DST_ALPHA, dst = NVG_ZERO;
        break;
    case kBlendSourceOut:
        src = NVG_ONE_MINUS_DST_ALPHA, dst = NVG_ZERO;
        break;
    case kBlendSourceAtop:
        src = NVG_DST_ALPHA, dst = NVG_ONE_MINUS_SRC_ALPHA;
        break;
    case kBlendDestOver:
        src = NVG_ONE_MINUS_DST_ALPHA, dst = NVG_ONE;
        break;
    case kBlendDestIn:
        src = NVG_ZERO, dst = NVG_SRC_ALPHA;
        break;
    case kBlendDestOut:
        src = NVG_ZERO, dst = NVG_ONE_MINUS_SRC_ALPHA;
        break;
    case kBlendDestAtop:
        src = NVG_ONE_MINUS_DST_ALPHA, dst = NVG_SRC_ALPHA;
        break;
    case kBlendAdd:
        src = NVG_SRC_ALPHA, dst = NVG_DST_ALPHA;
        break;
    case kBlendXor:
        src = NVG_ONE_MINUS_DST_ALPHA, dst = NVG_ONE_MINUS_SRC_ALPHA;
        break;
    default:
        return;
    }
    nvgGlobalCompositeBlendFuncSeparate(vg, src, dst, src, dst);
}

namespace {

void ResetBlend(NVGcontext* vg)
{
    nvgGlobalCompositeBlendFuncSeparate(vg, NVG_ONE, NVG_ONE_MINUS_SRC_ALPHA, NVG_ONE, NVG_ONE_MINUS_SRC_ALPHA);
}

} // namespace

void IGraphicsNanoVG::PathBegin()
{
    if (vg)
        nvgBeginPath(vg);
}

void IGraphicsNanoVG::PathCloseFigure()
{
    if (vg)
        nvgClosePath(vg);
}

void IGraphicsNanoVG::PathAddArc(float cx, float cy, float r, float a1, float a2, int direction)
{
    if (!vg)
        return;
    const float k = static_cast<float>(3.14159265358979323846 / 180.0);
    nvgArc(vg, cx, cy, r, (a1 - 90.0f) * k, (a2 - 90.0f) * k, direction ? NVG_CCW : NVG_CW);
}

void IGraphicsNanoVG::PathMove(float x, float y)
{
    if (vg)
        nvgMoveTo(vg, x, y);
}

void IGraphicsNanoVG::PathLine(float x, float y)
{
    if (vg)
        nvgLineTo(vg, x, y);
}

void IGraphicsNanoVG::PathSetWindingDir(int hole)
{
    if (vg)
        nvgPathWinding(vg, hole + 1);
}

void IGraphicsNanoVG::PathCubic(float c1x, float c1y, float c2x, float c2y, float x, float y)
{
    if (vg)
        nvgBezierTo(vg, c1x, c1y, c2x, c2y, x, y);
}

void IGraphicsNanoVG::PathQuadratic(float cx, float cy, float x, float y)
{
    if (vg)
        nvgQuadTo(vg, cx, cy, x, y);
}

void IGraphicsNanoVG::PathDoFill(const IPaint& paint, const IFillStyle& style, const IBlendSpec* blend)
{
    if (!vg)
        return;
    if (style.rule == kFillWinding)
        nvgPathWinding(vg, NVG_SOLID);
    else if (style.rule == kFillEvenOdd)
        nvgPathWinding(vg, NVG_HOLE);
    if (paint.kind == kPaintSolid)
        nvgFillColor(vg, ToNanoVGColour(paint.stops[0].colour, blend));
    else
        nvgFillPaint(vg, ToNanoVGPaint(paint, blend));
    ApplyBlend(blend);
    nvgFill(vg);
    ResetBlend(vg);
    if (!style.keepPath)
        nvgBeginPath(vg);
}

void IGraphicsNanoVG::PathDoStroke(const IPaint& paint, float thickness, const IStrokeStyle& style,
                                   const IBlendSpec* blend)
{
    if (!vg)
        return;
    static const int kCaps[] = {NVG_BUTT, NVG_ROUND, NVG_SQUARE};
    static const int kJoins[] = {NVG_MITER, NVG_ROUND, NVG_BEVEL};
    nvgLineCap(vg, kCaps[std::clamp<int>(style.cap, 0, 2)]);
    nvgLineJoin(vg, kJoins[std::clamp<int>(style.join, 0, 2)]);
    nvgMiterLimit(vg, style.miterLimit);
    nvgStrokeWidth(vg, thickness);
    if (paint.kind == kPaintSolid)
        nvgStrokeColor(vg, ToNanoVGColour(paint.stops[0].colour, blend));
    else
        nvgStrokePaint(vg, ToNanoVGPaint(paint, blend));
    nvgPathWinding(vg, NVG_SOLID);
    ApplyBlend(blend);
    nvgStroke(vg);
    ResetBlend(vg);
    if (!style.keepPath)
        nvgBeginPath(vg);
}

void IGraphicsNanoVG::ApplyTransform(const ITransform2D& t)
{
    if (!vg)
        return;
    nvgResetTransform(vg);
    if (layerStack.empty())
        nvgTranslate(vg, -frameOriginX, -frameOriginY);
    nvgScale(vg, drawScale, drawScale);
    if (!layerStack.empty()) {
        const IBox& box = layerStack.back()->box;
        nvgTranslate(vg, -box.left, -box.top);
    }
    nvgTransform(vg, static_cast<float>(t.xx), static_cast<float>(t.yx), static_cast<float>(t.xy),
                 static_cast<float>(t.yy), static_cast<float>(t.tx), static_cast<float>(t.ty));
}

void IGraphicsNanoVG::SetClipBox(const IBox& box)
{
    if (vg)
        nvgScissor(vg, box.left, box.top, box.W(), box.H());
}

namespace {

IStrokeStyle DashStrokeStyle()
{
    IStrokeStyle style;
    style.miterLimit = 10.0f;
    style.cap = 0;
    style.join = 0;
    style.keepPath = false;
    return style;
}

} // namespace

void IGraphicsNanoVG::StrokeDashedLine(const IArgb& colour, float x1, float y1, float x2, float y2,
                                       const IBlendSpec* blend, float thickness, float dash)
{
    if (!vg || dash <= 0.0f) {
        // A dash of 0 or less cannot divide the line: it is drawn solid.
        if (vg) {
            nvgBeginPath(vg);
            nvgMoveTo(vg, x1, y1);
            nvgLineTo(vg, x2, y2);
            PathDoStroke(IPaint(colour), thickness, DashStrokeStyle(), blend);
        }
        return;
    }
    const float dx = x2 - x1, dy = y2 - y1;
    const int n = static_cast<int>(std::round(std::sqrt(dx * dx + dy * dy) / dash));
    nvgBeginPath(vg);
    nvgMoveTo(vg, x1, y1);
    for (int i = 1; i < n; i += 2) {
        nvgLineTo(vg, x1 + dx * i / n, y1 + dy * i / n);
        nvgMoveTo(vg, x1 + dx * (i + 1) / n, y1 + dy * (i + 1) / n);
    }
    PathDoStroke(IPaint(colour), thickness, DashStrokeStyle(), blend);
}

void IGraphicsNanoVG::OutlineDashedBox(const IArgb& colour, const IBox& box, const IBlendSpec* blend, float thickness,
                                       float dash)
{
    if (!vg)
        return;
    nvgBeginPath(vg);
    if (dash <= 0.0f) {
        nvgRect(vg, box.left, box.top, box.W(), box.H());
        PathDoStroke(IPaint(colour), thickness, DashStrokeStyle(), blend);
        return;
    }
    const int nx = static_cast<int>(std::ceil(box.W() / (2.0f * dash)));
    const int ny = static_cast<int>(std::ceil(box.H() / (2.0f * dash)));
    float x = box.left, y = box.top;
    auto clampX = [&](float v) { return std::clamp(v, box.left, box.right); };
    auto clampY = [&](float v) { return std::clamp(v, box.top, box.bottom); };
    nvgMoveTo(vg, x, y);
    auto edge = [&](int count, float stepX, float stepY) {
        for (int i = 0; i < count; ++i) {
            x = clampX(x + stepX);
            y = clampY(y + stepY);
            nvgLineTo(vg, x, y);
            x = clampX(x + stepX);
            y = clampY(y + stepY);
            nvgMoveTo(vg, x, y);
        }
    };
    edge(nx, dash, 0.0f);
    edge(ny, 0.0f, dash);
    edge(nx, -dash, 0.0f);
    edge(ny, 0.0f, -dash);
    PathDoStroke(IPaint(colour), thickness, DashStrokeStyle(), blend);
}

void IGraphicsNanoVG::DrawBoxShadow(const IBox& inner, const IBox& outer, float xOffset, float yOffset, float roundness,
                                    float blur, const IBlendSpec* blend)
{
    if (!vg)
        return;
    nvgBeginPath(vg);
    nvgRect(vg, outer.left, outer.top, outer.W(), outer.H());
    const NVGpaint shadow = nvgBoxGradient(
        vg, inner.left + xOffset, inner.top + yOffset, inner.W(), inner.H(), roundness, std::max(1.0f, blur),
        nvgRGBA(0, 0, 0, static_cast<unsigned char>(128 * BlendWeight(blend))), nvgRGBA(0, 0, 0, 0));
    nvgFillPaint(vg, shadow);
    ResetBlend(vg);
    nvgFill(vg);
    nvgBeginPath(vg);
}

void IGraphicsNanoVG::BindActiveLayer()
{
    if (!vg)
        return;
    nvgEndFrame(vg);
    if (layerStack.empty()) {
        BeginMainFrame();
        return;
    }
    const IOffscreenLayer& layer = *layerStack.back();
    const float s = GetBackingScale();
    glViewport(0, 0, static_cast<int>(layer.box.W() * s), static_cast<int>(layer.box.H() * s));
    const auto* bitmap = static_cast<const Bitmap*>(layer.bitmap.get());
    nvgluBindFramebuffer(bitmap ? bitmap->GetFramebuffer() : nullptr);
    nvgBeginFrame(vg, layer.box.W() * drawScale, layer.box.H() * drawScale, screenScale);
}

APIBitmap* IGraphicsNanoVG::CreateOffscreenBitmap(int w, int h, float scale, double bitmapDrawScale, bool cacheable)
{
    if (inFrame && vg)
        nvgEndFrame(vg);
    auto* bitmap = new Bitmap(this, vg, w, h, scale, static_cast<float>(bitmapDrawScale));
    if (vg && bitmap->GetFramebuffer()) {
        nvgluBindFramebuffer(bitmap->GetFramebuffer());
        ClearBoundFramebuffer(w, h);
        nvgBeginFrame(vg, static_cast<float>(w), static_cast<float>(h), 1.0f);
        nvgEndFrame(vg);
    }
    if (vg) {
        if (inFrame) {
            nvgluBindFramebuffer(mainFramebuffer);
            BeginMainNanoVGFrame();
        } else {
            nvgluBindFramebuffer(nullptr);
        }
    }
    return bitmap;
}

void IGraphicsNanoVG::ReadLayerPixels(IOffscreenLayer& layer, GrowBuffer& pixels)
{
    if (!layer.bitmap)
        return;
    const int w = layer.bitmap->GetWidth(), h = layer.bitmap->GetHeight();
    const int64_t size = int64_t(w) * h * 4;
    if (size <= 0 || size > INT32_MAX || !pixels.Resize(static_cast<int>(size), false))
        return;
    PushLayer(&layer);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, pixels.Data());
    PopLayer();
}

void IGraphicsNanoVG::CompositeShadowMask(IOffscreenLayer& layer, const GrowBuffer& mask, const IShadowSpec& shadow)
{
    if (!vg || !layer.bitmap)
        return;
    const int w = layer.bitmap->GetWidth(), h = layer.bitmap->GetHeight();
    if (mask.Size() < int64_t(w) * h * 4)
        return;
    const float scale = layer.bitmap->GetScale();
    const float layerDrawScale = layer.bitmap->GetDrawScale();
    if (!shadow.drawForeground) {
        PushLayer(&layer);
        nvgGlobalCompositeBlendFuncSeparate(vg, NVG_ZERO, NVG_ZERO, NVG_ZERO, NVG_ZERO);
        PathRect(layer.box);
        nvgFillColor(vg, nvgRGBAf(0, 0, 0, 0));
        nvgFill(vg);
        ResetBlend(vg);
        PopLayer();
    }
    const int maskImage = nvgCreateImageRGBA(vg, w, h, 0, mask.Data());
    Bitmap maskBitmap(vg, maskImage, scale);
    IBitmapRef maskRef;
    maskRef.bitmap = &maskBitmap;
    maskRef.width = static_cast<int>(w / scale);
    maskRef.height = static_cast<int>(h / scale);
    maskRef.frameCount = 1;
    std::unique_ptr<APIBitmap> shadowBitmap(CreateOffscreenBitmap(w, h, scale, layerDrawScale, false));
    IBitmapRef shadowRef = maskRef;
    shadowRef.bitmap = shadowBitmap.get();

    SaveTransform();
    PushLayer(&layer);
    auto* temporary = new IOffscreenLayer;
    temporary->box = layer.box;
    temporary->bitmap.reset(shadowBitmap.release());
    PushLayer(temporary);
    BlitBitmap(maskRef, layer.box, 0, 0, nullptr);
    PathRect(layer.box);
    TranslateTransform(-shadow.xOffset, -shadow.yOffset);
    IFillStyle fill;
    const IBlendSpec sourceIn{kBlendSourceIn, 1.0f};
    PathDoFill(shadow.paint, fill, &sourceIn);
    std::unique_ptr<IOffscreenLayer> done(PopLayer());
    shadowBitmap.reset(done->bitmap.release());
    const IBlendSpec under{kBlendDestOver, std::clamp(shadow.opacity, 0.0f, 1.0f)};
    BlitBitmap(shadowRef, layer.box.Translated(shadow.xOffset, shadow.yOffset), 0, 0, &under);
    PopLayer();
    RestoreTransform();
}

bool IGraphicsNanoVG::SupportsImageExtension(const char* extension)
{
    if (!extension)
        return false;
    // Longer texts are cut: none of the accepted names needs more.
    char lower[32] = {};
    for (int i = 0; i < 31 && extension[i]; ++i)
        lower[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(extension[i])));
    return std::strstr(lower, "png") || std::strstr(lower, "jpg") || std::strstr(lower, "jpeg");
}

void IGraphicsNanoVG::BlitBitmap(const IBitmapRef& ref, const IBox& dest, int srcX, int srcY, const IBlendSpec* blend)
{
    if (!vg || !ref.bitmap)
        return;
    const APIBitmap& bitmap = *ref.bitmap;
    const float s = bitmap.GetScale() * bitmap.GetDrawScale();
    nvgBeginPath(vg);
    nvgRect(vg, dest.left, dest.top, dest.W(), dest.H());
    NVGpaint pattern = nvgImagePattern(vg, dest.left - srcX, dest.top - srcY, ref.width * bitmap.GetScale(),
                                       ref.height * bitmap.GetScale(), 0, bitmap.GetImage(), BlendWeight(blend));
    // The pattern's extent is in image pixels; 1/s maps them onto panel units.
    pattern.xform[0] = 1.0f / s;
    pattern.xform[3] = 1.0f / s;
    pattern.extent[0] = ref.width * bitmap.GetScale();
    pattern.extent[1] = ref.height * bitmap.GetScale();
    nvgFillPaint(vg, pattern);
    ApplyBlend(blend);
    nvgFill(vg);
    ResetBlend(vg);
    nvgBeginPath(vg);
}

IBitmapRef IGraphicsNanoVG::LoadBitmapByName(const char* name, int frameCount, bool framesHorizontal, int targetScale)
{
    if (!name)
        return IBitmapRef();
    const int scale = targetScale != 0 ? targetScale : static_cast<int>(std::ceil(screenScale));
    ScopedSection lock(bitmapCache.Lock());
    auto* bitmap = static_cast<APIBitmap*>(bitmapCache.Find(name, scale));
    if (!bitmap) {
        const char* dot = std::strrchr(name, '.');
        const char* extension = dot ? dot + 1 : name;
        TextBuffer location;
        int foundScale = 0;
        const int kind = FindScaledResource(name, extension, location, scale, foundScale);
        if (kind == kNotFound || !SupportsImageExtension(extension))
            return IBitmapRef();
        // The image may already be decoded at the scale it was found at (a 2x image
        // serving a scale-3 request); decoding again would duplicate its textures.
        bitmap = static_cast<APIBitmap*>(bitmapCache.Find(name, foundScale));
        if (!bitmap) {
            bitmap = CreateBackendBitmapFromLocation(location.Get(), foundScale, kind, extension);
            if (!bitmap)
                return IBitmapRef();
            bitmapCache.Add(bitmap, name, foundScale);
        }
    }
    IBitmapRef ref;
    ref.bitmap = bitmap;
    ref.width = static_cast<int>(bitmap->GetWidth() / bitmap->GetScale());
    ref.height = static_cast<int>(bitmap->GetHeight() / bitmap->GetScale());
    ref.frameCount = frameCount;
    ref.framesHorizontal = framesHorizontal;
    ref.name.Set(name);
    return ref;
}

APIBitmap* IGraphicsNanoVG::CreateBackendBitmapFromLocation(const char* location, int scale, int locationKind,
                                                            const char* extension)
{
    int image = 0;
    BindGLContext();
    if (locationKind == kFoundResource) {
        int size = 0;
        const void* bytes = LoadModuleResource(location, extension, size, GetModuleInstance());
        if (bytes && vg)
            image = nvgCreateImageMem(vg, 0, static_cast<unsigned char*>(const_cast<void*>(bytes)), size);
    } else if (locationKind == kFoundFile) {
        // Read through the wide-character file call, so any user's path opens.
        if (FILE* file = OpenFileUtf8(location, "rb")) {
            std::vector<unsigned char> bytes;
            unsigned char chunk[65536];
            size_t n;
            while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0)
                bytes.insert(bytes.end(), chunk, chunk + n);
            std::fclose(file);
            if (!bytes.empty() && vg)
                image = nvgCreateImageMem(vg, 0, bytes.data(), static_cast<int>(bytes.size()));
        }
    }
    UnbindGLContext();
    return new Bitmap(vg, image, static_cast<float>(scale));
}

APIBitmap* IGraphicsNanoVG::CreateBackendBitmapFromMemory(const char* name, const void* data, int size, int scale)
{
    ScopedSection lock(bitmapCache.Lock());
    if (auto* cached = static_cast<APIBitmap*>(bitmapCache.Find(name, scale)))
        return cached;
    int image = 0;
    BindGLContext();
    if (vg && data && size > 0)
        image = nvgCreateImageMem(vg, 0, static_cast<unsigned char*>(const_cast<void*>(data)), size);
    UnbindGLContext();
    auto* bitmap = new Bitmap(vg, image, static_cast<float>(scale));
    bitmapCache.Add(bitmap, name, scale);
    return bitmap;
}

bool IGraphicsNanoVG::RegisterBackendFont(const char* fontId, PlatformFont& font)
{
    if (!vg || !fontId)
        return false;
    ScopedSection lock(BackendFontCache().Lock());
    if (nvgFindFont(vg, fontId) != -1)
        return true;
    if (auto* cached = static_cast<IFontBlob*>(BackendFontCache().Find(fontId, 1.0)))
        return nvgCreateFontMemAtIndex(vg, fontId, cached->bytes.Data(), cached->bytes.Size(), 0, cached->faceIndex)
               != -1;
    auto* winFont = dynamic_cast<WinFont*>(&font);
    auto blob = winFont ? winFont->GetFontData() : std::make_unique<IFontBlob>();
    if (!blob->IsUsable())
        return false;
    if (nvgCreateFontMemAtIndex(vg, fontId, blob->bytes.Data(), blob->bytes.Size(), 0, blob->faceIndex) == -1)
        return false;
    BackendFontCache().Add(blob.release(), fontId, 1.0);
    return true;
}

void IGraphicsNanoVG::PrepareTextLayout(const ITextStyle& style, const char* text, IBox& box, double& x, double& y)
{
    x = HorizontalAnchor(style.hAlign, box);
    y = VerticalAnchor(style.vAlign, box);
    float bounds[4] = {};
    if (!vg || nvgFindFont(vg, style.fontId) == -1) {
        box = IBox();
        return;
    }
    nvgFontBlur(vg, 0.0f);
    nvgFontSize(vg, style.size);
    nvgFontFace(vg, style.fontId);
    nvgTextAlign(vg, HorizontalFlag(style.hAlign) | VerticalFlag(style.vAlign));
    nvgTextBounds(vg, static_cast<float>(x), static_cast<float>(y), text, nullptr, bounds);
    box = IBox(bounds[0], bounds[1], bounds[2], bounds[3]);
}

float IGraphicsNanoVG::MeasureTextImpl(const ITextStyle& style, const char* text, IBox& box)
{
    const IBox target = box;
    double x = 0.0, y = 0.0;
    PrepareTextLayout(style, text, box, x, y);
    MeasureRotatedText(style, target, box);
    return box.right - box.left;
}

void IGraphicsNanoVG::DrawTextImpl(const ITextStyle& style, const char* text, const IBox& box, const IBlendSpec* blend)
{
    if (!vg)
        return;
    IBox bounds = box;
    double x = 0.0, y = 0.0;
    PrepareTextLayout(style, text, bounds, x, y);
    if (bounds.IsEmpty() && nvgFindFont(vg, style.fontId) == -1)
        return;
    SaveTransform();
    if (style.angle != 0.0f) {
        double dx = 0.0, dy = 0.0;
        ComputeTextRotation(style, box, bounds, dx, dy);
        TranslateTransform(static_cast<float>(dx), static_cast<float>(dy));
        RotateTransform(style.angle);
    }
    nvgFillColor(vg, ToNanoVGColour(style.colour, blend));
    ApplyBlend(blend);
    nvgText(vg, static_cast<float>(x), static_cast<float>(y), text, nullptr);
    ResetBlend(vg);
    RestoreTransform();
}

void IGraphicsNanoVG::DrawTextBlock(const ITextStyle& style, const char* text, const IBox& box, const IBlendSpec* blend)
{
    if (!vg || !text || nvgFindFont(vg, style.fontId) == -1)
        return;
    nvgSave(vg);
    nvgFontSize(vg, style.size);
    nvgFontFace(vg, style.fontId);
    const double x = HorizontalAnchor(style.hAlign, box);
    double y = 0.0, f = 0.0;
    switch (style.vAlign) {
    case kAlignTop:
        y = box.top;
        break;
    case kAlignMiddle:
        y = (box.top + box.bottom) * 0.5, f = 0.5;
        break;
    case kAlignBottom:
        y = box.bottom, f = 1.0;
        break;
    default:
        break;
    }
    nvgTextAlign(vg, HorizontalFlag(style.hAlign) | VerticalFlag(style.vAlign));
    float lineHeight = 0.0f;
    nvgTextMetrics(vg, nullptr, nullptr, &lineHeight);
    nvgFillColor(vg, ToNanoVGColour(style.colour, blend));

    const float breakWidth = box.right - box.left;
    auto forEachRow = [&](const std::function<void(const NVGtextRow&)>& fn) {
        const char* start = text;
        const char* end = text + std::strlen(text);
        NVGtextRow rows[3];
        int n;
        while ((n = nvgTextBreakLines(vg, start, end, breakWidth, rows, 3)) > 0) {
            for (int i = 0; i < n; ++i)
                fn(rows[i]);
            start = rows[n - 1].next;
        }
    };
    int count = 0;
    forEachRow([&](const NVGtextRow&) { ++count; });
    // Each row is aligned on its own anchor, so the block spans count - 1 line steps
    // between its first and last anchors: that span is what sits above a middle or
    // bottom anchor.
    const double firstRow = y - (count - 1) * lineHeight * f;
    int k = 0;
    forEachRow([&](const NVGtextRow& row) {
        nvgText(vg, static_cast<float>(x), static_cast<float>(firstRow + k * lineHeight), row.start, row.end);
        ++k;
    });
    nvgRestore(vg);
}

} // namespace iplug::igraphics
