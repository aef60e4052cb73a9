#pragma once

#include "framework/core/GrowBuffer.h"
#include "framework/core/IPopupMenu.h"
#include "framework/core/PointerList.h"
#include "framework/core/TextBuffer.h"
#include "framework/graphics/APIBitmap.h"
#include "framework/graphics/IBoxList.h"
#include "framework/graphics/IGraphicsRecords.h"
#include "framework/graphics/IOffscreenLayer.h"
#include "framework/graphics/IPointerEventList.h"
#include "framework/graphics/PlatformFont.h"

#include <cstdio>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

namespace iplug {
namespace igraphics {

class IControl;
class ICornerResizerControl;
class IGEditorDelegate;

using IKeyHandler = std::function<bool(const IKeyStroke& key, bool isRelease)>;
using IDisplayTickHandler = std::function<void(IBoxList&)>;
using IMsgBoxCompletion = std::function<void(int result)>;
using IFileDialogCompletion = std::function<void(const TextBuffer& fileName, const TextBuffer& folder)>;
using IColourPickerCompletion = std::function<void(const IArgb& colour)>;

enum EFileDialogMode : int
{
    kFileOpen = 0,
    kFileSave = 1
};

enum EResizeMode : int
{
    kResizeScale = 0,
    kResizeSize = 1
};

// The drawing context of an open editor: owns its controls, dispatches input to them, redraws
// only what changed, and draws through the path, bitmap and text slots a backend fills in.
// The platform slots (window, pointer, menus, dialogs, fonts) belong to the window layer.
// The virtual operations are declared in the order of the framework's slot table.
class IGraphics
{
public:
    IGraphics(IGEditorDelegate& delegate, int width, int height, int fps, float drawScale);
    IGraphics(const IGraphics&) = delete;
    IGraphics& operator=(const IGraphics&) = delete;

    // Frames
    // area: the bounds of the frame's dirty regions, aligned to device pixels; nothing
    // outside it changes.
    virtual void StartFrame(const IBox& area);
    virtual void OnViewCreated() {}
    virtual void OnViewDestroying() {}
    virtual void FinishFrame() {}

