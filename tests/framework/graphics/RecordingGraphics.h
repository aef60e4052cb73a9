#pragma once

// A drawing context without a window: every backend and platform slot records what it was
// asked as one line of text, bitmaps are counted, and menus answer from a script.

#include "framework/graphics/IGEditorDelegate.h"
#include "framework/graphics/IGraphics.h"

#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace graphicstest {

using namespace iplug;
using namespace iplug::igraphics;

inline std::string Num(double v)
{
    char text[32];
    std::snprintf(text, sizeof(text), "%g", v);
    return text;
}

inline std::string BoxText(const IBox& b)
{
    return Num(b.left) + "," + Num(b.top) + "," + Num(b.right) + "," + Num(b.bottom);
}

// Counts live backend bitmaps, so tests see what the caches delete.
struct FakeBitmap : APIBitmap
{
    FakeBitmap(int w, int h, float scale, float drawScale, std::string from)
        : APIBitmap(0, w, h, scale, drawScale), source(std::move(from))
    {
        ++Live();
    }
    ~FakeBitmap() override { --Live(); }
    static int& Live()
    {
        static int count = 0;
        return count;
    }
    std::string source;
};

struct FakePlatformFont : PlatformFont
{
    explicit FakePlatformFont(int& liveCount) : live(liveCount) { ++live; }
    ~FakePlatformFont() override { --live; }
    int& live;
};

class RecordingGraphics : public IGraphics
{
public:
    RecordingGraphics(IGEditorDelegate& d, int w = 460, int h = 640, float scale = 1.0f) : IGraphics(d, w, h, 60, scale)
    {}

    void Log(std::string line) { calls.push_back(std::move(line)); }
    // Lines that start with prefix, in order.
    std::vector<std::string> Calls(const std::string& prefix) const
    {
        std::vector<std::string> out;
        for (const auto& c : calls)
            if (c.compare(0, prefix.size(), prefix) == 0)
                out.push_back(c);
        return out;
    }

    void StartFrame(const IBox& area) override { Log("frame start"); }
    void FinishFrame() override { Log("frame end"); }
    void BlitBitmap(const IBitmapRef& bmp, const IBox& dest, int srcX, int srcY, const IBlendSpec* blend) override
    {
        Log("blit " + BoxText(dest) + " src " + std::to_string(srcX) + "," + std::to_string(srcY));
    }
    IArgb SamplePixel(float, float) override { return IArgb(255, 0, 0, 0); }
    void* GetBackendContext() override { return nullptr; }
    const char* GetBackendName() const override { return "Recording"; }
    bool SupportsImageExtension(const char* ext) override
    {
        return std::string(ext) == "png" || std::string(ext) == "jpg";
    }
    void ReadLayerPixels(IOffscreenLayer& layer, GrowBuffer& pixels) override { pixels.CopyFrom(layerPixels); }
    void CompositeShadowMask(IOffscreenLayer&, const GrowBuffer& mask, const IShadowSpec&) override
    {
        shadowMask.CopyFrom(mask);
    }
    void BindActiveLayer() override { Log("bind layer " + std::to_string(LayerDepth())); }
    void PathBegin() override { Log("begin"); }
    void PathCloseFigure() override { Log("close"); }
    void PathAddArc(float cx, float cy, float r, float a1, float a2, int dir) override
    {
        Log("arc " + Num(cx) + "," + Num(cy) + " r" + Num(r) + " " + Num(a1) + ".." + Num(a2));
    }
    void PathMove(float x, float y) override { Log("move " + Num(x) + "," + Num(y)); }
    void PathLine(float x, float y) override { Log("line " + Num(x) + "," + Num(y)); }
    void PathSetWindingDir(int hole) override { Log(hole ? "winding hole" : "winding solid"); }
    void PathCubic(float, float, float, float, float x, float y) override { Log("cubic " + Num(x) + "," + Num(y)); }
    void PathQuadratic(float, float, float x, float y) override { Log("quad " + Num(x) + "," + Num(y)); }
    void PathDoStroke(const IPaint& paint, float thickness, const IStrokeStyle& style, const IBlendSpec*) override
    {
        lastPaint = paint;
        lastStroke = style;
        Log("stroke " + Num(thickness) + " dash " + std::to_string(style.dash.count) + (style.keepPath ? " keep" : ""));
    }
    void PathDoFill(const IPaint& paint, const IFillStyle& style, const IBlendSpec*) override
    {
        lastPaint = paint;
        Log("fill rule " + std::to_string(style.rule) + (style.keepPath ? " keep" : ""));
    }
    void ApplyTransform(const ITransform2D& t) override { applied = t; }
    void SetClipBox(const IBox& box) override { Log("clip " + BoxText(box)); }

