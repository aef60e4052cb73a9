#include "framework/graphics/windows/GLLoader.h"
#include "framework/graphics/windows/WglContext.h"
#include "tests/framework/graphics/windows/EditorRig.h"
#include "tests/framework/graphics/windows/TestWindows.h"

#include <nanovg.h>
#define NANOVG_GL2
#include <nanovg_gl.h>
#include <nanovg_gl_utils.h>

#include <gtest/gtest.h>

#include <cstring>

namespace iplug::igraphics {
namespace {

using test::ReadPixels;
using test::TestGLChildWindow;
using test::TestParentWindow;

class NanoVGGLTest : public ::testing::Test
{
protected:
    TestParentWindow parent;
    TestGLChildWindow child{parent.Handle(), 64, 48};
};

TEST_F(NanoVGGLTest, ContextLoadsEveryFunctionTheBackendCalls)
{
    ASSERT_NE(child.Handle(), nullptr);
    WglContext context;
    ASSERT_EQ(context.Create(child.DC()), WglContext::Failure::None) << context.MissingFunction();
    EXPECT_EQ(wglGetCurrentContext(), context.Handle());
    EXPECT_NE(glGenFramebuffers, nullptr);
    EXPECT_NE(glCreateShader, nullptr);
    GLint depth = 0, stencil = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depth);
    glGetIntegerv(GL_STENCIL_BITS, &stencil);
    EXPECT_EQ(depth, 24);
    EXPECT_EQ(stencil, 8);
    context.Destroy();
    EXPECT_EQ(wglGetCurrentContext(), nullptr);
}

// The offscreen frame exists only when the framebuffer helpers were compiled for real;
// drawing into it must land there and not in the window.
TEST_F(NanoVGGLTest, OffscreenFramebufferReceivesTheDrawing)
{
    WglContext context;
    ASSERT_EQ(context.Create(child.DC()), WglContext::Failure::None);
    NVGcontext* vg = nvgCreateGL2(NVG_ANTIALIAS);
    ASSERT_NE(vg, nullptr);
    NVGLUframebuffer* fb = nvgluCreateFramebuffer(vg, 64, 48, 0);
    ASSERT_NE(fb, nullptr);
    EXPECT_NE(fb->fbo, 0u);

    nvgluBindFramebuffer(fb);
    glViewport(0, 0, 64, 48);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_STENCIL_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    nvgBeginFrame(vg, 64, 48, 1.0f);
    nvgBeginPath(vg);
    nvgRect(vg, 8, 8, 16, 16);
    nvgFillColor(vg, nvgRGBA(255, 0, 0, 255));
    nvgFill(vg);
    nvgEndFrame(vg);
    EXPECT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE));

    // NanoVG's y axis points down; GL rows count from the bottom.
    const auto inside = ReadPixels(16, 48 - 16, 1, 1);
    const auto outside = ReadPixels(40, 48 - 40, 1, 1);
    EXPECT_EQ(inside, (std::vector<uint8_t>{255, 0, 0, 255}));
    EXPECT_EQ(outside, (std::vector<uint8_t>{0, 0, 0, 0}));

    nvgluBindFramebuffer(nullptr);
    nvgluDeleteFramebuffer(fb);
    nvgDeleteGL2(vg);
}

TEST_F(NanoVGGLTest, MissingFramebufferFunctionsFailTheContextCleanly)
{
    WglContext::Api api;
    // A machine with OpenGL 2.1 but without framebuffer objects.
    api.lookup = [](const char* name) -> void* {
        return std::strstr(name, "Framebuffer") ? nullptr : GLLoader::SystemLookup(name);
    };
    WglContext context(api);
    EXPECT_EQ(context.Create(child.DC()), WglContext::Failure::LoadFunctions);
    EXPECT_NE(std::strstr(context.MissingFunction(), "Framebuffer"), nullptr);
    EXPECT_EQ(context.Handle(), nullptr);
    EXPECT_EQ(wglGetCurrentContext(), nullptr);

    WglContext working;
    EXPECT_EQ(working.Create(child.DC()), WglContext::Failure::None);
}

TEST_F(NanoVGGLTest, AFormatThatSwapsByCopyingIsChosenAndTheCurrentContextIsKept)
{
    // A host's own context current on this thread stays current while the driver is asked.
    WglContext host;
    ASSERT_EQ(host.Create(child.DC()), WglContext::Failure::None);
    TestGLChildWindow window(parent.Handle(), 32, 32);
    const int format = WglContext::ChooseCopyingFormat(window.DC());
    EXPECT_EQ(wglGetCurrentContext(), host.Handle());
    EXPECT_EQ(wglGetCurrentDC(), child.DC());
    // Wine offers formats that swap by copying.
    EXPECT_NE(format, 0);

    WglContext editor;
    ASSERT_EQ(editor.Create(window.DC()), WglContext::Failure::None);
    EXPECT_TRUE(editor.SwapCopies());
    EXPECT_EQ(GetPixelFormat(window.DC()), format);

    TestGLChildWindow plain(parent.Handle(), 32, 32);
    WglContext::Api api;
    api.chooseCopyingFormat = nullptr;
    WglContext fallback(api);
    ASSERT_EQ(fallback.Create(plain.DC()), WglContext::Failure::None);
    EXPECT_FALSE(fallback.SwapCopies());
}