    // Drawing operations
    virtual void RenderSvg(ISvgRef svg, const IBox& box, const IBlendSpec* blend = nullptr,
                           const IArgb* strokeColour = nullptr, const IArgb* fillColour = nullptr);
    virtual void RenderSvgRotated(ISvgRef svg, float cx, float cy, float w, float h, double angle,
                                  const IBlendSpec* blend = nullptr);
    virtual void BlitBitmap(const IBitmapRef& bitmap, const IBox& dest, int srcX, int srcY,
                            const IBlendSpec* blend) = 0;
    virtual void BlitBitmapFitted(const IBitmapRef& bitmap, const IBox& box, const IBlendSpec* blend = nullptr);
    virtual void BlitBitmapRotated(const IBitmapRef& bitmap, float cx, float cy, double angle,
                                   const IBlendSpec* blend = nullptr);
    virtual void PlotPoint(const IArgb& colour, float x, float y, const IBlendSpec* blend = nullptr);
    virtual void StrokeLine(const IArgb& colour, float x1, float y1, float x2, float y2,
                            const IBlendSpec* blend = nullptr, float thickness = 1.0f);
    virtual void StrokeDashedLine(const IArgb& colour, float x1, float y1, float x2, float y2,
                                  const IBlendSpec* blend = nullptr, float thickness = 1.0f, float dash = 2.0f);
    virtual void OutlineTriangle(const IArgb& colour, float x1, float y1, float x2, float y2, float x3, float y3,
                                 const IBlendSpec* blend = nullptr, float thickness = 1.0f);
    virtual void OutlineBox(const IArgb& colour, const IBox& box, const IBlendSpec* blend = nullptr,
                            float thickness = 1.0f);
    virtual void OutlineRoundedBoxCorners(const IArgb& colour, const IBox& box, float tl, float tr, float bl, float br,
                                          const IBlendSpec* blend = nullptr, float thickness = 1.0f);
    virtual void OutlineRoundedBox(const IArgb& colour, const IBox& box, float r, const IBlendSpec* blend = nullptr,
                                   float thickness = 1.0f);
    virtual void OutlineArc(const IArgb& colour, float cx, float cy, float r, float a1, float a2,
                            const IBlendSpec* blend = nullptr, float thickness = 1.0f);
    virtual void OutlineCircle(const IArgb& colour, float cx, float cy, float r, const IBlendSpec* blend = nullptr,
                               float thickness = 1.0f);
    virtual void OutlineOval(const IArgb& colour, float cx, float cy, float rx, float ry, float angle,
                             const IBlendSpec* blend = nullptr, float thickness = 1.0f);
    virtual void OutlineOvalInBox(const IArgb& colour, const IBox& box, const IBlendSpec* blend = nullptr,
                                  float thickness = 1.0f);
    virtual void OutlinePolygon(const IArgb& colour, const float* xs, const float* ys, int n,
                                const IBlendSpec* blend = nullptr, float thickness = 1.0f);
    virtual void OutlineDashedBox(const IArgb& colour, const IBox& box, const IBlendSpec* blend = nullptr,
                                  float thickness = 1.0f, float dash = 2.0f);
    virtual void SolidTriangle(const IArgb& colour, float x1, float y1, float x2, float y2, float x3, float y3,
                               const IBlendSpec* blend = nullptr);
    virtual void SolidBox(const IArgb& colour, const IBox& box, const IBlendSpec* blend = nullptr);
    virtual void SolidRoundedBoxCorners(const IArgb& colour, const IBox& box, float tl, float tr, float bl, float br,
                                        const IBlendSpec* blend = nullptr);
    virtual void SolidRoundedBox(const IArgb& colour, const IBox& box, float r, const IBlendSpec* blend = nullptr);
    virtual void SolidCircle(const IArgb& colour, float cx, float cy, float r, const IBlendSpec* blend = nullptr);
    virtual void SolidOval(const IArgb& colour, float cx, float cy, float rx, float ry, float angle,
                           const IBlendSpec* blend = nullptr);
    virtual void SolidOvalInBox(const IArgb& colour, const IBox& box, const IBlendSpec* blend = nullptr);
    virtual void SolidPie(const IArgb& colour, float cx, float cy, float r, float a1, float a2,
                          const IBlendSpec* blend = nullptr);
    virtual void SolidPolygon(const IArgb& colour, const float* xs, const float* ys, int n,
                              const IBlendSpec* blend = nullptr);
    virtual float TextExtent(const ITextStyle& style, const char* text, IBox& box);
    virtual void DrawTextBlock(const ITextStyle& style, const char* text, const IBox& box,
                               const IBlendSpec* blend = nullptr);
    virtual IArgb SamplePixel(float x, float y) = 0;
    virtual void* GetBackendContext() = 0;
    virtual const char* GetBackendName() const = 0;
    virtual IBitmapRef RescaleBitmap(const IBitmapRef& source, const char* name, int targetScale);
    virtual void KeepBitmapCached(const IBitmapRef& bitmap, const char* name);
    virtual void DropBitmapFromCache(const IBitmapRef& bitmap);
    virtual bool SupportsImageExtension(const char* extension) = 0;
    virtual void DrawBoxShadow(const IBox& inner, const IBox& outer, float xOffset, float yOffset, float roundness,
                               float blur, const IBlendSpec* blend)
    {}
    virtual void StrokeGrid(const IArgb& colour, const IBox& box, float xStep, float yStep,
                            const IBlendSpec* blend = nullptr, float thickness = 1.0f);
    virtual void PlotSeries(const IArgb& colour, const IBox& box, const float* ys, int n, const float* xs = nullptr,
                            const IBlendSpec* blend = nullptr, float thickness = 1.0f,
                            const IArgb* fillColour = nullptr);
    virtual bool LoadFontFromMemory(const char* fontId, const void* data, int size);
    virtual bool LoadFontFromFile(const char* fontId, const char* fileOrResource);
    virtual void ApplyLayerShadow(IOffscreenLayer& layer, const IShadowSpec& shadow);
    virtual void ReadLayerPixels(IOffscreenLayer& layer, GrowBuffer& pixels) = 0;
    virtual void CompositeShadowMask(IOffscreenLayer& layer, const GrowBuffer& mask, const IShadowSpec& shadow) = 0;
    virtual void BindActiveLayer() {}

