#include "framework/vst3/IPlugVST3View.h"
#include "framework/graphics/windows/IGraphicsWin.h"
#include "framework/graphics/windows/WglContext.h"
#include "framework/graphics/windows/WinFont.h"
#include "framework/vst3/Vst3KeyCodes.h"
#include "tests/framework/graphics/windows/EditorRig.h"
#include "tests/framework/graphics/windows/TestWindows.h"
#include "tests/framework/vst3/Vst3TestHost.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace vst3test {
namespace {

using iplug::igraphics::IGraphicsWin;
using iplug::igraphics::IKeyStroke;
using iplug::igraphics::WglContext;
using iplug::igraphics::WinFont;
using iplug::igraphics::test::CountObjects;
using iplug::igraphics::test::ObjectCounts;
using iplug::igraphics::test::PumpMessages;
using iplug::igraphics::test::RecordingControl;
using iplug::igraphics::test::TestGLChildWindow;
using iplug::igraphics::test::TestParentWindow;
using iplug::igraphics::test::WaitForFrames;

class IPlugVST3ViewTest : public ::testing::Test
{
protected:
    IPlugVST3ViewTest() { plugin->SetSizeLimits(100, 2000, 100, 2000); }
    ~IPlugVST3ViewTest() override { plugin->release(); }
    TestPlugin* plugin = new TestPlugin;
    TestParentWindow parent{700, 800};
};

TEST_F(IPlugVST3ViewTest, EachEditorRequestMakesANewViewAndOthersNone)
{
    IPlugView* first = plugin->createView(ViewType::kEditor);
    IPlugView* second = plugin->createView(ViewType::kEditor);
    ASSERT_NE(first, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(plugin->createView("other"), nullptr);
    EXPECT_EQ(plugin->createView(nullptr), nullptr);
    IPlugViewContentScaleSupport* scale = nullptr;
    EXPECT_EQ(first->queryInterface(IPlugViewContentScaleSupport::iid, reinterpret_cast<void**>(&scale)), kResultOk);
    ASSERT_NE(scale, nullptr);
    scale->release();
    first->release();
    second->release();
}

TEST_F(IPlugVST3ViewTest, SizeQuestionsWithoutARectangleAreInvalid)
{
    IPlugView* view = plugin->createView(ViewType::kEditor);
    EXPECT_EQ(view->getSize(nullptr), kInvalidArgument);
    EXPECT_EQ(view->checkSizeConstraint(nullptr), kInvalidArgument);
    ViewRect size;
    EXPECT_EQ(view->getSize(&size), kResultTrue);
    EXPECT_EQ(size.getWidth(), 460);
    EXPECT_EQ(size.getHeight(), 640);
    ViewRect tooSmall(5, 5, 6, 600);
    EXPECT_EQ(view->checkSizeConstraint(&tooSmall), kResultTrue);
    EXPECT_EQ(tooSmall.right, 5 + 100);
    EXPECT_EQ(tooSmall.bottom, 600);
    EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeHWND), kResultTrue);
    EXPECT_EQ(view->isPlatformTypeSupported("NSView"), kResultFalse);
    view->release();
}

// A host may make a second view just to ask its size and release it: the plug-in then
// must not keep pointing at it, nor forget the view that is attached.
TEST_F(IPlugVST3ViewTest, TheAttachedViewIsTrackedAndNothingDangles)
{
    IPlugView* view = plugin->createView(ViewType::kEditor);
    EXPECT_EQ(plugin->GetAttachedView(), nullptr);
    EXPECT_EQ(view->attached(parent.Handle(), "NSView"), kResultFalse) << "only HWND opens";
    EXPECT_EQ(plugin->GetAttachedView(), nullptr);
    ASSERT_EQ(view->attached(parent.Handle(), kPlatformTypeHWND), kResultTrue);
    EXPECT_EQ(plugin->GetAttachedView(), view);
    EXPECT_NE(plugin->GetGraphics(), nullptr);

    IPlugView* sizeOnly = plugin->createView(ViewType::kEditor);
    sizeOnly->release();
    EXPECT_EQ(plugin->GetAttachedView(), view);

    EXPECT_EQ(view->removed(), kResultOk);
    EXPECT_EQ(plugin->GetAttachedView(), nullptr);
    EXPECT_EQ(plugin->GetGraphics(), nullptr);
    view->release();
}

