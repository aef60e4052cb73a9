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

namespace {

void MouseButton(DWORD flags)
{
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    SendInput(1, &input, sizeof(INPUT));
}

void Cancel(HWND dialog)
{
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
}

} // namespace

std::vector<ModalKind> ModalKinds()
{
    return {
        {"file dialog", L"#32770",
         [](IControl& c, std::string& outcome) {
             TextBuffer file("preset"), folder;
             c.GetGraphics()->AskForFile(file, folder, kFileSave, "marlquin",
                                         [&](const TextBuffer&, const TextBuffer&) { outcome += "completed "; });
             outcome += file.GetLength() > 0 ? "chose a file" : "cancelled";
         },
         Cancel, "cancelled"},
        {"alert", L"#32770",
         [](IControl& c, std::string& outcome) {
             const int answer = c.GetGraphics()->ShowAlert("Overwrite?", "Marlquin", MB_OKCANCEL,
                                                           [&](int) { outcome += "completed "; });
             outcome += answer == IDCANCEL ? "cancelled" : "answered " + std::to_string(answer);
         },
         Cancel, "cancelled"},
        {"colour dialog", L"#32770",
         [](IControl& c, std::string& outcome) {
             IArgb colour;
             const bool chosen =
                 c.GetGraphics()->AskForColour(colour, "Colour", [&](const IArgb&) { outcome += "completed "; });
             outcome += chosen ? "chose a colour" : "cancelled";
         },
         Cancel, "cancelled"},
        {"popup menu", L"#32768",
         [](IControl& c, std::string& outcome) {
             IPopupMenu menu(nullptr, 0, false, {"one", "two"});
             c.GetGraphics()->ShowMenuForControl(&c, &menu, c.GetBox(), -1);
             outcome += menu.GetChosenIndex() == -1 ? "cancelled" : "chose an item";
         },
         [](HWND) { EndMenu(); }, "cancelled"},
        {"drag", nullptr,
         [](IControl& c, std::string& outcome) {
             MouseButton(MOUSEEVENTF_LEFTDOWN);
             c.GetGraphics()->DragFileOut("C:\\preset.marlquin");
             outcome += "dragged";
         },
         [](HWND) { MouseButton(MOUSEEVENTF_LEFTUP); }, "dragged"},
    };
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

bool WaitForFrames(IGraphicsWin& g, int frames)
{
    return PumpMessagesUntil([&] { return g.PresentedFrames() >= frames; });
}

} // namespace iplug::igraphics::test