    // Path primitives
    virtual void PathBegin() = 0;
    virtual void PathCloseFigure() = 0;
    // Angles in degrees clockwise from 12 o'clock; direction 0 clockwise.
    virtual void PathAddArc(float cx, float cy, float r, float a1, float a2, int direction = 0) = 0;
    virtual void PathMove(float x, float y) = 0;
    virtual void PathLine(float x, float y) = 0;
    virtual void PathSetWindingDir(int hole) {}
    virtual void PathCubic(float c1x, float c1y, float c2x, float c2y, float x, float y) = 0;
    virtual void PathQuadratic(float cx, float cy, float x, float y) = 0;
    virtual void PathDoStroke(const IPaint& paint, float thickness, const IStrokeStyle& style,
                              const IBlendSpec* blend) = 0;
    virtual void PathDoFill(const IPaint& paint, const IFillStyle& style, const IBlendSpec* blend) = 0;
    virtual void ApplyTransform(const ITransform2D& transform) = 0;
    virtual void AfterControlDrawn(const IBox& clip) {}
    virtual void SetClipBox(const IBox& box) = 0;
    virtual void ReservedHook1() {}
    virtual void ReservedHook2() {}
    virtual void ReservedHook3() {}

    // Platform: pointer, window, clipboard, dialogs, fonts, menus
    virtual void GetPointerPosition(float& x, float& y) const = 0;
    virtual void ShowPointer(bool hide, bool lock) = 0;
    virtual void WarpPointer(float x, float y) = 0;
    // Stores the kind and answers the previous one.
    virtual int SetPointerShape(int cursorKind);
    virtual void CancelTextEntry() = 0;
    virtual void* OpenPlatformWindow(void* parent) = 0;
    virtual void ClosePlatformWindow() = 0;
    virtual void* GetNativeWindow() const = 0;
    virtual bool IsWindowOpen() const { return GetNativeWindow() != nullptr; }
    virtual bool ReadClipboardText(TextBuffer& text) = 0;
    virtual bool WriteClipboardText(const char* text) = 0;
    virtual bool WriteClipboardPath(const char* path) { return false; }
    virtual bool DragFileOut(const char* path) { return false; }
    virtual void OnPopupControlOpening() = 0;
    virtual int ShowAlert(const char* text, const char* caption, int type, IMsgBoxCompletion completion = nullptr) = 0;
    virtual void AskForFile(TextBuffer& fileName, TextBuffer& folder, int mode, const char* extensions,
                            IFileDialogCompletion completion = nullptr) = 0;
    virtual void AskForFolder(TextBuffer& path, IFileDialogCompletion completion = nullptr) = 0;
    virtual bool AskForColour(IArgb& colour, const char* prompt, IColourPickerCompletion completion = nullptr) = 0;
    virtual bool OpenUrlInBrowser(const char* url, const char* title = nullptr, const char* confirmation = nullptr,
                                  const char* failure = nullptr) = 0;
    virtual const char* GetPlatformName() const { return ""; }
    virtual bool ShowInFileBrowser(TextBuffer& path, bool select) { return false; }
    virtual void SetModuleInstance(void* module) {}
    virtual void* GetModuleInstance() const { return nullptr; }
    virtual void ReservedHook4() {}
    virtual PlatformFont* LoadSystemFont(const char* fontId, const char* family, int style) = 0;
    virtual PlatformFont* LoadPlatformFontFromMemory(const char* fontId, const void* data, int size) = 0;
    virtual PlatformFont* LoadPlatformFontFromFile(const char* fontId, const char* fileOrResource) = 0;
    virtual void RetainPlatformFont(const char* fontId, PlatformFont& font) = 0;
    virtual const char* GetSharedResourcePath() const { return ""; }
    virtual const char* ReservedTextQuery() const { return ""; }
    virtual void BindGLContext() {}
    virtual void UnbindGLContext() {}
    virtual void OpenPlatformTextEntry(int paramIdx, const ITextStyle& style, const IBox& box, int length,
                                       const char* text) = 0;
    // Answers the menu or submenu that holds the choice, or null; sets isAsync when the answer
    // comes later.
    virtual IPopupMenu* ShowPlatformMenu(IPopupMenu& menu, const IBox& anchor, bool& isAsync) = 0;