TEST_F(IPlugVST3ViewTest, HostScaleSentBeforeAttachingIsKeptAndWinsOverTheMonitor)
{
    IPlugView* view = plugin->createView(ViewType::kEditor);
    IPlugViewContentScaleSupport* scale = nullptr;
    view->queryInterface(IPlugViewContentScaleSupport::iid, reinterpret_cast<void**>(&scale));
    EXPECT_EQ(scale->setContentScaleFactor(1.5f), kResultTrue);
    ASSERT_EQ(view->attached(parent.Handle(), kPlatformTypeHWND), kResultTrue);
    auto* g = dynamic_cast<IGraphicsWin*>(plugin->GetGraphics());
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->GetScreenScale(), 1.5f);
    PumpMessages(150);
    EXPECT_EQ(g->GetScreenScale(), 1.5f) << "the redraw tick does not put the monitor's 1.0 back";
    RECT r;
    GetClientRect(static_cast<HWND>(g->GetNativeWindow()), &r);
    EXPECT_EQ(r.right, 690);
    view->removed();
    scale->release();
    view->release();
}

std::string ClientSize(HWND window)
{
    RECT client = {};
    GetClientRect(window, &client);
    return std::to_string(client.right) + "x" + std::to_string(client.bottom);
}

std::string ReportedSize(IPlugView* view)
{
    ViewRect size;
    view->getSize(&size);
    return std::to_string(size.getWidth()) + "x" + std::to_string(size.getHeight());
}

// The framework's own answer to a host resize: the editor follows every real resize, also one
// back to the size the editor itself last asked for, and reports the size it then has.
TEST_F(IPlugVST3ViewTest, TheEditorFollowsTheHostBackToTheSizeItLastAskedFor)
{
    plugin->AllowHostResizing();
    IPlugView* view = plugin->createView(ViewType::kEditor);
    ASSERT_EQ(view->attached(parent.Handle(), kPlatformTypeHWND), kResultTrue);
    HWND editor = GetWindow(parent.Handle(), GW_CHILD);
    ASSERT_EQ(ClientSize(editor), "460x640");
    for (ViewRect size : {ViewRect(0, 0, 600, 800), ViewRect(0, 0, 460, 640), ViewRect(0, 0, 520, 700)}) {
        const std::string wanted = std::to_string(size.getWidth()) + "x" + std::to_string(size.getHeight());
        EXPECT_EQ(view->onSize(&size), kResultTrue);
        EXPECT_EQ(ClientSize(editor), wanted);
        EXPECT_EQ(ReportedSize(view), wanted);
    }
    view->removed();
    view->release();
}

// Hosts have been seen to send absurd content scales; each is ignored, before and after the
// editor opens, and no window size leaves int.
TEST_F(IPlugVST3ViewTest, ContentScalesOutsideTheSaneRangeAreIgnored)
{
    const float bad[] = {
        1e6f,  1e30f, std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN(), 0.0f, -1.0f,
        0.25f, 9.0f};
    IPlugView* view = plugin->createView(ViewType::kEditor);
    IPlugViewContentScaleSupport* scale = nullptr;
    view->queryInterface(IPlugViewContentScaleSupport::iid, reinterpret_cast<void**>(&scale));
    ASSERT_NE(scale, nullptr);
    for (float factor : bad)
        EXPECT_EQ(scale->setContentScaleFactor(factor), kResultFalse) << factor;
    ASSERT_EQ(view->attached(parent.Handle(), kPlatformTypeHWND), kResultTrue);
    HWND editor = GetWindow(parent.Handle(), GW_CHILD);
    EXPECT_EQ(ClientSize(editor), "460x640");
    for (float factor : bad) {
        EXPECT_EQ(scale->setContentScaleFactor(factor), kResultFalse) << factor;
        EXPECT_EQ(ClientSize(editor), "460x640") << factor;
        EXPECT_EQ(ReportedSize(view), "460x640") << factor;
    }
    EXPECT_EQ(scale->setContentScaleFactor(0.5f), kResultTrue);
    EXPECT_EQ(ClientSize(editor), "230x320");
    view->removed();
    scale->release();
    view->release();
}

