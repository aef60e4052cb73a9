#include "tests/framework/graphics/windows/EditorRig.h"

#include "framework/graphics/windows/GLLoader.h"

#include <nanovg.h>
#define NANOVG_GL2
#include <nanovg_gl.h>
#include <nanovg_gl_utils.h>

namespace iplug::igraphics::test {

void RecordingControl::OnPointerDown(float x, float y, const IPointerMods& mods)
{
    events.push_back("down");
    IControl::OnPointerDown(x, y, mods);
}

void RecordingControl::OnPointerUp(float x, float y, const IPointerMods& mods)
{
    events.push_back("up");
    IControl::OnPointerUp(x, y, mods);
}

void RecordingControl::OnPointerDrag(float x, float y, float dx, float dy, const IPointerMods& mods)
{
    events.push_back("drag " + std::to_string(int(dx)) + "," + std::to_string(int(dy)));
    if (hidePointerOnDrag && GetGraphics())
        GetGraphics()->ShowPointer(true, true);
}

void RecordingControl::OnWheel(float x, float y, const IPointerMods& mods, float notches)
{
    events.push_back("wheel " + std::to_string(int(notches)));
}

bool RecordingControl::OnKeyDown(float x, float y, const IKeyStroke& key)
{
    events.push_back(std::string("key ") + std::to_string(key.virtualKey) + " '" + key.text + "'");
    return true;
}

void RecordingControl::OnDropPath(const char* path)
{
    events.push_back(std::string("drop ") + path);
}

void RecordingControl::OnDropPaths(const std::vector<const char*>& paths)
{
    events.push_back("drops " + std::to_string(paths.size()));
}

TestDelegate::TestDelegate(int width, int height, int nParams) : IGEditorDelegate(nParams)
{
    SetEditorSize(width, height);
    makeGraphicsFunction = [this]() -> IGraphics* {
        auto* g = new IGraphicsWin(*this, GetEditorWidth(), GetEditorHeight(), 60, drawScale);
        if (useVBlankClock)
            g->SetUseVBlankClock(*useVBlankClock);
        g->SetModuleInstance(GetModuleHandleW(nullptr));
        if (prepare)
            prepare(*g);
        return g;
    };
}

std::vector<uint8_t> ReadMainFramebuffer(IGraphicsWin& g, int x, int y)
{
    return ReadMainFramebuffer(g, x, y, 1, 1);
}

std::vector<uint8_t> ReadMainFramebuffer(IGraphicsWin& g, int x, int y, int width, int height)
{
    g.BindGLContext();
    NVGLUframebuffer* fb = g.GetMainFramebuffer();
    glBindFramebuffer(GL_FRAMEBUFFER, fb ? fb->fbo : 0);
    int fbWidth = 0, fbHeight = 0;
    if (fb)
        nvgImageSize(static_cast<NVGcontext*>(g.GetBackendContext()), fb->image, &fbWidth, &fbHeight);
    const auto pixels = ReadPixels(x, fbHeight - y - height, width, height);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    g.UnbindGLContext();
    return pixels;
}

bool WaitForFrames(IGraphicsWin& g, int frames, int timeoutMs)
{
    const DWORD end = GetTickCount() + static_cast<DWORD>(timeoutMs);
    while (g.PresentedFrames() < frames && static_cast<int>(end - GetTickCount()) > 0)
        PumpMessages(5);
    return g.PresentedFrames() >= frames;
}

} // namespace iplug::igraphics::test