    virtual ~IGraphics();

    virtual bool HasMultiTouchDigitizer() const { return false; }
    virtual float GetWindowScale() const { return 1.0f; }
    virtual void ResizePlatformWindow(bool hostResized) {}
    virtual void OnDrawSizeChanged() {}
    virtual void* ReservedPointerQuery() { return nullptr; }

    // Resources
    virtual IBitmapRef LoadBitmapFromMemory(const char* name, const void* data, int size, int frameCount = 1,
                                            bool framesHorizontal = false, int targetScale = 0);
    virtual IBitmapRef LoadBitmapByName(const char* name, int frameCount = 1, bool framesHorizontal = false,
                                        int targetScale = 0);
    virtual ISvgRef LoadSvgFromMemory(const char* name, const char* data, int length, const char* units = "px",
                                      float dpi = 72.0f);
    virtual ISvgRef LoadSvgByName(const char* name, const char* units = "px", float dpi = 72.0f);
    virtual void ReadSvgResource(GrowBuffer& bytes, const char* name, const char* type);
    virtual void AddUniqueCode(int code);
    virtual APIBitmap* CreateBackendBitmapFromMemory(const char* name, const void* data, int size, int scale) = 0;
    virtual APIBitmap* CreateBackendBitmapFromLocation(const char* location, int scale, int locationKind,
                                                       const char* extension) = 0;
    virtual APIBitmap* CreateOffscreenBitmap(int width, int height, float scale, double drawScale, bool cacheable) = 0;
    virtual bool RegisterBackendFont(const char* fontId, PlatformFont& font) = 0;
    virtual int LayerAlphaIndex() const = 0;
    virtual bool LayerRowsTopDown() const = 0;
    virtual float MeasureTextImpl(const ITextStyle& style, const char* text, IBox& box) = 0;
    virtual void DrawTextImpl(const ITextStyle& style, const char* text, const IBox& box, const IBlendSpec* blend) = 0;
    virtual float GetBackingScale() const { return drawScale * screenScale; }

    // Controls
    // Null (and the control stays the caller's) when the tag is taken.
    IControl* AddControl(IControl* control, int tag = -1, const char* group = "");
    void AddCornerResizer(int resizeMode, bool layoutOnResize, const IArgb& colour, const IArgb& overColour,
                          const IArgb& dragColour, float handleSize = 20.0f);
    IControl* FindControlByTag(int tag) const;
    void ForEachInGroup(const char* group, const std::function<void(IControl*)>& fn);
    void ForEachControl(const std::function<void(IControl*)>& fn);
    void ForAllControls(const std::function<void(IControl*)>& fn);
    void MarkAllControlsDirty();
    void MarkAllControlsClean();
    void SyncPeerControls(IControl* source, int valIdx);
    void RemoveAllControls();
    // Empties the capture map, ending every gesture the captures began.
    void ReleaseAllCaptures();
    IControl* FindControlAt(float x, float y, bool capture, bool forOver, uint64_t touchId = 0);
    int NControls() const { return controls.Count(); }
    IControl* GetControl(int idx) const { return controls.Get(idx); }
    ICornerResizerControl* GetCornerResizer() const { return cornerResizer; }
    IControl* GetCapturedControl(uint64_t touchId = 0) const;
    int NCaptures() const { return int(captureMap.size()); }
    bool IsCaptured(const IControl* control) const;
    IControl* GetOverControl() const { return overControl; }
    int GetOverIndex() const { return overIndex; }