int WINAPI NoPixelFormat(HDC, const PIXELFORMATDESCRIPTOR*)
{
    return 0;
}
BOOL WINAPI RefuseSetPixelFormat(HDC, int, const PIXELFORMATDESCRIPTOR*)
{
    return FALSE;
}
HGLRC WINAPI NoContext(HDC)
{
    return nullptr;
}
BOOL WINAPI RefuseCurrent(HDC dc, HGLRC context)
{
    // Undoing a binding must still work.
    return context == nullptr ? wglMakeCurrent(dc, context) : FALSE;
}

TEST_F(NanoVGGLTest, EveryContextStepFailsWithoutLeavingAContext)
{
    struct Case
    {
        WglContext::Failure expected;
        void (*breakStep)(WglContext::Api&);
    };
    const Case cases[] = {
        {WglContext::Failure::ChoosePixelFormat,
         [](WglContext::Api& a) {
             a.chooseCopyingFormat = nullptr;
             a.choosePixelFormat = NoPixelFormat;
         }},
        {WglContext::Failure::SetPixelFormat, [](WglContext::Api& a) { a.setPixelFormat = RefuseSetPixelFormat; }},
        {WglContext::Failure::CreateContext, [](WglContext::Api& a) { a.createContext = NoContext; }},
        {WglContext::Failure::MakeCurrent, [](WglContext::Api& a) { a.makeCurrent = RefuseCurrent; }},
    };
    for (const Case& c : cases) {
        // A fresh window per case: a pixel format can be set only once per window.
        TestGLChildWindow window(parent.Handle(), 32, 32);
        WglContext::Api api;
        c.breakStep(api);
        WglContext context(api);
        EXPECT_EQ(context.Create(window.DC()), c.expected);
        EXPECT_EQ(context.Handle(), nullptr);
        EXPECT_EQ(wglGetCurrentContext(), nullptr);
    }
}

// Two editors of one process share the loaded OpenGL functions.
class NanoVGGLEditorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        first.SetLayout([this](IGraphics* g) {
            panel = new test::RecordingControl(IBox(0, 0, 460, 640), IArgb(255, 32, 64, 96));
            g->AddControl(panel);
        });
    }

    IGraphicsWin* OpenFirst()
    {
        if (!first.OpenEditor(parent.Handle(), nullptr))
            return nullptr;
        test::WaitForFrames(*first.Win(), 1);
        return first.Win();
    }

    TestParentWindow parent;
    test::TestDelegate first;
    test::RecordingControl* panel = nullptr;
};

TEST_F(NanoVGGLEditorTest, AnEditorWhoseContextLacksFunctionsFailsAndLeavesTheOpenOneDrawing)
{
    IGraphicsWin* g = OpenFirst();
    ASSERT_NE(g, nullptr);

    // A second editor on a machine (or display) without framebuffer objects.
    test::TestDelegate second;
    second.prepare = [](IGraphicsWin& w) {
        WglContext::Api api;
        api.lookup = [](const char* name) -> void* {
            return std::strstr(name, "Framebuffer") ? nullptr : GLLoader::SystemLookup(name);
        };
        w.SetGLApiForTesting(api);
    };
    EXPECT_EQ(second.OpenEditor(parent.Handle(), nullptr), nullptr);
    EXPECT_EQ(second.opened, 0);
    EXPECT_FALSE(second.Win()->IsWindowOpen());

    const int frames = g->PresentedFrames();
    panel->colour = IArgb(255, 0, 255, 0);
    panel->MarkDirty(false);
    ASSERT_TRUE(test::WaitForFrames(*g, frames + 1));
    EXPECT_EQ(test::ReadMainFramebuffer(*g, 10, 10), (std::vector<uint8_t>{0, 255, 0, 255}));

    // Closing deletes the NanoVG programs and framebuffers through the loaded functions.
    first.CloseEditor();
    EXPECT_EQ(IGraphicsWin::OpenWindowCount(), 0);
}

TEST_F(NanoVGGLEditorTest, NestedBindsGiveTheHostItsContextBackAtTheOutermostUnbind)
{
    IGraphicsWin* g = OpenFirst();
    ASSERT_NE(g, nullptr);
    TestGLChildWindow hostWindow(parent.Handle(), 32, 32);
    WglContext host;
    ASSERT_EQ(host.Create(hostWindow.DC()), WglContext::Failure::None);

    g->BindGLContext();
    const HGLRC editor = wglGetCurrentContext();
    EXPECT_NE(editor, host.Handle());
    g->BindGLContext();
    g->BindGLContext();
    g->UnbindGLContext();
    g->UnbindGLContext();
    EXPECT_EQ(wglGetCurrentContext(), editor) << "the outer bind still draws";
    g->UnbindGLContext();
    EXPECT_EQ(wglGetCurrentContext(), host.Handle());
    EXPECT_EQ(wglGetCurrentDC(), hostWindow.DC());
    // One unbind too many changes nothing.
    g->UnbindGLContext();
    EXPECT_EQ(wglGetCurrentContext(), host.Handle());

    // A frame drawn while the host's context is current hands it back too.
    const int frames = g->PresentedFrames();
    panel->MarkDirty(false);
    ASSERT_TRUE(test::WaitForFrames(*g, frames + 1));
    EXPECT_EQ(wglGetCurrentContext(), host.Handle());
    first.CloseEditor();
}

} // namespace
} // namespace iplug::igraphics