    void GetPointerPosition(float& x, float& y) const override
    {
        x = pointerX;
        y = pointerY;
    }
    void ShowPointer(bool hide, bool lock) override
    {
        Log(hide ? "hide pointer" : "show pointer");
        pointerHidden = hide;
    }
    void WarpPointer(float, float) override {}
    void CancelTextEntry() override {}
    void* OpenPlatformWindow(void*) override { return nullptr; }
    void ClosePlatformWindow() override {}
    void* GetNativeWindow() const override { return nullptr; }
    bool ReadClipboardText(TextBuffer&) override { return false; }
    bool WriteClipboardText(const char*) override { return false; }
    void OnPopupControlOpening() override {}
    int ShowAlert(const char*, const char*, int, IMsgBoxCompletion) override { return 0; }
    void AskForFile(TextBuffer&, TextBuffer&, int, const char*, IFileDialogCompletion) override {}
    void AskForFolder(TextBuffer&, IFileDialogCompletion) override {}
    bool AskForColour(IArgb&, const char*, IColourPickerCompletion) override { return false; }
    bool OpenUrlInBrowser(const char*, const char*, const char*, const char*) override { return false; }
    PlatformFont* LoadSystemFont(const char*, const char*, int) override { return nullptr; }
    PlatformFont* LoadPlatformFontFromMemory(const char*, const void* data, int) override
    {
        return data ? new FakePlatformFont(liveFonts) : nullptr;
    }
    PlatformFont* LoadPlatformFontFromFile(const char*, const char* name) override
    {
        return name && *name ? new FakePlatformFont(liveFonts) : nullptr;
    }
    void RetainPlatformFont(const char* fontId, PlatformFont&) override { Log(std::string("retain ") + fontId); }
    void OpenPlatformTextEntry(int paramIdx, const ITextStyle&, const IBox& box, int length, const char* text) override
    {
        Log("text entry " + std::to_string(paramIdx) + " '" + text + "'");
    }
    IPopupMenu* ShowPlatformMenu(IPopupMenu& menu, const IBox&, bool&) override
    {
        Log("menu " + std::to_string(menu.NItems()));
        if (menuScript)
            return menuScript(menu);
        menu.SetChosenIndex(menuAnswer);
        return &menu;
    }
    float GetWindowScale() const override { return windowScale; }
    void ResizePlatformWindow(bool hostResized) override { Log(hostResized ? "window host" : "window"); }
    APIBitmap* CreateBackendBitmapFromMemory(const char* name, const void*, int, int scale) override
    {
        return new FakeBitmap(imageWidth, imageHeight, float(scale), 1.0f, std::string("memory ") + name);
    }
    APIBitmap* CreateBackendBitmapFromLocation(const char* location, int scale, int kind, const char*) override
    {
        ++decodes;
        return new FakeBitmap(imageWidth, imageHeight, float(scale), 1.0f, location);
    }
    APIBitmap* CreateOffscreenBitmap(int w, int h, float scale, double drawScale, bool) override
    {
        return new FakeBitmap(w, h, scale, float(drawScale), "offscreen");
    }
    bool RegisterBackendFont(const char*, PlatformFont&) override { return acceptFonts; }
    int LayerAlphaIndex() const override { return 3; }
    bool LayerRowsTopDown() const override { return false; }
    float MeasureTextImpl(const ITextStyle&, const char* text, IBox& box) override
    {
        box.right = box.left + 7.0f * float(std::string(text).size());
        return box.W();
    }
    void DrawTextImpl(const ITextStyle&, const char* text, const IBox&, const IBlendSpec*) override
    {
        Log(std::string("text ") + text);
    }

    std::vector<std::string> calls;
    ITransform2D applied;
    IPaint lastPaint;
    IStrokeStyle lastStroke;
    float pointerX = 0.0f;
    float pointerY = 0.0f;
    float windowScale = 1.0f;
    int menuAnswer = -1;
    std::function<IPopupMenu*(IPopupMenu&)> menuScript;
    int imageWidth = 920;
    int imageHeight = 1280;
    int decodes = 0;
    int liveFonts = 0;
    bool acceptFonts = true;
    GrowBuffer layerPixels;
    GrowBuffer shadowMask;
};

// Records the host traffic of the editor: begin, perform and end edits and size requests. It
// can answer a size request the way a host does, by resizing the editor to the pixels asked.
class FakeDelegate : public IGEditorDelegate
{
public:
    // The first `doubles` parameters are set up as gains; the rest are left for the test.
    explicit FakeDelegate(int doubles = 4, int nParams = 4) : IGEditorDelegate(nParams)
    {
        for (int i = 0; i < doubles && i < nParams; ++i)
            GetParam(i)->SetupDouble("Gain", 0.5, 0.0, 1.0, 0.001);
    }

    void BeginParamEditFromEditor(int paramIdx) override { edits.push_back("begin " + std::to_string(paramIdx)); }
    void SetParamFromEditor(int paramIdx, double normalised) override
    {
        edits.push_back("perform " + std::to_string(paramIdx) + " " + Num(normalised));
        IGEditorDelegate::SetParamFromEditor(paramIdx, normalised);
    }
    void EndParamEditFromEditor(int paramIdx) override { edits.push_back("end " + std::to_string(paramIdx)); }
    bool OnEditorSizeChanged(int w, int h, bool resizeHost) override
    {
        sizeRequests.push_back(std::to_string(w) + "x" + std::to_string(h) + (resizeHost ? " host" : ""));
        if (resizeHost && echoSizes && GetGraphics())
            FitEditorToHostSize(w, h);
        return resizeHost;
    }
    void RunLayoutFunction(IGraphics* g) override
    {
        ++layouts;
        IGEditorDelegate::RunLayoutFunction(g);
    }
    // Registers g as the open editor's drawing context; the delegate deletes it.
    void Adopt(IGraphics* g) { graphics = g; }

    std::vector<std::string> edits;
    std::vector<std::string> sizeRequests;
    bool echoSizes = false;
    int layouts = 0;
};

} // namespace graphicstest