    // Input
    void OnPointerDown(const IPointerEventList& events);
    void OnPointerUp(const IPointerEventList& events);
    void OnPointerDrag(const IPointerEventList& events);
    bool OnPointerDoubleClick(float x, float y, const IPointerMods& mods);
    bool OnWheel(float x, float y, const IPointerMods& mods, float notches);
    bool OnPointerOver(float x, float y, const IPointerMods& mods);
    void OnPointerOut();
    bool OnKeyDown(float x, float y, const IKeyStroke& key);
    bool OnKeyUp(float x, float y, const IKeyStroke& key);
    void OnDropPath(const char* path, float x, float y);
    void OnDropPaths(const std::vector<const char*>& paths, float x, float y);
    void ShowHostContextMenu(IControl* control, int paramIdx, float x, float y);
    // The control's own menu, shown where no host menu exists.
    void ShowControlContextMenu(IControl* control, float x, float y);
    void ShowMenuForControl(IControl* control, IPopupMenu* menu, const IBox& box, int valIdx);
    void AskForParamValue(IControl* control, const IBox& box, int valIdx);
    void OpenTextEntry(IControl* control, const ITextStyle& style, const IBox& box, const char* text, int valIdx);
    void ApplyTextEntryResult(const char* text);
    void EnableTooltips(bool on);
    void SetKeyHandler(IKeyHandler handler) { keyHandler = std::move(handler); }
    void SetDisplayTickHandler(IDisplayTickHandler handler) { displayTickHandler = std::move(handler); }
    // Forgets the open gestures without ending them: for a delegate that is being destroyed
    // and can no longer reach the host.
    void AbandonGestures();

    // Held by every stretch of code that comes back to this drawing context after a nested call:
    // a window message, a modal loop (menu, dialog, drag), a call of the host into the controls.
    // A host may close or delete the editor from inside any of them (a timer or its own window
    // fires inside a modal loop); the close then waits until the last holder returns, so the
    // loop's caller never comes back to a closed editor or to freed memory.
    class InUse
    {
    public:
        explicit InUse(IGraphics& graphics) : graphics(graphics) { ++graphics.useCount; }
        ~InUse();
        InUse(const InUse&) = delete;
        InUse& operator=(const InUse&) = delete;

    private:
        IGraphics& graphics;
    };
    // Deletes graphics now, or once the last InUse of it has returned (closing it first).
    static void Dispose(IGraphics* graphics);
    // A close or deletion asked for while in use waits: what is still running should give up
    // (answer a dialog or menu as cancelled) rather than start anything new.
    bool IsClosePending() const { return closePending || disposePending; }
    // Number of begin-edit gestures sent to the host and not yet ended for a parameter.
    int OpenGestures(int paramIdx) const;
    // A control is about to send an edit of a parameter: a control held by the pointer gets a
    // gesture for it when none is open (it may have been rebound since the press).
    void OnControlEdit(IControl* control, int paramIdx);
    IPopupMenu& GetPromptMenu() { return promptMenu; }

    // Frames, dirty regions, layers, scale
    bool CollectDirtyRegions(IBoxList& out);
    void DrawDirtyRegions(IBoxList& regions);
    // Makes the boxes pairwise disjoint keeping their union.
    static void SeparateDirtyRegions(IBoxList& list);
    // Cuts cut out of box: appends all pieces but the one it answers.
    static IBox SplitBoxAround(IBoxList& list, const IBox& box, const IBox& cut);
    void PaintControl(IControl* control, const IBox& region, float backingScale);
    // Every control, then the corner resizer, painted into one region.
    void PaintAllInto(const IBox& region, float backingScale);
    void SetClipRegion(const IBox& box);
    void OpenLayer(IControl* owner, const IBox& box, bool cacheable);
    std::unique_ptr<IOffscreenLayer> CloseLayer();
    void PushLayer(IOffscreenLayer* layer);
    IOffscreenLayer* PopLayer();
    static void BlurAlphaPass(const uint8_t* in, uint8_t* out, int count, int inStride, int outStride,
                              const uint8_t* kernel, int taps, uint32_t kernelSum);
    void ResizeEditor(int width, int height, float drawScale, bool notifyDelegate);
    // Ignores a scale that is not sane (ScreenScaleIsSane).
    void ApplyScreenScale(float screenScale);
    // The host resized the editor to a size in window pixels: the editor follows at draw scale
    // 1 without asking the host again; a size equal to the editor's own (the host's echo of
    // its request) changes nothing.
    void OnHostResize(int pixelWidth, int pixelHeight);
    void SetScaleLimits(float a, float b);
    // The editor's size in window pixels at the current scales.
    void WindowPixelSize(int& pw, int& ph) const;
    // The draw scale at which an editor of unitsWidth x unitsHeight fills pixelWidth x
    // pixelHeight window pixels as far as its shape allows: the smaller of the two ratios,
    // nudged up where float noise alone would lose the last pixel.
    float ScaleToFit(int unitsWidth, int unitsHeight, int pixelWidth, int pixelHeight) const;

