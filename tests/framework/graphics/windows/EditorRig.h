#pragma once

#include "framework/graphics/IControl.h"
#include "framework/graphics/IGEditorDelegate.h"
#include "framework/graphics/windows/IGraphicsWin.h"
#include "tests/framework/graphics/windows/TestWindows.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace iplug::igraphics::test {

// A control that fills its box with one colour and records what reaches it.
class RecordingControl : public IControl
{
public:
    RecordingControl(const IBox& box, IArgb colour, int paramIdx = -1) : IControl(box, paramIdx), colour(colour) {}

    void Paint(IGraphics& g) override
    {
        ++paints;
        g.SolidBox(colour, GetBox());
    }
    void OnPointerDown(float x, float y, const IPointerMods& mods) override;
    void OnPointerUp(float x, float y, const IPointerMods& mods) override;
    void OnPointerDrag(float x, float y, float dx, float dy, const IPointerMods& mods) override;
    void OnWheel(float x, float y, const IPointerMods& mods, float notches) override;
    bool OnKeyDown(float x, float y, const IKeyStroke& key) override;
    void OnDropPath(const char* path) override;
    void OnDropPaths(const std::vector<const char*>& paths) override;

    IArgb colour;
    int paints = 0;
    std::vector<std::string> events;
    bool hidePointerOnDrag = false;
};

// A control that runs a modal loop (dialog, menu, drag) when pressed and, once the loop has
// returned, goes on with itself as widget code does (the preset bar's Save and Load buttons).
class ModalControl : public IControl
{
public:
    ModalControl(const IBox& box, std::function<void(IControl&)> runLoop) : IControl(box), runLoop(std::move(runLoop))
    {}

    void Paint(IGraphics& g) override { g.SolidBox(IArgb(255, 40, 40, 40), GetBox()); }
    void OnPointerDown(float x, float y, const IPointerMods& mods) override
    {
        runLoop(*this);
        MarkDirty(false);
    }

private:
    std::function<void(IControl&)> runLoop;
};

// Every modal loop of the editor, run for real: what starts it (the outcome it leaves), the
// class of its window (none for a drag), and how the user ends it.
struct ModalKind
{
    const char* name;
    const wchar_t* loopWindowClass;
    std::function<void(IControl&, std::string&)> start;
    std::function<void(HWND)> end;
    const char* cancelled;
};
std::vector<ModalKind> ModalKinds();

// The editor delegate of window tests: a parameter list, counted gestures, and a layout
// function that the test gives.
class TestDelegate : public IGEditorDelegate
{
public:
    explicit TestDelegate(int width = 460, int height = 640, int nParams = 2);

    void BeginParamEditFromEditor(int paramIdx) override { ++openGestures; }
    void EndParamEditFromEditor(int paramIdx) override { --openGestures; }
    void OnEditorOpened() override { ++opened; }
    // A host that resized its frame itself (not asked) only needs the child to follow;
    // asked to resize, this one does nothing, so the window layer grows the parents.
    bool OnEditorSizeChanged(int width, int height, bool resizeHostWindow) override { return !resizeHostWindow; }

    void SetLayout(LayoutFunction layout) { layoutFunction = std::move(layout); }
    void SetMakeGraphics(MakeGraphicsFunction make) { makeGraphicsFunction = std::move(make); }
    IGraphicsWin* Win() const { return static_cast<IGraphicsWin*>(GetGraphics()); }

    int openGestures = 0;
    int opened = 0;
    // Unset: the clock the system gives (the vertical-blank clock from Windows 8 on).
    std::optional<bool> useVBlankClock;
    float drawScale = 1.0f;
    // Runs on every new window layer before it opens: test seams and switches.
    std::function<void(IGraphicsWin&)> prepare;
};

// RGBA of one panel pixel (at backing scale 1 unless given) of the editor's main framebuffer.
std::vector<uint8_t> ReadMainFramebuffer(IGraphicsWin& g, int x, int y);
// RGBA of a block of pixels whose top-left corner is (x, y), rows bottom row first.
std::vector<uint8_t> ReadMainFramebuffer(IGraphicsWin& g, int x, int y, int width, int height);
// Pumps messages until the editor has presented at least frames frames (or a hang ran out the time).
bool WaitForFrames(IGraphicsWin& g, int frames);

} // namespace iplug::igraphics::test
