#pragma once

#include "framework/core/CriticalSection.h"
#include "framework/graphics/IGraphics.h"
#include "framework/graphics/ProcessCache.h"

#include <nanovg.h>

#include <deque>

struct NVGLUframebuffer;

namespace iplug::igraphics {

// The drawing backend: NanoVG on OpenGL 2. Every frame is drawn into an offscreen main
// framebuffer of the window's pixel size and then composited onto the window, so only
// dirty regions are redrawn while the window's back buffer always gets the whole picture.
// The window layer supplies the OpenGL context and calls the frame operations.
class IGraphicsNanoVG : public IGraphics
{
public:
    // A NanoVG image, or an offscreen framebuffer and its image.
    class Bitmap : public APIBitmap
    {
    public:
        // Wraps a NanoVG image (0 when decoding failed) of the given scale.
        Bitmap(NVGcontext* vg, int image, float scale, bool shared = false);
        // A new framebuffer of w × h pixels, owned by owner's deferred deletion.
        Bitmap(IGraphicsNanoVG* owner, NVGcontext* vg, int w, int h, float scale, float drawScale);
        ~Bitmap() override;

        NVGLUframebuffer* GetFramebuffer() const { return framebuffer; }

    private:
        IGraphicsNanoVG* owner = nullptr;
        NVGcontext* vg = nullptr;
        NVGLUframebuffer* framebuffer = nullptr;
        bool shared = false;
    };

    IGraphicsNanoVG(IGEditorDelegate& delegate, int width, int height, int fps, float drawScale);
    ~IGraphicsNanoVG() override;

    void StartFrame(const IBox& area) override;
    void OnViewCreated() override;
    void OnViewDestroying() override;
    void FinishFrame() override;
    void BlitBitmap(const IBitmapRef& bitmap, const IBox& dest, int srcX, int srcY, const IBlendSpec* blend) override;
    void StrokeDashedLine(const IArgb& colour, float x1, float y1, float x2, float y2, const IBlendSpec* blend,
                          float thickness, float dash) override;
    void OutlineDashedBox(const IArgb& colour, const IBox& box, const IBlendSpec* blend, float thickness,
                          float dash) override;
    void DrawTextBlock(const ITextStyle& style, const char* text, const IBox& box, const IBlendSpec* blend) override;
    IArgb SamplePixel(float x, float y) override { return IArgb(255, 0, 0, 0); }
    void* GetBackendContext() override { return vg; }
    const char* GetBackendName() const override { return "NanoVG | GL2"; }
    void KeepBitmapCached(const IBitmapRef& bitmap, const char* name) override {}
    void DropBitmapFromCache(const IBitmapRef& bitmap) override {}
    bool SupportsImageExtension(const char* extension) override;
    void DrawBoxShadow(const IBox& inner, const IBox& outer, float xOffset, float yOffset, float roundness, float blur,
                       const IBlendSpec* blend) override;
    void ReadLayerPixels(IOffscreenLayer& layer, GrowBuffer& pixels) override;
    void CompositeShadowMask(IOffscreenLayer& layer, const GrowBuffer& mask, const IShadowSpec& shadow) override;
    void BindActiveLayer() override;
    void PathBegin() override;
    void PathCloseFigure() override;
    void PathAddArc(float cx, float cy, float r, float a1, float a2, int direction) override;
    void PathMove(float x, float y) override;
    void PathLine(float x, float y) override;
    void PathSetWindingDir(int hole) override;
    void PathCubic(float c1x, float c1y, float c2x, float c2y, float x, float y) override;
    void PathQuadratic(float cx, float cy, float x, float y) override;
    void PathDoStroke(const IPaint& paint, float thickness, const IStrokeStyle& style,
                      const IBlendSpec* blend) override;
    void PathDoFill(const IPaint& paint, const IFillStyle& style, const IBlendSpec* blend) override;
    void ApplyTransform(const ITransform2D& transform) override;
    void SetClipBox(const IBox& box) override;
    void OnDrawSizeChanged() override;
    IBitmapRef LoadBitmapByName(const char* name, int frameCount = 1, bool framesHorizontal = false,
                                int targetScale = 0) override;
    APIBitmap* CreateBackendBitmapFromMemory(const char* name, const void* data, int size, int scale) override;
    APIBitmap* CreateBackendBitmapFromLocation(const char* location, int scale, int locationKind,
                                               const char* extension) override;
    APIBitmap* CreateOffscreenBitmap(int width, int height, float scale, double drawScale, bool cacheable) override;
    bool RegisterBackendFont(const char* fontId, PlatformFont& font) override;
    int LayerAlphaIndex() const override { return 3; }
    bool LayerRowsTopDown() const override { return true; }
    float MeasureTextImpl(const ITextStyle& style, const char* text, IBox& box) override;
    void DrawTextImpl(const ITextStyle& style, const char* text, const IBox& box, const IBlendSpec* blend) override;