    // Screen scales outside these bounds come from a confused host or system: no display
    // needs them, and they would ask for windows no system can make.
    static constexpr float kMinScreenScale = 0.5f;
    static constexpr float kMaxScreenScale = 8.0f;
    static bool ScreenScaleIsSane(float scale);
    // trunc(trunc(units x drawScale) x windowScale), held within 0..INT_MAX: the one rounding
    // from panel units to window pixels, so that a window and the size reported for it agree.
    static int WindowPixels(int units, float drawScale, float windowScale);

    int Width() const { return width; }
    int Height() const { return height; }
    int FPS() const { return fps; }
    float GetDrawScale() const { return drawScale; }
    float GetScreenScale() const { return screenScale; }
    float GetMinScale() const { return minScale; }
    float GetMaxScale() const { return maxScale; }
    const IBox& GetClipBox() const { return clipBox; }
    bool IsResizing() const { return resizing; }
    void SetResizing(bool on) { resizing = on; }
    int GetResizeMode() const { return resizeMode; }
    bool LayoutOnResize() const { return layoutOnResize; }
    int GetCursorKind() const { return cursorKind; }
    bool IsPointerHidden() const { return pointerHidden; }
    bool TooltipsEnabled() const { return tooltipsEnabled; }
    bool MouseOverEnabled() const { return mouseOverEnabled; }
    IGEditorDelegate& GetDelegate() const { return *delegate; }
    int LayerDepth() const { return int(layerStack.size()); }
    float PressX() const { return pressX; }
    float PressY() const { return pressY; }

    // Transform stack
    void SaveTransform();
    void RestoreTransform();
    void TranslateTransform(float x, float y);
    void ScaleTransform(float sx, float sy);
    void RotateTransform(float degrees);
    void ResetTransform(bool clearStack);
    const ITransform2D& GetTransform() const { return transform; }
    int TransformDepth() const { return int(transformStack.size()); }

    // Path helpers and drawing helpers
    void PathRect(const IBox& box);
    void PathRoundRect(const IBox& box, float tl, float tr, float bl, float br);
    void PathCircle(float cx, float cy, float r);
    void PathConvexPolygon(const float* xs, const float* ys, int n);
    void PathEllipse(float cx, float cy, float rx, float ry, float angle);
    void WriteText(const ITextStyle& style, const char* text, const IBox& box, const IBlendSpec* blend = nullptr);
    void BlitBitmapFrame(const IBitmapRef& bitmap, const IBox& box, int frame, const IBlendSpec* blend = nullptr);
    void RenderSvgShapes(ISvgRef svg, const IBlendSpec* blend, const IArgb* strokeColour, const IArgb* fillColour);
    static void ComputeTextRotation(const ITextStyle& style, const IBox& target, IBox& bounds, double& dx, double& dy);
    static void MeasureRotatedText(const ITextStyle& style, const IBox& target, IBox& bounds);