// A host opens a second view in another window while the first is still attached: the editor
// moves into the new window and fills its client area from the origin.
TEST_F(IPlugVST3ViewTest, ASecondViewSitsAtTheOriginOfItsWindow)
{
    TestParentWindow second{700, 800};
    SetWindowPos(second.Handle(), nullptr, 230, 170, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    IPlugView* first = plugin->createView(ViewType::kEditor);
    IPlugView* other = plugin->createView(ViewType::kEditor);
    ASSERT_EQ(first->attached(parent.Handle(), kPlatformTypeHWND), kResultTrue);
    ASSERT_EQ(other->attached(second.Handle(), kPlatformTypeHWND), kResultTrue);
    HWND editor = GetWindow(second.Handle(), GW_CHILD);
    ASSERT_NE(editor, nullptr);
    POINT origin = {0, 0};
    ClientToScreen(second.Handle(), &origin);
    RECT placed = {};
    GetWindowRect(editor, &placed);
    EXPECT_EQ(placed.left, origin.x);
    EXPECT_EQ(placed.top, origin.y);
    EXPECT_EQ(ClientSize(editor), "460x640");
    other->removed();
    first->release();
    other->release();
}

// A plug-in whose editor is one recording panel; it counts the editor's closes.
class PanelPlugin : public TestPlugin
{
public:
    PanelPlugin()
    {
        SetSizeLimits(100, 2000, 100, 2000);
        layoutFunction = [this](iplug::igraphics::IGraphics* g) {
            panel =
                new RecordingControl(iplug::igraphics::IBox(0, 0, 460, 640), iplug::igraphics::IArgb(255, 32, 64, 96));
            g->AddControl(panel);
        };
    }
    void OnEditorClosing() override { ++closes; }
    void SetMakeGraphics(iplug::igraphics::MakeGraphicsFunction make) { makeGraphicsFunction = std::move(make); }
    void SetLayout(iplug::igraphics::LayoutFunction layout) { layoutFunction = std::move(layout); }

    RecordingControl* panel = nullptr;
    int closes = 0;
};

// One host window for the cases below (a visible top-level window takes seconds to go under Wine).
HWND SharedParentHandle()
{
    static TestParentWindow window{700, 800};
    return window.Handle();
}

// Editor hooks of a plug-in that throw, one at a time.
enum class Fault
{
    None,
    Opening,
    Sizing,
    Key,
    HostResize,
    ContentScale,
    Closing
};

class FaultyPlugin : public TestPlugin
{
public:
    void OnEditorOpened() override
    {
        Throw(Fault::Opening);
        TestPlugin::OnEditorOpened();
    }
    void PrepareEditorSize(float screenScale) override
    {
        Throw(Fault::Sizing);
        TestPlugin::PrepareEditorSize(screenScale);
    }
    bool OnHostKeyDown(const IKeyStroke& key) override
    {
        Throw(Fault::Key);
        return TestPlugin::OnHostKeyDown(key);
    }
    bool OnHostKeyUp(const IKeyStroke& key) override
    {
        Throw(Fault::Key);
        return TestPlugin::OnHostKeyUp(key);
    }
    void FitEditorToHostSize(int width, int height) override
    {
        Throw(Fault::HostResize);
        TestPlugin::FitEditorToHostSize(width, height);
    }
    void ApplyContentScale(float scale) override
    {
        Throw(Fault::ContentScale);
        TestPlugin::ApplyContentScale(scale);
    }
    void OnEditorClosing() override
    {
        Throw(Fault::Closing);
        TestPlugin::OnEditorClosing();
    }

    Fault fault = Fault::None;

private:
    void Throw(Fault at) const
    {
        if (fault == at)
            throw std::runtime_error("editor hook failed");
    }
};

// Hosts are not C++: whatever a plug-in's editor throws ends as an answer to the host's call,
// and the editor is either open and working or gone without a trace.
TEST(IPlugVST3ViewFaultTest, AnEditorHookThatThrowsBecomesAnAnswerAndLeavesNothingBroken)
{
    struct Case
    {
        const char* name;
        Fault fault;
        bool attachFirst;
        std::function<tresult(IPlugView&)> call;
        tresult answer;
        bool editorOpenAfter;
    };
    const Case cases[] = {
        {"attached", Fault::Opening, false,
         [](IPlugView& v) { return v.attached(SharedParentHandle(), kPlatformTypeHWND); }, kResultFalse, false},
        {"getSize", Fault::Sizing, false,
         [](IPlugView& v) {
             ViewRect size;
             return v.getSize(&size);
         },
         kInternalError, false},
        {"onKeyDown", Fault::Key, true, [](IPlugView& v) { return v.onKeyDown('a', 0, 0); }, kResultFalse, true},
        {"onKeyUp", Fault::Key, true, [](IPlugView& v) { return v.onKeyUp('a', 0, 0); }, kResultFalse, true},
        {"onSize", Fault::HostResize, true,
         [](IPlugView& v) {
             ViewRect size(0, 0, 500, 700);
             return v.onSize(&size);
         },
         kInternalError, true},
        {"setContentScaleFactor", Fault::ContentScale, true,
         [](IPlugView& v) {
             IPlugViewContentScaleSupport* scale = nullptr;
             v.queryInterface(IPlugViewContentScaleSupport::iid, reinterpret_cast<void**>(&scale));
             const tresult result = scale->setContentScaleFactor(1.5f);
             scale->release();
             return result;
         },
         kInternalError, true},
        {"removed", Fault::Closing, true, [](IPlugView& v) { return v.removed(); }, kResultOk, false},
    };
    for (const Case& c : cases) {
        auto* plugin = new FaultyPlugin;
        plugin->SetSizeLimits(100, 2000, 100, 2000);
        plugin->AllowHostResizing();
        IPlugView* view = plugin->createView(ViewType::kEditor);
        ASSERT_NE(view, nullptr) << c.name;
        if (c.attachFirst) {
            ASSERT_EQ(view->attached(SharedParentHandle(), kPlatformTypeHWND), kResultTrue) << c.name;
        }
        plugin->fault = c.fault;
        tresult answer = kResultOk;
        EXPECT_NO_THROW(answer = c.call(*view)) << c.name;
        EXPECT_EQ(answer, c.answer) << c.name;
        EXPECT_EQ(plugin->GetGraphics() != nullptr, c.editorOpenAfter) << c.name;
        EXPECT_EQ(GetWindow(SharedParentHandle(), GW_CHILD) != nullptr, c.editorOpenAfter) << c.name;

        // Once the hook behaves again, the same plug-in opens and closes an editor as ever.
        plugin->fault = Fault::None;
        if (c.editorOpenAfter) {
            EXPECT_EQ(view->removed(), kResultOk) << c.name;
        }
        EXPECT_EQ(view->attached(SharedParentHandle(), kPlatformTypeHWND), kResultTrue) << c.name;
        EXPECT_EQ(view->removed(), kResultOk) << c.name;
        EXPECT_EQ(GetWindow(SharedParentHandle(), GW_CHILD), nullptr) << c.name;
        view->release();
        plugin->release();
    }
}

// As the SDK's sample host does with a second window: a second view of the plug-in is attached
// while the first still is, and the editor moves into the second window. The first view, taken
// down later as that host does it, leaves the editor of the second alone.
TEST(IPlugVST3ViewTwoViewsTest, TakingDownAViewWhoseEditorMovedOnLeavesTheEditorToTheOther)
{
    auto* plugin = new PanelPlugin;
    TestParentWindow firstWindow{700, 800}, secondWindow{700, 800};
    const int contextsBefore = WglContext::LiveCount();
    IPlugView* first = plugin->createView(ViewType::kEditor);
    IPlugView* second = plugin->createView(ViewType::kEditor);
    ASSERT_EQ(first->attached(firstWindow.Handle(), kPlatformTypeHWND), kResultTrue);
    ASSERT_EQ(second->attached(secondWindow.Handle(), kPlatformTypeHWND), kResultTrue);
    HWND editor = GetWindow(secondWindow.Handle(), GW_CHILD);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(GetWindow(firstWindow.Handle(), GW_CHILD), nullptr);

    EXPECT_EQ(first->setFrame(nullptr), kResultTrue);
    EXPECT_EQ(first->removed(), kResultOk);
    first->release();
    EXPECT_EQ(plugin->closes, 0);
    ASSERT_TRUE(IsWindow(editor));
    auto* g = dynamic_cast<IGraphicsWin*>(plugin->GetGraphics());
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->GetNativeWindow(), editor);
    const int frames = g->PresentedFrames();
    plugin->panel->MarkDirty(false);
    EXPECT_TRUE(WaitForFrames(*g, frames + 1)) << "the editor still draws";
    SendMessageW(editor, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    SendMessageW(editor, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    EXPECT_EQ(plugin->panel->events, (std::vector<std::string>{"down", "up"})) << "and responds";

    EXPECT_EQ(second->removed(), kResultOk);
    second->release();
    EXPECT_EQ(plugin->closes, 1);
    EXPECT_EQ(plugin->GetGraphics(), nullptr);
    EXPECT_FALSE(IsWindow(editor));
    EXPECT_EQ(IGraphicsWin::OpenWindowCount(), 0);
    EXPECT_EQ(WglContext::LiveCount(), contextsBefore);
    EXPECT_EQ(plugin->release(), 0u);
}

// A host that draws with OpenGL itself may have its own context current on the UI thread; every
// step of the editor leaves the context that was current (or none) as it found it.
TEST_F(IPlugVST3ViewTest, OpeningDrawingAndClosingLeaveTheHostsOpenGLContextAsItWas)
{
    TestGLChildWindow hostWindow(parent.Handle(), 32, 32);
    WglContext host;
    ASSERT_EQ(host.Create(hostWindow.DC()), WglContext::Failure::None);
    for (const bool hostContext : {true, false}) {
        SCOPED_TRACE(hostContext ? "host context current" : "none current");
        const HDC dc = hostContext ? hostWindow.DC() : nullptr;
        const HGLRC context = hostContext ? host.Handle() : nullptr;
        wglMakeCurrent(dc, context);
        auto asFound = [&] { return wglGetCurrentContext() == context && wglGetCurrentDC() == dc; };
        IPlugView* view = plugin->createView(ViewType::kEditor);
        ASSERT_EQ(view->attached(parent.Handle(), kPlatformTypeHWND), kResultTrue);
        EXPECT_TRUE(asFound()) << "after opening";
        auto* g = dynamic_cast<IGraphicsWin*>(plugin->GetGraphics());
        ASSERT_NE(g, nullptr);
        g->MarkAllControlsDirty();
        EXPECT_TRUE(WaitForFrames(*g, g->PresentedFrames() + 1));
        EXPECT_TRUE(asFound()) << "after drawing";
        EXPECT_EQ(view->removed(), kResultOk);
        EXPECT_TRUE(asFound()) << "after closing";
        view->release();
    }
    wglMakeCurrent(nullptr, nullptr);
}

TEST_F(IPlugVST3ViewTest, AttachResizeRemoveTenTimesLeavesNothingBehind)
{
    // One cycle first: process-wide caches and system libraries load once.
    ObjectCounts before;
    int contextsBefore = 0, fontsBefore = 0;
    for (int cycle = 0; cycle <= 10; ++cycle) {
        if (cycle == 1) {
            before = CountObjects();
            contextsBefore = WglContext::LiveCount();
            fontsBefore = WinFont::LiveCount();
        }
        IPlugView* view = plugin->createView(ViewType::kEditor);
        ASSERT_EQ(view->attached(parent.Handle(), kPlatformTypeHWND), kResultTrue) << cycle;
        EXPECT_EQ(IGraphicsWin::OpenWindowCount(), 1);
        ViewRect wanted(0, 0, 500 + cycle, 700);
        EXPECT_EQ(view->checkSizeConstraint(&wanted), kResultTrue);
        view->onSize(&wanted);
        PumpMessages(30);
        EXPECT_EQ(view->removed(), kResultOk);
        view->release();
        EXPECT_EQ(IGraphicsWin::OpenWindowCount(), 0) << cycle;
        EXPECT_EQ(wglGetCurrentContext(), nullptr) << cycle;
        EXPECT_EQ(GetWindow(parent.Handle(), GW_CHILD), nullptr) << cycle;
    }
    const ObjectCounts after = CountObjectsOnceBackTo(before);
    EXPECT_LE(after.threads, before.threads);
    EXPECT_LE(after.windows, before.windows);
    EXPECT_EQ(WglContext::LiveCount(), contextsBefore);
    EXPECT_EQ(WinFont::LiveCount(), fontsBefore);
}

// An editor whose drawing context and one control fault on any touch once freed; pressing the
// control opens the Save dialog, as the preset bar does.
class SaveDialogPlugin : public TestPlugin
{
public:
    SaveDialogPlugin()
    {
        using namespace iplug::igraphics;
        makeGraphicsFunction = [this]() -> IGraphics* {
            auto* g = new test::Poisoned<IGraphicsWin>(*this, GetEditorWidth(), GetEditorHeight(), 60, 1.0f);
            g->SetUseVBlankClock(false);
            return g;
        };
        layoutFunction = [this](IGraphics* g) {
            g->AddControl(new test::Poisoned<test::ModalControl>(IBox(0, 0, 100, 100), [this](IControl& c) {
                iplug::TextBuffer file("preset"), folder;
                c.GetGraphics()->AskForFile(file, folder, kFileSave, "marlquin");
                chosenFile = file.Get();
            }));
        };
    }

    std::string chosenFile = "none";
};

// A host removes the view from its window and releases it while the editor's Save dialog is
// open (its own timer fires inside the dialog's loop); the dialog is then cancelled.
TEST(IPlugVST3ViewModalTest, AViewRemovedAndReleasedDuringTheSaveDialogClosesOnceTheDialogReturns)
{
    using namespace iplug::igraphics::test;
    auto* plugin = new SaveDialogPlugin;
    TestParentWindow parent{700, 800};
    const int aliveBefore = PoisonedObjectsAlive();
    IPlugView* view = plugin->createView(ViewType::kEditor);
    ASSERT_EQ(view->attached(parent.Handle(), kPlatformTypeHWND), kResultTrue);
    HWND window = GetWindow(parent.Handle(), GW_CHILD);
    ASSERT_NE(window, nullptr);
    HWND dialog = nullptr;
    TimerScript host({[&] { return (dialog = FindThreadWindow(L"#32770")) != nullptr; },
                      [&] {
                          view->removed();
                          view->release();
                          return true;
                      },
                      [&] { return PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0) != FALSE; }});
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    EXPECT_TRUE(host.Done());
    EXPECT_EQ(plugin->chosenFile, "") << "the dialog answers as cancelled";
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(GetWindow(parent.Handle(), GW_CHILD), nullptr);
    EXPECT_EQ(plugin->GetGraphics(), nullptr);
    EXPECT_EQ(PoisonedObjectsAlive(), aliveBefore) << "the editor and its control are deleted";
    plugin->release();
}

// The host destroys its own window, the editor's parent, while one of the editor's modal loops
// is open (a host timer closes the plug-in window, or the host shuts down), then takes the view
// down. The host draws with OpenGL too: its context is current and holds a texture.
TEST(IPlugVST3ViewModalTest, AHostWindowDestroyedDuringAModalLoopLeavesTheEditorToCloseOnceWhenTheViewGoes)
{
    using namespace iplug::igraphics;
    using namespace iplug::igraphics::test;
    TestParentWindow hostMain{200, 200};
    TestGLChildWindow hostGLWindow(hostMain.Handle(), 32, 32);
    WglContext host;
    ASSERT_EQ(host.Create(hostGLWindow.DC()), WglContext::Failure::None);
    GLuint hostTextures[16] = {};
    glGenTextures(16, hostTextures);
    for (GLuint texture : hostTextures)
        glBindTexture(GL_TEXTURE_2D, texture);
    glBindTexture(GL_TEXTURE_2D, 0);
    auto hostIntact = [&] {
        if (wglGetCurrentContext() != host.Handle() || wglGetCurrentDC() != hostGLWindow.DC())
            return false;
        for (GLuint texture : hostTextures)
            if (!glIsTexture(texture))
                return false;
        return true;
    };
    // Every loop, and once more on a system where the editor's context can be made current on
    // no other surface: its objects then go with the context, without OpenGL calls.
    std::vector<std::pair<ModalKind, bool>> cases;
    for (const ModalKind& kind : ModalKinds())
        cases.emplace_back(kind, true);
    cases.emplace_back(ModalKinds().front(), false);
    for (const auto& c : cases) {
        const ModalKind& kind = c.first;
        const bool standIn = c.second;
        SCOPED_TRACE(std::string(kind.name) + (standIn ? "" : ", no stand-in surface"));
        std::string outcome;
        auto* plugin = new PanelPlugin;
        plugin->SetMakeGraphics([plugin, standIn] {
            auto* g = new Poisoned<IGraphicsWin>(*plugin, 460, 640, 60, 1.0f);
            g->SetUseVBlankClock(false);
            if (!standIn) {
                WglContext::Api api;
                api.setStandInPixelFormat = [](HDC, int, const PIXELFORMATDESCRIPTOR*) -> BOOL { return FALSE; };
                g->SetGLApiForTesting(api);
            }
            return g;
        });
        plugin->SetLayout([&](IGraphics* g) {
            g->AddControl(
                new Poisoned<ModalControl>(IBox(0, 0, 460, 640), [&](IControl& c) { kind.start(c, outcome); }));
        });
        const int aliveBefore = PoisonedObjectsAlive(), contextsBefore = WglContext::LiveCount();
        auto frame = std::make_unique<TestParentWindow>(700, 800);
        HWND frameWindow = frame->Handle();
        IPlugView* view = plugin->createView(ViewType::kEditor);
        ASSERT_EQ(view->attached(frameWindow, kPlatformTypeHWND), kResultTrue);
        HWND editor = GetWindow(frameWindow, GW_CHILD);
        ASSERT_NE(editor, nullptr);

        HWND loopWindow = nullptr;
        bool destroyedInLoop = false;
        // Destroying the owner of a dialog or menu may end its loop already; the last step ends
        // what is left.
        TimerScript hostScript({[&] {
                                    loopWindow =
                                        kind.loopWindowClass ? FindThreadWindow(kind.loopWindowClass) : nullptr;
                                    return !kind.loopWindowClass || loopWindow;
                                },
                                [&] {
                                    destroyedInLoop = DestroyWindow(frameWindow) != FALSE;
                                    return true;
                                },
                                [&] {
                                    kind.end(loopWindow);
                                    return true;
                                }});
        wglMakeCurrent(hostGLWindow.DC(), host.Handle());
        SendMessageW(editor, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, 100));
        EXPECT_TRUE(destroyedInLoop);
        EXPECT_EQ(outcome, kind.cancelled);
        EXPECT_FALSE(IsWindow(editor));
        EXPECT_TRUE(hostIntact()) << "the editor's objects were not deleted in the host's context";
        EXPECT_EQ(plugin->closes, 0);

        EXPECT_EQ(view->removed(), kResultOk);
        view->release();
        EXPECT_EQ(plugin->closes, 1);
        EXPECT_EQ(plugin->GetGraphics(), nullptr);
        EXPECT_EQ(IGraphicsWin::OpenWindowCount(), 0);
        EXPECT_EQ(WglContext::LiveCount(), contextsBefore);
        EXPECT_EQ(PoisonedObjectsAlive(), aliveBefore) << "the editor and its control are deleted";
        EXPECT_TRUE(hostIntact());
        EXPECT_EQ(plugin->release(), 0u);
        frame.reset();
        PumpMessages(20);
    }
    glDeleteTextures(16, hostTextures);
    wglMakeCurrent(nullptr, nullptr);
}