    void QueueFramebufferDeletion(NVGLUframebuffer* framebuffer);
    void FlushFramebufferDeletions();
    NVGpaint ToNanoVGPaint(const IPaint& paint, const IBlendSpec* blend);
    void ApplyBlend(const IBlendSpec* blend);
    // Sets the font and alignment of style at box and answers the anchor; box becomes
    // the text's bounds. A font the stash does not know leaves an empty box.
    void PrepareTextLayout(const ITextStyle& style, const char* text, IBox& box, double& x, double& y);

    NVGLUframebuffer* GetMainFramebuffer() const { return mainFramebuffer; }
    // Number of decoded bitmaps this drawing context holds.
    int CachedBitmapCount() const { return bitmapCache.Count(); }

    // The process-wide cache of font bytes registered with NanoVG, by font id.
    static ProcessCache& BackendFontCache();

protected:
    // Pixel size of the window: panel size × draw scale, truncated, × screen scale, truncated.
    int WindowPixelWidth() const;
    int WindowPixelHeight() const;
    // Binds the main framebuffer with the viewport and NanoVG frame of the frame's area.
    void BeginMainFrame();
    // Begins the NanoVG frame of the frame's area on whatever target is bound.
    void BeginMainNanoVGFrame();
    // Copies the frame's area (the whole window while the back buffer is not known to hold
    // the last frame) from the main framebuffer to the window's back buffer.
    void CompositeMainFramebuffer();
    // The window's back buffer was made or resized: the next frames copy the whole window.
    void OnBackBufferResized() { wholeCompositesDue = 2; }
    void DeleteMainFramebuffer();
    // For a view whose OpenGL context can no longer be made current: the controls go, and the
    // backend's objects are left to the context (the driver frees them with it) instead of being
    // handed to OpenGL calls that would reach no context, or another one.
    void AbandonViewObjects();
    void EmptyBitmapCache();
    NVGcolor ToNanoVGColour(const IArgb& colour, const IBlendSpec* blend) const;

    bool inFrame = false;
    CriticalSection frameLock;
    std::deque<NVGLUframebuffer*> pendingFramebufferDeletes;
    ProcessCache bitmapCache;
    NVGcontext* vg = nullptr;
    NVGLUframebuffer* mainFramebuffer = nullptr;
    // The frame's area in window pixels, rows from the top (x, y, width, height): only this
    // part of the main framebuffer is rasterised into.
    int frameRect[4] = {};
    // The frame area's top left corner in NanoVG units, taken off every main-frame transform.
    float frameOriginX = 0.0f;
    float frameOriginY = 0.0f;
    // The window's back buffer keeps its pixels across a swap (the pixel format swaps by
    // copying), so a frame need only composite its own area.
    bool backBufferKept = false;
    // Frames still to copy the whole window: the back buffer was made or resized. A driver
    // may take a window's new size only at the frame after the one painted when it changed,
    // so a resize owes two.
    int wholeCompositesDue = 0;
};

} // namespace iplug::igraphics