    // Resources
    // Location kind of the first variant found in the scale search order (0 when none).
    int FindScaledResource(const char* name, const char* extension, TextBuffer& path, int targetScale, int& foundScale);
    APIBitmap* SearchBitmapCache(const char* name, int targetScale, int& foundScale);
    IBitmapRef ReloadBitmapAtScale(const IBitmapRef& bitmap);
    // The scale search order from a target scale: the target, then 3, then 2 down to 1.
    static std::vector<int> ScaleSearchOrder(int targetScale);
    static FILE* OpenFileUtf8(const char* path, const char* mode);

protected:
    // For ClosePlatformWindow of a window layer: true while in use, and the close is then
    // remembered; ClosePlatformWindow runs again when the last InUse returns.
    bool DeferCloseWhileInUse();
    bool IsInUse() const { return useCount > 0; }
    // Begins the host edit gesture of every parameter bound to a control's slots and answers
    // the parameters, so that exactly these are ended later.
    std::vector<int> BeginGestures(IControl* control);
    // As BeginGestures, but only for parameters without an open gesture (an edit made while
    // a drag already holds the parameter stays inside that drag's gesture).
    std::vector<int> BeginMissingGestures(IControl* control);
    void EndGestures(const std::vector<int>& params);
    void EndParamGesture(int paramIdx);
    bool ScalesAreUsable(float scale) const;
    void ApplyPointerOver(float x, float y, const IPointerMods& mods);
    IBitmapRef MakeBitmapRef(APIBitmap* bitmap, const char* name, int frameCount, bool framesHorizontal) const;
    // Resolves a target scale of 0 to the screen's; then the bitmap cached for (name, target),
    // or the empty bitmap for no name or an extension the backend cannot decode: true when
    // result is the answer of the load. The caller holds the bitmap cache lock.
    bool FindCachedOrRefuse(const char* name, int frameCount, bool framesHorizontal, int& targetScale,
                            IBitmapRef& result);
    IBitmapRef FinishBitmapLoad(APIBitmap* bitmap, bool isNew, const char* name, int frameCount, bool framesHorizontal,
                                int targetScale);
    // The stroke or fill that ends every shape operation: the paint of one colour and the
    // default options.
    void FinishStroke(const IArgb& colour, float thickness, const IBlendSpec* blend, float dash);
    void FinishFill(const IArgb& colour, const IBlendSpec* blend);

    struct ICapture
    {
        IControl* control = nullptr;
        std::vector<int> gestures;
    };

    PointerList<IControl> controls;
    std::unordered_map<int, IControl*> tagMap;
    ICornerResizerControl* cornerResizer = nullptr;
    PointerList<IControl> overlayControls;
    IControl* popupControl = nullptr;
    IControl* frameTimingControl = nullptr;
    IControl* textEntryOverlay = nullptr;
    IControl* extraOverlay = nullptr;
    IPopupMenu promptMenu;
    int cursorKind = kCursorArrow;
    int width = 0;
    int height = 0;
    int fps = 0;
    float screenScale = 1.0f;
    float drawScale = 1.0f;
    std::vector<int> codes;
    std::unordered_map<uint64_t, ICapture> captureMap;
    IControl* overControl = nullptr;
    IControl* textEntryControl = nullptr;
    IControl* menuControl = nullptr;
    bool menuIsContext = false;
    int textEntryValIdx = -1;
    int menuValIdx = -1;
    int overIndex = -1;
    float pressX = -1.0f;
    float pressY = -1.0f;
    float minScale = 0.5f;
    float maxScale = 4.0f;
    bool mouseOverEnabled = false;
    bool strictDrawing = false;
    bool tooltipsEnabled = false;
    bool resizing = false;
    bool layoutOnResize = false;
    bool multiTouchEnabled = false;
    int resizeMode = kResizeScale;
    double lastFrameTime = 0.0;
    IKeyHandler keyHandler;
    IDisplayTickHandler displayTickHandler;
    IGEditorDelegate* delegate;
    void* platformContext = nullptr;
    bool pointerHidden = false;
    bool pointerLocked = false;
    bool lastInputWasPen = false;
    float lastPointerX = -1.0f;
    float lastPointerY = -1.0f;
    std::vector<std::unique_ptr<IOffscreenLayer>> layerStack;
    IBox clipBox;
    ITransform2D transform;
    std::vector<ITransform2D> transformStack;
    bool handlingHostResize = false;
    // Begin-edits sent and not yet ended, per parameter.
    std::unordered_map<int, int> openGestures;
    int useCount = 0;
    bool closePending = false;
    bool disposePending = false;
    bool finishingUse = false;

    friend class IGEditorDelegate;
};

} // namespace igraphics
} // namespace iplug