TEST(Vst3KeyCodesTest, HostKeysBecomeKeyStrokes)
{
    struct Case
    {
        char16_t character;
        int16_t code;
        int16_t modifiers;
        int virtualKey;
        const char* text;
        bool shift, ctrl, alt;
    };
    const int aKey = static_cast<int16_t>(VkKeyScanExA('a', GetKeyboardLayout(0)));
    const Case cases[] = {
        {0, iplug::kVst3KeySpace, 0, 32, " ", false, false, false},
        {u'a', 0, 0, aKey, "a", false, false, false},
        {u'\u00e9', 0, 0, 0, "", false, false, false},
        {0, iplug::kVst3KeyF1, 5, 112, "", true, true, false},
        {0, iplug::kVst3KeyEnter, 2, 13, "", false, false, true},
        {0, 128 + 17, 0, 65, "A", false, false, false},
        {0, 99, 0, 0, "", false, false, false},
    };
    for (const Case& c : cases) {
        IKeyStroke key;
        ASSERT_TRUE(iplug::Vst3KeyToKeyStroke(c.character, c.code, c.modifiers, 0, key));
        EXPECT_EQ(key.virtualKey, c.virtualKey) << c.code;
        EXPECT_STREQ(key.text, c.text) << c.code;
        EXPECT_EQ(key.shift, c.shift);
        EXPECT_EQ(key.ctrl, c.ctrl);
        EXPECT_EQ(key.alt, c.alt);
    }
    IKeyStroke key;
    EXPECT_FALSE(iplug::Vst3KeyToKeyStroke(0, iplug::kVst3KeyF1, 0, 1, key)) << "that host passes only space on";
    EXPECT_TRUE(iplug::Vst3KeyToKeyStroke(0, iplug::kVst3KeySpace, 0, 1, key));
    EXPECT_EQ(key.virtualKey, 32);
}

} // namespace
} // namespace vst3test
